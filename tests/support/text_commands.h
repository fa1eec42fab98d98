// The simulated unit with the text command dispatcher in front: a line in as a control port
// client types it, the reply out.
#pragma once

#include <string>

#include "tests/support/sim_unit.h"

namespace testsupport {

class TextCommandFixture : public SimUnitFixture {
 protected:
  using SimUnitFixture::SimUnitFixture;

  // The client a line comes from unless a test names another (clients differ in their pending
  // questions, e.g. the confirmation of a reset).
  static constexpr int kClient = 4;

  // The whole text the client gets for line: the leading "\r\n", the reply lines and the prompt.
  static std::string Framed(std::string line, int fd = kClient);
  // The reply lines to line between the leading "\r\n" and the prompt, both checked, with the
  // bus log started afresh; a reboot the command asked for follows, as the port frame runs it
  // once the reply is queued.
  std::string Run(std::string line, int fd = kClient);
};

}  // namespace testsupport
