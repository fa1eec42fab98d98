#include "devctl/core/commit_path.h"

#include <memory>

#include "devctl/core/commit_order.h"
#include "devctl/core/config_lock.h"
#include "devctl/core/port_restarts.h"
#include "devctl/core/settings_save.h"

bool CommitChange(const std::function<bool()>& change,
                  const std::function<void(bool saved)>& tell) {
  bool save = false;
  std::unique_ptr<CommitTicket> ticket;
  {
    ConfigLock lock;
    save = change();
    ReleaseUnwantedPorts();
    ticket = std::make_unique<CommitTicket>();
  }
  const bool saved = !save || SaveLiveSettings();
  ticket->Tell([&] { tell(saved); });
  return saved;
}
