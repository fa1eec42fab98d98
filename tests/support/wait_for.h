// Waiting for a condition in a test: what another thread, a client or a server does shows up
// after a while, and the test waits for exactly that, never for a fixed time.
//
//   ASSERT_TRUE(testsupport::WaitFor([&] { return server.ClientCount() == 2; }));
//
// The deadline is only reached when something is broken: it is generous, because a loaded CI
// machine or a sanitizer can hold a thread up for seconds. Reaching it fails the assertion that
// checks the result, so a wait never hangs and never passes silently.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace testsupport {

constexpr std::chrono::milliseconds kWaitDeadline{60000};

// Calls predicate until it returns true (success) or deadline has passed (failure), checking
// every millisecond on the steady clock, whatever clock the unit under test runs on.
template <typename Predicate>
::testing::AssertionResult WaitFor(Predicate predicate,
                                   std::chrono::milliseconds deadline = kWaitDeadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() >= end) {
      return ::testing::AssertionFailure()
             << "the condition was still false after " << deadline.count() << " ms";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return ::testing::AssertionSuccess();
}

}  // namespace testsupport
