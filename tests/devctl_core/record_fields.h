// Walks every member of a configuration record by name, independently of the production code, so
// tests can fill a record with distinct values and compare two records member by member.
#pragma once

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <type_traits>

#include "devctl/core/app_config.h"

namespace record_fields {

template <typename Record, typename Visitor>
void VisitEq(Record& eq, const std::string& name, Visitor&& visit) {
  for (int b = 0; b < kEqBands; ++b) {
    std::string band = name + "." + std::to_string(b);
    visit(band + ".bypass", eq.bypass[b]);
    visit(band + ".gain", eq.gain[b]);
    visit(band + ".frequency", eq.frequency[b]);
    visit(band + ".quality", eq.quality[b]);
    visit(band + ".type_name", eq.type_name[b]);
  }
}

#define VISIT(member) visit(#member, c.member)
#define VISIT_ARRAY(member)                                                 \
  for (size_t i = 0; i < sizeof c.member / sizeof c.member[0]; ++i) {       \
    visit(std::string(#member "[") + std::to_string(i) + "]", c.member[i]); \
  }
#define VISIT_EQ(member)                                                             \
  for (int k = 0; k < kChannelSlots; ++k) {                                          \
    VisitEq(c.member[k], std::string(#member "[") + std::to_string(k) + "]", visit); \
  }

// Calls visit(name, field) for every scalar, string, float and name field of the record.
template <typename Record, typename Visitor>
void Visit(Record& c, Visitor&& visit) {
  VISIT(user_cnt);
  for (int k = 0; k < kMaxUsers; ++k) {
    auto& u = c.user[k];
    std::string p = "user[" + std::to_string(k) + "].";
    visit(p + "user", u.user);
    visit(p + "password", u.password);
    visit(p + "enabled", u.enabled);
    visit(p + "matrix", u.matrix);
    auto rights = [&](const char* name, auto& array) {
      for (size_t i = 0; i < sizeof array / sizeof array[0]; ++i) {
        visit(p + name + "[" + std::to_string(i) + "]", array[i]);
      }
    };
    rights("phantom", u.phantom);
    rights("dsp", u.dsp);
    rights("input_analogue", u.input_analogue);
    rights("input_tarvo", u.input_tarvo);
    rights("input_usb", u.input_usb);
    rights("input_group", u.input_group);
    rights("output_analogue", u.output_analogue);
    rights("output_tarvo", u.output_tarvo);
    rights("output_usb", u.output_usb);
    rights("output_group", u.output_group);
    rights("preset", u.preset);
    visit(p + "network", u.network);
    visit(p + "system", u.system);
    visit(p + "information", u.information);
    visit(p + "power", u.power);
  }
  VISIT(model);
  VISIT(dhcp);
  VISIT(ipaddress);
  VISIT(subnet);
  VISIT(gateway);
  VISIT(dnsserver);
  VISIT(hostname);
  VISIT(type);
  VISIT(tcpportenable);
  VISIT(tcpport);
  VISIT(telnet_enable);
  VISIT(telnetport);
  VISIT_ARRAY(control);
  VISIT_ARRAY(analogue_input_gain);
  VISIT_ARRAY(analogue_input_stereo);
  VISIT_ARRAY(analogue_input_phantom);
  VISIT_ARRAY(analogue_input_mute);
  VISIT_ARRAY(tarvo_input_gain);
  VISIT_ARRAY(tarvo_input_stereo);
  VISIT_ARRAY(tarvo_input_mute);
  VISIT_ARRAY(usb_input_gain);
  VISIT(usb_input_stereo);
  VISIT_ARRAY(usb_input_mute);
  VISIT_ARRAY(group_input_gain);
  VISIT_ARRAY(group_input_mute);
  VISIT_ARRAY(group_input_stereo1);
  VISIT_ARRAY(group_input_stereo2);
  VISIT_ARRAY(group_input_stereo3);
  VISIT_ARRAY(group_input_stereo4);
  VISIT_ARRAY(input_name);
  VISIT_ARRAY(analogue_output_vol);
  VISIT_ARRAY(analogue_output_stereo);
  VISIT_ARRAY(analogue_output_mute);
  VISIT_ARRAY(analogue_output_delay);
  VISIT_ARRAY(tarvo_output_vol);
  VISIT_ARRAY(tarvo_output_stereo);
  VISIT_ARRAY(tarvo_output_mute);
  VISIT_ARRAY(tarvo_output_delay);
  VISIT_ARRAY(usb_output_vol);
  VISIT(usb_output_stereo);
  VISIT_ARRAY(usb_output_mute);
  VISIT_ARRAY(usb_output_delay);
  VISIT_ARRAY(group_output_vol);
  VISIT_ARRAY(group_output_mute);
  VISIT_ARRAY(group_output_stereo1);
  VISIT_ARRAY(group_output_stereo2);
  VISIT_ARRAY(group_output_stereo3);
  VISIT_ARRAY(group_output_stereo4);
  VISIT_ARRAY(output_name);
  VISIT(input_geq_chn);
  VISIT_EQ(input_flat_date);
  VISIT_EQ(input_custom1_date);
  VISIT_EQ(input_custom2_date);
  VISIT_ARRAY(input_preset);
  VISIT_ARRAY(input_stereo);
  VISIT(output_geq_chn);
  VISIT_EQ(output_flat_date);
  VISIT_EQ(output_custom1_date);
  VISIT_EQ(output_custom2_date);
  VISIT_ARRAY(output_preset);
  VISIT_ARRAY(output_stereo);
  VISIT(power);
  VISIT(powerled);
  VISIT(key_lock);
  VISIT(front_lcd);
  VISIT(baudrate);
  VISIT(usb_status);
  VISIT(standby_mode);
  VISIT(standbytime);
  VISIT(preset_recall);
  VISIT_ARRAY(preset_enable);
  VISIT_ARRAY(preset_name);
}

#undef VISIT
#undef VISIT_ARRAY
#undef VISIT_EQ

inline std::string Text(int v) { return std::to_string(v); }
inline std::string Text(uint32_t v) { return std::to_string(v); }
inline std::string Text(float v) {
  char s[32];
  std::snprintf(s, sizeof s, "%.9g", double(v));
  return s;
}
inline std::string Text(const std::string& v) { return "\"" + v + "\""; }
// A name field: its text up to the NUL, plus any non-zero byte behind it.
inline std::string Text(const char (&v)[kNameSize]) {
  std::string text = "\"" + std::string(v, strnlen(v, kNameSize)) + "\"";
  for (size_t i = strnlen(v, kNameSize); i < kNameSize; ++i) {
    if (v[i]) return text + "+tail";
  }
  return text;
}

// Every member of the record as name -> value text.
inline std::map<std::string, std::string> Flatten(const app_config_s& cfg) {
  std::map<std::string, std::string> out;
  Visit(cfg, [&](const std::string& name, const auto& field) { out[name] = Text(field); });
  return out;
}

// Names of the members whose values differ.
inline std::set<std::string> Diff(const app_config_s& a, const app_config_s& b) {
  std::map<std::string, std::string> fa = Flatten(a), fb = Flatten(b);
  std::set<std::string> names;
  for (const auto& [name, value] : fa) {
    if (fb[name] != value) names.insert(name);
  }
  return names;
}

// Gives every member a value of its own, different from every default (names get 31 characters).
inline void FillDistinct(app_config_s* cfg, int seed = 1000) {
  int n = seed;
  Visit(*cfg, [&](const std::string&, auto& field) {
    using T = std::decay_t<decltype(field)>;
    ++n;
    if constexpr (std::is_same_v<T, int>) {
      field = n;
    } else if constexpr (std::is_same_v<T, uint32_t>) {
      field = uint32_t(n);
    } else if constexpr (std::is_same_v<T, float>) {
      field = float(n) + 0.25f;
    } else if constexpr (std::is_same_v<T, std::string>) {
      field = "value" + std::to_string(n);
    } else {
      std::snprintf(field, kNameSize, "%031d", n);
    }
  });
  cfg->user_cnt = kMaxUsers;
  // Channel settings load only within what a command could set: theirs stay apart from the
  // defaults but in range (flags and memberships set, levels away from the factory values).
  for (int c = 0; c < kDspChannels; ++c) {
    cfg->control[c] = 1 + (seed + c) % kDspChannels;
    cfg->InputGainRef(c) = -29 + (seed + c) % 29;
    cfg->InputMuteRef(c) = 1;
    cfg->OutputVolRef(c) = 1 + (seed + c) % 60;
    cfg->OutputMuteRef(c) = 1;
    cfg->OutputDelayRef(c) = 1 + (seed + c) % 49;
  }
  for (int pair = 0; pair < kDspChannels / 2; ++pair) {
    cfg->InputLinkRef(pair) = 1;
    cfg->OutputLinkRef(pair) = 1;
  }
  for (int c = 0; c < kAnalogueChannels; ++c) cfg->analogue_input_phantom[c] = 1;
  for (int g = 0; g < kGroups; ++g) {
    cfg->group_input_gain[g] = -29 + (seed + g) % 29;
    cfg->group_input_mute[g] = 1;
    cfg->group_output_vol[g] = 1 + (seed + g) % 60;
    cfg->group_output_mute[g] = 1;
    for (int c = 0; c < kDspChannels; ++c) {
      cfg->InputGroupMembers(g)[c] = 1;
      cfg->OutputGroupMembers(g)[c] = 1;
    }
  }
  for (int s = 0; s < kChannelSlots; ++s) {
    cfg->input_preset[s] = 1 + (seed + s) % 2;
    cfg->input_stereo[s] = 1;
    cfg->output_preset[s] = 1 + (seed + s + 1) % 2;
    cfg->output_stereo[s] = 1;
  }
  for (int n = 0; n < kPresets; ++n) cfg->preset_enable[n] = 1;
  // The power state and the USB port load as 0 or 1: theirs are the values apart from the
  // defaults (off, USB-C).
  cfg->power = 0;
  cfg->usb_status = 0;
  // EQ bands load only within the protocol's limits: theirs stay apart from the defaults but in
  // range (switched off, gain never 0).
  int k = 0;
  for (int side = 0; side < 2; ++side) {
    for (int m = 0; m < kEqMemories; ++m) {
      for (int slot = 0; slot < kChannelSlots; ++slot) {
        peq_data_s& eq = cfg->EqMemory(side, m)[slot];
        for (int b = 0; b < kEqBands; ++b, ++k) {
          eq.bypass[b] = 0;
          eq.frequency[b] = 21 + (seed + k) % 19000;
          eq.gain[b] = -14.75f + float((seed + k) % 29);
          eq.quality[b] = 0.25f + float((seed + k) % 40) * 0.25f;
        }
      }
    }
  }
}

}  // namespace record_fields
