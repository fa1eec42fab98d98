#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "devctl/core/config_file.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/config_print.h"
#include "devctl/core/json_util.h"
#include "devctl/core/pending_network.h"
#include "devctl/core/unit_state.h"
#include "platform/paths.h"
#include "platform/storage.h"

namespace {

// Saves are written one at a time. Each takes a sequence number when it copies the record, and a
// save whose snapshot is older than the one already written to its file is dropped, so the file
// never goes back to an earlier state.
std::mutex g_save_mutex;
uint64_t g_save_sequence = 0;                      // under the configuration lock
std::map<std::string, uint64_t> g_saved_sequence;  // under g_save_mutex, by resolved path
std::set<std::string> g_frozen_paths;              // under g_save_mutex, resolved paths

// A record as it was at one moment, and that moment's place among all saves. The configuration
// lock is held only while the record is copied: the document is built and printed from the copy.
struct Snapshot {
  std::string path;  // callers may pass g_unit.config_path itself, which the lock guards
  std::unique_ptr<app_config_s> record;
  uint64_t sequence = 0;
};

// Whether the settings of the open network edit go into a snapshot of the live record.
enum class NetworkEdit { kNever, kIfOpen, kAlways };

// A copy of the record as a save writes it. Call with the configuration lock held.
std::unique_ptr<app_config_s> CopyForSave(const app_config_s* cfg, NetworkEdit edit) {
  auto copy = std::make_unique<app_config_s>(*cfg);
  // While a text network edit is open the live record is saved with the edit in it, so neither
  // the edit nor the live changes made meanwhile are lost (pending_network.h).
  const bool merge =
      edit == NetworkEdit::kAlways || (edit == NetworkEdit::kIfOpen && g_unit.net_edit_pending);
  if (cfg == &g_unit.config && merge) CopyEditedNetworkSettings(g_unit.pending, copy.get());
  return copy;
}

Snapshot TakeSnapshot(const std::string& path, const app_config_s* cfg, NetworkEdit edit) {
  ConfigLock lock;
  Snapshot s;
  s.path = path;
  s.record = CopyForSave(cfg, edit);
  s.sequence = ++g_save_sequence;
  return s;
}

bool Save(const std::string& path, const app_config_s* cfg, NetworkEdit edit) {
  if (!cfg) return false;
  const Snapshot snapshot = TakeSnapshot(path, cfg, edit);
  std::string text;
  if (!PrintConfigDocument(*snapshot.record, &text)) return false;
  {
    std::lock_guard<std::mutex> lock(g_save_mutex);
    std::string resolved = platform::Path(snapshot.path);
    // A file that holds what the next start must load is not written again.
    if (g_frozen_paths.count(resolved) != 0) return true;
    uint64_t& saved = g_saved_sequence[resolved];
    if (snapshot.sequence < saved) return true;  // a newer snapshot is already on disk
    if (WriteJsonText(text, snapshot.path.c_str()) != JSON_WRITE_OK) return false;
    saved = snapshot.sequence;
  }
  platform::SyncFileSystems();
  return true;
}

}  // namespace

std::mutex& ConfigSaveMutex() { return g_save_mutex; }

bool PrintAppConfig(const app_config_s* cfg, std::string* text) {
  if (!cfg || !text) return false;
  std::unique_ptr<app_config_s> copy;
  {
    ConfigLock lock;
    copy = std::make_unique<app_config_s>(*cfg);
  }
  return PrintConfigDocument(*copy, text);
}

bool PrintAsSaved(const app_config_s* cfg, std::string* text) {
  if (!cfg || !text) return false;
  std::unique_ptr<app_config_s> copy;
  {
    ConfigLock lock;
    copy = CopyForSave(cfg, NetworkEdit::kIfOpen);
  }
  return PrintConfigDocument(*copy, text);
}

bool SaveAppConfig(const std::string& path, const app_config_s* cfg) {
  return Save(path, cfg, NetworkEdit::kIfOpen);
}

bool SaveLiveConfigWithNetworkEdit(const std::string& path) {
  return Save(path, &g_unit.config, NetworkEdit::kAlways);
}

bool SaveFinalAppConfig(const std::string& path, const app_config_s* cfg) {
  if (!cfg) return false;
  const Snapshot snapshot = TakeSnapshot(path, cfg, NetworkEdit::kNever);
  std::string text;
  if (!PrintConfigDocument(*snapshot.record, &text)) return false;
  {
    std::lock_guard<std::mutex> lock(g_save_mutex);
    const std::string resolved = platform::Path(snapshot.path);
    if (WriteJsonText(text, snapshot.path.c_str()) != JSON_WRITE_OK) return false;
    uint64_t& saved = g_saved_sequence[resolved];
    if (snapshot.sequence > saved) saved = snapshot.sequence;
    g_frozen_paths.insert(resolved);
  }
  platform::SyncFileSystems();
  return true;
}

bool ConfigSavesFrozen(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_save_mutex);
  return g_frozen_paths.count(platform::Path(path)) != 0;
}

void UnfreezeConfigSaves() {
  std::lock_guard<std::mutex> lock(g_save_mutex);
  g_frozen_paths.clear();
}
