// The commit path every change takes, whoever makes it (a text line, a web request, the unit
// itself): the change is made under the configuration lock and takes its place in the order of
// changes there (commit_order.h); the live settings are saved once the lock is released; then
// what the change tells goes out in its turn, knowing whether the save succeeded.
#pragma once

#include <functional>

// Runs change with the configuration lock held; it returns whether the live settings are to be
// saved. Still under the lock, the control servers let go of ports the record does not want
// (ReleaseUnwantedPorts). Then saves them (without the lock) and runs tell(saved) in the change's
// turn, saved being true when there was nothing to save. Returns saved. Call without the
// configuration lock.
bool CommitChange(const std::function<bool()>& change, const std::function<void(bool saved)>& tell);
