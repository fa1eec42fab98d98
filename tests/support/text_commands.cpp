#include "tests/support/text_commands.h"

#include <gtest/gtest.h>

#include "devctl/core/markers.h"
#include "devctl/text/dispatcher.h"
#include "platform/sim_i2c.h"

namespace testsupport {

std::string TextCommandFixture::Framed(std::string line, int fd) {
  return DispatchLine(fd, line.data(), static_cast<int>(line.size()));
}

std::string TextCommandFixture::Run(std::string line, int fd) {
  platform::sim_i2c().ClearTransfers();
  const std::string reply = Framed(line, fd);
  RunRebootAfterReply();
  EXPECT_EQ(reply.substr(0, 2), "\r\n") << line;
  EXPECT_GE(reply.size(), 9u) << line;
  if (reply.size() < 9) return "";
  EXPECT_EQ(reply.substr(reply.size() - 7), "VX7206>") << line;
  return reply.substr(2, reply.size() - 9);
}

}  // namespace testsupport
