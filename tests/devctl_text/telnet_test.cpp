#include "devctl/text/telnet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Client {
  telnet_state_s state;
  Bytes answers;
  Client() {
    TelnetInitState(&state, 7);
    state.send = [this](const uint8_t* d, int n) { answers.insert(answers.end(), d, d + n); };
  }
  // Feeds chunks in order and returns the data bytes left by the filter.
  Bytes Feed(const std::vector<Bytes>& chunks) {
    Bytes data;
    for (Bytes chunk : chunks) {
      const int n = TelnetFilterInput(chunk.data(), static_cast<int>(chunk.size()), &state);
      data.insert(data.end(), chunk.begin(), chunk.begin() + n);
    }
    return data;
  }
};

TEST(TelnetFilter, CommandsAreRemovedAndAnswered) {
  struct Case {
    const char* what;
    Bytes input, data, answer;
  } cases[] = {
      {"escaped IAC", {'a', 0xFF, 0xFF, 'b'}, {'a', 0xFF, 'b'}, {}},
      {"WILL NAWS refused", {0xFF, 0xFB, 31}, {}, {0xFF, 0xFE, 31}},
      {"DO TTYPE refused", {0xFF, 0xFD, 24}, {}, {0xFF, 0xFC, 24}},
      {"WILL COM-PORT accepted", {0xFF, 0xFB, 44}, {}, {0xFF, 0xFD, 44}},
      {"WONT unknown ignored", {0xFF, 0xFC, 31}, {}, {}},
      {"DONT unknown ignored", {0xFF, 0xFE, 24}, {}, {}},
      {"NOP ignored", {'x', 0xFF, 0xF1, 'y'}, {'x', 'y'}, {}},
      {"text around a command",
       {'I', 'N', 0xFF, 0xFB, 31, '1', '\r'},
       {'I', 'N', '1', '\r'},
       {0xFF, 0xFE, 31}},
  };
  for (const auto& c : cases) {
    Client client;
    EXPECT_EQ(client.Feed({c.input}), c.data) << c.what;
    EXPECT_EQ(client.answers, c.answer) << c.what;
  }
}

TEST(TelnetFilter, CommandSplitAcrossReadsIsCompleted) {
  const Bytes whole = {'a', 0xFF, 0xFB, 31, 'b'};
  for (size_t cut = 1; cut < whole.size(); ++cut) {
    Client split;
    const Bytes data = split.Feed(
        {Bytes(whole.begin(), whole.begin() + cut), Bytes(whole.begin() + cut, whole.end())});
    EXPECT_EQ(data, (Bytes{'a', 'b'})) << "cut at " << cut;
    EXPECT_EQ(split.answers, (Bytes{0xFF, 0xFE, 31})) << "cut at " << cut;
  }
}

TEST(TelnetFilter, LongSubnegotiationIsRemovedWhole) {
  Bytes input = {'x', 0xFF, 0xFA, 24};
  for (int i = 0; i < 40; ++i) input.push_back(i == 10 ? 0xFF : static_cast<uint8_t>('A' + i % 26));
  input.insert(input.begin() + 15, 0xFF);  // the escaped data byte 0xFF 0xFF
  input.insert(input.end(), {0xFF, 0xF0, 'y', 'z'});
  Client client;
  EXPECT_EQ(client.Feed({input}), (Bytes{'x', 'y', 'z'}));
  EXPECT_TRUE(client.answers.empty());
  EXPECT_EQ(client.state.parser_state, 0);
}

// Answers to the opening bytes (WILL SGA, WILL ECHO, DONT ECHO, DONT BINARY) only settle what was
// outstanding; each client has its own option state, so a second client is treated the same.
TEST(TelnetNegotiation, AnswersToOpeningBytesAreSilentForEveryClient) {
  const Bytes replies = {0xFF, 0xFD, 3, 0xFF, 0xFD, 1, 0xFF, 0xFC, 1, 0xFF, 0xFC, 0};
  Client first, second;
  EXPECT_TRUE(first.Feed({replies}).empty());
  EXPECT_TRUE(first.answers.empty());
  EXPECT_TRUE(second.Feed({replies}).empty());
  EXPECT_TRUE(second.answers.empty());
  // Once settled, a repeated request is answered from the accept bits.
  first.Feed({{0xFF, 0xFD, 3}, {0xFF, 0xFB, 1}});
  EXPECT_EQ(first.answers, (Bytes{0xFF, 0xFB, 3, 0xFF, 0xFE, 1}));
}

TEST(TelnetSend, OversizedSendSetsOverflowAndSendsNothing) {
  Client client;
  std::string big(telnet::kOutputSize + 1, 'x');
  TelnetSendRaw(&client.state, big.data(), static_cast<int>(big.size()));
  EXPECT_EQ(client.state.overflow, 1u);
  EXPECT_TRUE(client.answers.empty());
  const uint8_t sub[] = {44, 0xFF, 1};
  EXPECT_EQ(TelnetSendSubnegotiation(&client.state, sub, 3), 0);
  EXPECT_EQ(client.answers, (Bytes{0xFF, 0xFA, 44, 0xFF, 0xFF, 1, 0xFF, 0xF0}));
}

}  // namespace
