#include "devctl/text/telnet.h"

#include <cstring>

using namespace telnet;

void TelnetOptionStub(telnet_state_s*) {}
int TelnetOptionStubZero(telnet_state_s*) { return 0; }

// ECHO: we announce WILL ECHO (this server echoes what is typed, so a client must not echo
// locally as well) and DONT ECHO, so both of our sides are outstanding.
const telnet_option_s kTelnetOptionTable[kOptionRows] = {
    {kOptSga, kAcceptDo | kOurWillSent, nullptr, nullptr},
    {kOptEcho, kAcceptDo | kOurWillSent | kOurDoSent, nullptr, nullptr},
    {kOptBinary, kAcceptWill | kAcceptDo | kOurDoSent, nullptr, nullptr},
    {kOptComPort, kAcceptWill, TelnetOptionStub, TelnetOptionStubZero},
    {kOptEnd, 0, nullptr, nullptr},
};

void TelnetInitState(telnet_state_s* state, int fd) {
  state->fd = fd;
  state->iac = 0;
  state->command = 0;
  state->option = 0;
  state->parser_state = 0;
  state->subneg_iac = 0;
  state->subneg_count = 0;
  state->output_count = 0;
  state->overflow = 0;
  std::memcpy(state->options, kTelnetOptionTable, sizeof(state->options));
}

int TelnetFilterInput(uint8_t* data, int len, telnet_state_s* state) {
  int out = 0;
  for (int i = 0; i < len; ++i) {
    const uint8_t b = data[i];
    switch (state->parser_state) {
      case 0:
        if (b == kIac) {
          state->iac = kIac;
          state->parser_state = 1;
          state->subneg_iac = 0;
        } else {
          data[out++] = b;
        }
        break;
      case 1:
        if (b == kIac) {  // escaped 0xFF data byte
          data[out++] = b;
          state->parser_state = 0;
          break;
        }
        state->command = b;
        if (b >= kSb) {
          state->parser_state = 2;
        } else {
          TelnetNegotiate(state);  // NOP, GA, a stray SE: nothing to answer
          state->parser_state = 0;
        }
        break;
      case 2:
        state->option = b;
        if (state->command == kSb) {
          state->parser_state = 3;
          state->subneg_count = 0;
        } else {
          TelnetNegotiate(state);
          state->parser_state = 0;
        }
        break;
      default:  // inside IAC SB ... IAC SE: counted and dropped
        if (!state->subneg_iac) {
          if (b == kIac)
            state->subneg_iac = 1;
          else
            ++state->subneg_count;
        } else {
          state->subneg_iac = 0;
          if (b == kSe) {
            TelnetNegotiate(state);
            state->parser_state = 0;
          } else if (b == kIac) {
            ++state->subneg_count;
          }
        }
        break;
    }
  }
  return out;
}

void TelnetNegotiate(telnet_state_s* state) {
  if (state->parser_state < 2) return;
  const uint8_t cmd = state->command;
  if (cmd != kWill && cmd != kWont && cmd != kDo && cmd != kDont) return;

  telnet_option_s* opt = nullptr;
  for (auto& row : state->options) {
    if (row.code == kOptEnd) break;
    if (row.code == state->option) {
      opt = &row;
      break;
    }
  }
  if (!opt) {
    // Refuse requests to enable an unknown option. A WONT/DONT of an option that is off anyway
    // is not a change, and answering it could start an endless exchange.
    if (cmd == kWill)
      TelnetSendCommand(state, kDont, state->option);
    else if (cmd == kDo)
      TelnetSendCommand(state, kWont, state->option);
    return;
  }

  uint8_t& f = opt->flags;
  switch (cmd) {
    case kWill:
      if (f & kOurDoSent)
        f &= ~kOurDoSent;
      else
        TelnetSendCommand(state, (f & kAcceptWill) ? kDo : kDont, opt->code);
      f |= kHisSide;
      break;
    case kWont:
      if (f & kOurDoSent)
        f &= ~(kOurDoSent | kHisSide);
      else {
        TelnetSendCommand(state, kDont, opt->code);
        f &= ~kHisSide;
      }
      break;
    case kDo:
      if (f & kOurWillSent)
        f &= ~kOurWillSent;
      else
        TelnetSendCommand(state, (f & kAcceptDo) ? kWill : kWont, opt->code);
      f |= kOurSide;
      break;
    case kDont:
      if (f & kOurWillSent)
        f &= ~(kOurWillSent | kOurSide);
      else {
        TelnetSendCommand(state, kWont, opt->code);
        f &= ~kOurSide;
      }
      break;
  }
}

void TelnetSendRaw(telnet_state_s* state, const void* data, int len) {
  if (len < 0) return;
  if (kOutputSize - static_cast<int>(state->output_count) < len) {
    state->overflow = 1;
    return;
  }
  std::memcpy(state->output + state->output_count, data, len);
  state->output_count += len;
  if (state->send) state->send(state->output, static_cast<int>(state->output_count));
  state->output_count = 0;
}

void TelnetSendCommand(telnet_state_s* state, uint8_t command, uint8_t option) {
  const uint8_t bytes[3] = {kIac, command, option};
  TelnetSendRaw(state, bytes, 3);
}

int TelnetSendSubnegotiation(telnet_state_s* state, const uint8_t* data, int len) {
  if (len < 0) return 1;
  int escaped = 0;
  for (int i = 0; i < len; ++i) escaped += data[i] == kIac;
  if (kOutputSize - static_cast<int>(state->output_count) < len + escaped + 4) {
    state->overflow = 1;
    return 1;
  }
  uint8_t* p = state->output + state->output_count;
  *p++ = kIac;
  *p++ = kSb;
  for (int i = 0; i < len; ++i) {
    *p++ = data[i];
    if (data[i] == kIac) *p++ = kIac;
  }
  *p++ = kIac;
  *p++ = kSe;
  const int n = static_cast<int>(p - state->output);
  if (state->send) state->send(state->output, n);
  state->output_count = 0;
  return 0;
}
