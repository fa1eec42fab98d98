// Telnet option negotiation for the control servers: removes telnet commands from what a client
// sends and answers the client's option requests.
#pragma once

#include <cstdint>
#include <functional>

namespace telnet {
constexpr uint8_t kIac = 0xFF;
constexpr uint8_t kDont = 0xFE;
constexpr uint8_t kDo = 0xFD;
constexpr uint8_t kWont = 0xFC;
constexpr uint8_t kWill = 0xFB;
constexpr uint8_t kSb = 0xFA;
constexpr uint8_t kSe = 0xF0;

constexpr uint8_t kOptBinary = 0;
constexpr uint8_t kOptEcho = 1;
constexpr uint8_t kOptSga = 3;
constexpr uint8_t kOptComPort = 44;
constexpr uint8_t kOptEnd = 255;

// Option flags.
constexpr uint8_t kAcceptWill = 0x01;   // a WILL from the client is answered DO
constexpr uint8_t kAcceptDo = 0x02;     // a DO from the client is answered WILL
constexpr uint8_t kOurWillSent = 0x04;  // our WILL/WONT awaits the client's DO/DONT
constexpr uint8_t kOurDoSent = 0x08;    // our DO/DONT awaits the client's WILL/WONT
constexpr uint8_t kHisSide = 0x10;
constexpr uint8_t kOurSide = 0x20;

constexpr int kOutputSize = 2000;
constexpr int kOptionRows = 5;  // four options and the end mark
}  // namespace telnet

struct telnet_state_s;

struct telnet_option_s {
  uint8_t code;
  uint8_t flags;
  void (*handler)(telnet_state_s*);
  int (*query)(telnet_state_s*);
};

void TelnetOptionStub(telnet_state_s*);
int TelnetOptionStubZero(telnet_state_s*);

// The option table every new client starts from. The opening bytes a telnet client receives
// (IAC WILL SGA, IAC WILL ECHO, IAC DONT ECHO, IAC DONT BINARY) match its outstanding bits.
extern const telnet_option_s kTelnetOptionTable[telnet::kOptionRows];

// Per-client parser and negotiation state. Each client negotiates on its own copy of the option
// table, so one client's answers never change what another client is told.
struct telnet_state_s {
  int32_t fd = -1;
  uint8_t iac = 0;
  uint8_t command = 0;
  uint8_t option = 0;
  int32_t parser_state = 0;   // 0 data, 1 after IAC, 2 after the command, 3 inside SB
  int32_t subneg_iac = 0;     // previous subnegotiation byte was IAC
  uint32_t subneg_count = 0;  // subnegotiation bytes seen (the data itself is not used)
  uint8_t output[telnet::kOutputSize];
  uint32_t output_count = 0;
  uint32_t overflow = 0;
  telnet_option_s options[telnet::kOptionRows];
  // Where answers go: the client's output queue (the server's), or a test's recorder.
  std::function<void(const uint8_t* data, int len)> send;
};

// Prepares a state for a new client: fresh copy of the option table, parser at rest.
void TelnetInitState(telnet_state_s* state, int fd);

// Removes telnet command sequences from data in place, answers option requests, and returns the
// remaining length. The parser state carries over, so a command split across reads is completed
// by the next one; IAC IAC stays as one 0xFF data byte.
int TelnetFilterInput(uint8_t* data, int len, telnet_state_s* state);

// Answers the completed WILL/WONT/DO/DONT held in the state.
void TelnetNegotiate(telnet_state_s* state);

// Sends through the state's output buffer; a send larger than the buffer sets overflow instead.
void TelnetSendRaw(telnet_state_s* state, const void* data, int len);
void TelnetSendCommand(telnet_state_s* state, uint8_t command, uint8_t option);
// IAC SB data IAC SE with every 0xFF of data doubled; 1 when it did not fit. No caller yet: kept
// for an option that needs a subnegotiation (terminal type, window size).
int TelnetSendSubnegotiation(telnet_state_s* state, const uint8_t* data, int len);
