// Staging of an uploaded upgrade for the board's scripts: the network-audio package, the system
// package (application and MCU firmware) and the OTA image. Each received file sits at a fixed
// path; staging checks and unpacks it, keeps what must survive, and leaves the marker files the
// scripts (and updateEngine, for the OTA image) act on. The shell lines are constants: nothing
// of a request reaches a command line or a path.
#pragma once

#include <cstdint>
#include <string>

namespace upgrade {

// The files the uploads are received into.
constexpr const char* kNetaudioPackageFile = "/tmp/netaudio.tar";
constexpr const char* kSystemPackageFile = "/tmp/soc.tar";
constexpr const char* kOtaImageFile = "/userdata/update-ota.img";

// The marker files (each holds "1").
constexpr const char* kNetaudioMarker = "/tmp/upgrade_netaudio";
constexpr const char* kAppMarker = "/oem/upgrade_app";
constexpr const char* kMcuMarker = "/tmp/upgrade_mcu";
constexpr const char* kOtaMarker = "/oem/upgrade_ota";

// The model code a package's product file must start with.
constexpr const char* kModelCode = "VX7206";

// 0 when the file's first word (leading white space skipped) is exactly the model code, else 1
// (also when the file is missing or empty, not a regular file, or a link).
int CheckModelFile(const char* unit_path);

// True when every member of a "tar -t" listing (one name a line, folders ending in "/") stays
// inside the folder it is unpacked into: no absolute name, no ".." component, and nothing below
// a member that is not a folder (a link must not lead later members elsewhere).
bool ArchiveListingIsSafe(const std::string& listing);

// True when every line of a verbose "tar -tv" listing is a regular file, a folder or a symbolic
// link (no device node, FIFO, socket or hard link).
bool ArchiveMemberTypesAreSafe(const std::string& verbose_listing);

// Checks, unpacks and marks the received network-audio package. On failure the unpacked folder
// and the package are removed and nothing is marked. True when staged.
bool StageNetaudioPackage();
// The same for the system package; the MCU firmware is marked only when its version differs
// from the running MCU's.
bool StageSystemPackage();
// Keeps the network-audio engine's data, marks the image and starts updateEngine on it (which
// reboots the unit when done). False, with nothing started, when the image is missing or the
// marker cannot be written.
bool StageOtaImage();

// Removes what a failed upload of each kind left: the unpacked folder, the received file and the
// package's markers.
void CleanUpNetaudioPackage();
void CleanUpSystemPackage();
void CleanUpOtaImage();

}  // namespace upgrade

// When each package was staged, in the process clock's milliseconds (0: not since devctl
// started). Set by a successful staging, read by the progress poll.
int64_t NetaudioStagedAtMs();
int64_t AppStagedAtMs();
// Records that the package was staged now.
void MarkNetaudioStaged();
void MarkAppStaged();
