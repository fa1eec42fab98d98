// The simulated unit with the web command dispatch in front: a request body in as the web server
// posts it, the reply out. The text commands stay at hand, for changes that cross between the two.
#pragma once

#include <string>

#include "devctl/web/application.h"
#include "tests/support/text_commands.h"

namespace testsupport {

class WebCommandFixture : public TextCommandFixture {
 protected:
  using TextCommandFixture::TextCommandFixture;

  void SetUp() override;

  // The reply to a request body; a reboot the command asked for follows, as the request loop runs
  // it once the reply is written.
  std::string Post(const std::string& body);
  // A reply's members as "name=value;" text (strings and integers), in order; result gets whether
  // "result" was 1.
  static std::string Members(const std::string& reply, bool* result = nullptr);
  // Members(Post(body)).
  std::string Command(const std::string& body);
  // The members of a reply that has only "comhead" and "result".
  static std::string Result(const char* comhead, int result);

  CApplication app_{"appthread"};
};

}  // namespace testsupport
