#include "devctl/core/upgrade_staging.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <set>
#include <sstream>

#include "devctl/core/config_lock.h"
#include "devctl/core/identity.h"
#include "devctl/core/stored_file.h"
#include "devctl/core/unit_state.h"
#include "platform/clock.h"
#include "platform/command.h"
#include "platform/paths.h"
#include "platform/state_resets.h"
#include "platform/storage.h"

namespace {

std::atomic<int64_t> g_netaudio_staged_ms{0};
std::atomic<int64_t> g_app_staged_ms{0};
const platform::StateReset kReset([] {
  g_netaudio_staged_ms = 0;
  g_app_staged_ms = 0;
});

// Never 0, which means "not staged".
int64_t StagingTimeNow() { return std::max<int64_t>(1, platform::NowMs()); }

}  // namespace

int64_t NetaudioStagedAtMs() { return g_netaudio_staged_ms; }
int64_t AppStagedAtMs() { return g_app_staged_ms; }
void MarkNetaudioStaged() { g_netaudio_staged_ms = StagingTimeNow(); }
void MarkAppStaged() { g_app_staged_ms = StagingTimeNow(); }

namespace upgrade {
namespace {

// The network-audio package.
constexpr const char* kNetaudioRemoveOld = "rm /run/netaudiotmp -rf";
constexpr const char* kNetaudioList = "tar -tf /tmp/netaudio.tar";
constexpr const char* kNetaudioTypes = "tar -tvf /tmp/netaudio.tar";
// Unpacked as the running user, with no owner and no special permission bits from the package.
constexpr const char* kNetaudioUnpack =
    "(mkdir -p /run/netaudiotmp) && (tar --no-same-owner --no-same-permissions -x -C "
    "/run/netaudiotmp -f /tmp/netaudio.tar)";
constexpr const char* kNetaudioFolder = "/run/netaudiotmp";
constexpr const char* kNetaudioRoot = "/run/netaudiotmp/netaudio";
constexpr const char* kNetaudioProduct = "/run/netaudiotmp/netaudio/tarvo_package/product";
constexpr const char* kMountedEngine = "/oem/tarvo";
constexpr const char* kMountedEngineConfig = "/oem/tarvo/netaudio/tarvo_package/tarvo_data/config";
constexpr const char* kReleaseAndKeepConfig =
    "umount -f /dev/loop0 && cp /oem/tarvo/netaudio/tarvo_package/tarvo_data/config /oem -af";
constexpr const char* kKeepConfig =
    "cp /oem/tarvo/netaudio/tarvo_package/tarvo_data/config /oem -af";
constexpr const char* kNetaudioCleanUp[] = {"rm -rf /run/netaudiotmp", "rm -rf /tmp/netaudio.tar"};

// The system package.
constexpr const char* kSystemRemoveOld = "rm /tmp/soctmp -rf";
constexpr const char* kSystemList = "tar -tf /tmp/soc.tar";
constexpr const char* kSystemTypes = "tar -tvf /tmp/soc.tar";
constexpr const char* kSystemUnpack =
    "(mkdir -p /tmp/soctmp) && (tar --no-same-owner --no-same-permissions -x -C /tmp/soctmp -f "
    "/tmp/soc.tar)";
constexpr const char* kSystemFolder = "/tmp/soctmp";
constexpr const char* kSystemRoot = "/tmp/soctmp/backend";
constexpr const char* kSystemProduct = "/tmp/soctmp/backend/apps/product";
constexpr const char* kMcuFirmware = "/tmp/soctmp/backend/mcu/mcu_upgrade.bin";
constexpr const char* kMcuVersion = "/tmp/soctmp/backend/mcu/version";
constexpr const char* kSystemCleanUp[] = {"rm -rf /tmp/soctmp", "rm -rf /tmp/soc.tar"};

// The OTA image.
constexpr const char* kKeepEngineConfig =
    "cp -rf /usr/local/netaudio/tarvo_package/tarvo_data/config /oem/";
constexpr const char* kKeepEngineImage =
    "cp -rf /usr/local/netaudio/tarvo_package/tarvo_data/images/active /oem/active";
constexpr const char* kStartUpdateEngine =
    "sleep 1 && updateEngine --image_url=/userdata/update-ota.img --update --reboot &";

bool Succeeds(const char* command) { return platform::RunCommand(command) == 0; }

// Lists the archive and unpacks it only when every member stays inside the folder and is a
// regular file, a folder or a symbolic link.
bool UnpackSafely(const char* list_command, const char* types_command, const char* unpack_command) {
  std::string listing, verbose;
  if (platform::RunCommand(list_command, &listing) != 0) return false;
  if (!ArchiveListingIsSafe(listing)) {
    std::printf("upgrade: \"%s\" lists a member outside the folder; package refused\n",
                list_command);
    return false;
  }
  if (platform::RunCommand(types_command, &verbose) != 0) return false;
  if (!ArchiveMemberTypesAreSafe(verbose)) {
    std::printf("upgrade: \"%s\" lists a device, FIFO or hard link; package refused\n",
                types_command);
    return false;
  }
  return Succeeds(unpack_command);
}

bool WriteMarker(const char* marker) { return WriteStoredFile(marker, "1") == 0; }

bool UnpackNetaudioPackage() {
  if (UnitFileExists(kNetaudioFolder) && !Succeeds(kNetaudioRemoveOld)) return false;
  if (!UnpackSafely(kNetaudioList, kNetaudioTypes, kNetaudioUnpack)) return false;
  if (!UnitFileExists(kNetaudioRoot)) return false;
  if (CheckModelFile(kNetaudioProduct) != 0) return false;
  if (UnitFileExists(kMountedEngine)) {
    // The first copy runs while the engine image may still be mounted; only the second counts.
    platform::RunCommand(kReleaseAndKeepConfig);
    if (UnitFileExists(kMountedEngineConfig) && !Succeeds(kKeepConfig)) return false;
  }
  return WriteMarker(kNetaudioMarker);
}

bool McuFirmwareDiffers() {
  platform::SyncFileSystems();
  std::string package_version;
  ReadFirstWordOfPlainFile(kMcuVersion, &package_version);
  ReadMcuVersion();
  ConfigLock lock;
  return package_version != g_unit.identity.mcu_version;
}

bool UnpackSystemPackage() {
  if (UnitFileExists(kSystemFolder) && !Succeeds(kSystemRemoveOld)) return false;
  if (!UnpackSafely(kSystemList, kSystemTypes, kSystemUnpack)) return false;
  if (!UnitFileExists(kSystemRoot)) return false;
  if (CheckModelFile(kSystemProduct) != 0) return false;
  if (UnitFileExists(kMcuFirmware) && McuFirmwareDiffers()) {
    if (!WriteMarker(kMcuMarker)) return false;
    platform::SyncFileSystems();
  }
  return WriteMarker(kAppMarker);
}

}  // namespace

int CheckModelFile(const char* unit_path) {
  std::string word;
  if (!ReadFirstWordOfPlainFile(unit_path, &word)) return 1;
  return word == kModelCode ? 0 : 1;
}

bool ArchiveMemberTypesAreSafe(const std::string& verbose_listing) {
  std::istringstream lines(verbose_listing);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    // The first character of a verbose line is the member's type, as ls shows it.
    if (line[0] != '-' && line[0] != 'd' && line[0] != 'l') return false;
  }
  return true;
}

bool ArchiveListingIsSafe(const std::string& listing) {
  // Names of members that are not folders (files, links): nothing may be unpacked below one, or
  // a link member could carry later members out of the folder.
  std::set<std::string> leaves;
  std::istringstream lines(listing);
  std::string name;
  while (std::getline(lines, name)) {
    if (name.empty()) continue;
    if (name[0] == '/') return false;
    std::string path;
    size_t start = 0;
    while (start < name.size()) {
      size_t end = name.find('/', start);
      if (end == std::string::npos) end = name.size();
      std::string part = name.substr(start, end - start);
      start = end + 1;
      if (part.empty() || part == ".") continue;
      if (part == "..") return false;
      if (leaves.count(path)) return false;
      path += (path.empty() ? "" : "/") + part;
    }
    if (name.back() != '/') leaves.insert(path);
  }
  return true;
}

bool StageNetaudioPackage() {
  if (!UnpackNetaudioPackage()) {
    CleanUpNetaudioPackage();
    return false;
  }
  MarkNetaudioStaged();
  platform::SyncFileSystems();
  return true;
}

bool StageSystemPackage() {
  if (!UnpackSystemPackage()) {
    CleanUpSystemPackage();
    return false;
  }
  MarkAppStaged();
  platform::SyncFileSystems();
  return true;
}

bool StageOtaImage() {
  if (!UnitFileExists(kOtaImageFile)) return false;
  platform::RunCommand(kKeepEngineConfig);
  platform::RunCommand(kKeepEngineImage);
  // Without the marker the scripts would not know the image: it is not handed over.
  if (!WriteMarker(kOtaMarker)) return false;
  platform::SyncFileSystems();
  platform::RunCommand(kStartUpdateEngine);
  return true;
}

// A failed staging removes the unpacked files, so no marker may be left pointing at them.
void CleanUpNetaudioPackage() {
  for (const char* command : kNetaudioCleanUp) platform::RunCommand(command);
  std::remove(platform::Path(kNetaudioMarker).c_str());
}

void CleanUpSystemPackage() {
  for (const char* command : kSystemCleanUp) platform::RunCommand(command);
  std::remove(platform::Path(kMcuMarker).c_str());
  std::remove(platform::Path(kAppMarker).c_str());
}

void CleanUpOtaImage() { std::remove(platform::Path(kOtaImageFile).c_str()); }

}  // namespace upgrade
