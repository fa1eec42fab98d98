// Durable writes of stored data. A file is written to a temporary name beside its target,
// flushed to disk and renamed over the target, so a reader (or the next start after a power
// loss) sees either the old file or the new one, never a mix.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// Writes data to the resolved path atomically. Returns false (and leaves the old file as it was)
// on any failure.
bool WriteFileAtomic(const std::string& resolved_path, const std::string& data);

// Removes the temporaries that writes of the resolved path left behind when they were cut short
// (a power loss or a kill). Call only while no write of that file is under way.
void RemoveStaleTemporaries(const std::string& resolved_path);

// Flushes every file system (sync()). Counted, so tests can see that a save synced.
void SyncFileSystems();
long SyncCount();

// Test hook: with false, SyncFileSystems only counts and leaves the host's file systems alone
// (each file is still flushed by its own write). True by default.
void SetHostSync(bool enabled);

// Test hook: writes through WriteFileAtomic fail once this many bytes of one file were written
// (-1: never fail).
void FailWritesAfter(long bytes);

// Bytes an unprivileged writer may still put on the file system that holds the resolved path (or
// its nearest existing parent folder); 0 when it cannot be told.
uint64_t AvailableBytes(const std::string& resolved_path);
// True when the two resolved paths (or their nearest existing parent folders) lie on one file
// system, so that space one frees is space for the other; false when either cannot be told.
bool OnSameFileSystem(const std::string& resolved_a, const std::string& resolved_b);
// Test hook: AvailableBytes answers this instead (-1: the file system's own figure).
void SetAvailableBytesForTest(long long bytes);

// Test hook: every WriteFileAtomic of a file under this resolved folder fails with ENOSPC, as on
// a full or read-only file system ("" removes it).
void FailWritesUnder(const std::string& resolved_folder);

// The steps of WriteFileAtomic, in order: before the temporary is opened, before each write
// to it, before its fsync, before the rename over the target, and after the rename.
enum class WriteStep { kOpen, kWrite, kFsync, kRename, kRenamed };

// Test hook: called at every step of every WriteFileAtomic (nullptr removes it). With
// max_write_bytes > 0 the data goes out in writes of at most that many bytes, so a test can stop
// a write between them.
void SetWriteStepHook(std::function<void(WriteStep)> hook, size_t max_write_bytes = 0);

}  // namespace platform
