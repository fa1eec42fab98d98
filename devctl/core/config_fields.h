// The members of the configuration document, section by section, in the order they are written.
// Saving and loading both walk these tables, so a member's key, field and size are stated once.
#pragma once

#include <cstddef>

#include "devctl/core/app_config.h"

namespace config_fields {

enum class Kind {
  kInt,       // number
  kUnsigned,  // number written unsigned
  kString,    // string
  kInts,      // numbers[count]
  kNames,     // strings[count] from 32-character name fields
};

struct Field {
  const char* key;
  Kind kind;
  int count;
  // When this member is missing from a present section, the loaded file is written back.
  bool rewrite_if_missing;
  void* (*at)(app_config_s&);
};

// Number of elements of a record member.
#define CONFIG_COUNT(member) int(sizeof(app_config_s::member) / sizeof(app_config_s::member[0]))
#define CONFIG_FIELD(member, kind, count, rewrite)                                     \
  Field {                                                                              \
#member, kind, count, rewrite, [](app_config_s & c) -> void* { return &c.member; } \
  }
#define CONFIG_INT(member) CONFIG_FIELD(member, Kind::kInt, 1, true)
#define CONFIG_STRING(member) CONFIG_FIELD(member, Kind::kString, 1, true)
#define CONFIG_INTS(member) CONFIG_FIELD(member, Kind::kInts, CONFIG_COUNT(member), false)
#define CONFIG_NAMES(member) CONFIG_FIELD(member, Kind::kNames, CONFIG_COUNT(member), false)

inline const Field kNetwork[] = {
    CONFIG_INT(dhcp),          CONFIG_STRING(ipaddress), CONFIG_STRING(subnet),
    CONFIG_STRING(gateway),    CONFIG_STRING(dnsserver), CONFIG_STRING(hostname),
    CONFIG_INT(tcpport),       CONFIG_INT(telnetport),   CONFIG_INT(telnet_enable),
    CONFIG_INT(tcpportenable),
};

inline const Field kInput[] = {
    CONFIG_INTS(analogue_input_gain),
    CONFIG_INTS(analogue_input_stereo),
    CONFIG_INTS(analogue_input_phantom),
    CONFIG_INTS(analogue_input_mute),
    CONFIG_INTS(tarvo_input_gain),
    CONFIG_INTS(tarvo_input_stereo),
    CONFIG_INTS(tarvo_input_mute),
    CONFIG_INTS(usb_input_gain),
    CONFIG_INTS(usb_input_mute),
    CONFIG_INT(usb_input_stereo),
    CONFIG_INTS(group_input_gain),
    CONFIG_INTS(group_input_stereo1),
    CONFIG_INTS(group_input_stereo2),
    CONFIG_INTS(group_input_stereo3),
    CONFIG_INTS(group_input_stereo4),
    CONFIG_INTS(group_input_mute),
    CONFIG_NAMES(input_name),
};

inline const Field kOutput[] = {
    CONFIG_INTS(analogue_output_vol),  CONFIG_INTS(analogue_output_stereo),
    CONFIG_INTS(analogue_output_mute), CONFIG_INTS(analogue_output_delay),
    CONFIG_INTS(tarvo_output_vol),     CONFIG_INTS(tarvo_output_stereo),
    CONFIG_INTS(tarvo_output_mute),    CONFIG_INTS(tarvo_output_delay),
    CONFIG_INTS(usb_output_vol),       CONFIG_INT(usb_output_stereo),
    CONFIG_INTS(usb_output_mute),      CONFIG_INTS(usb_output_delay),
    CONFIG_INTS(group_output_vol),     CONFIG_INTS(group_output_mute),
    CONFIG_INTS(group_output_stereo1), CONFIG_INTS(group_output_stereo2),
    CONFIG_INTS(group_output_stereo3), CONFIG_INTS(group_output_stereo4),
    CONFIG_NAMES(output_name),
};

// "peq" holds each side's scalars and arrays followed by that side's three EQ memories.
inline const Field kPeqInput[] = {CONFIG_INT(input_geq_chn), CONFIG_INTS(input_preset),
                                  CONFIG_INTS(input_stereo)};
inline const Field kPeqOutput[] = {CONFIG_INT(output_geq_chn), CONFIG_INTS(output_preset),
                                   CONFIG_INTS(output_stereo)};
// Key prefixes of the memories, by side and memory (the slot number 0-17 follows).
inline const char* const kEqMemoryKeys[2][kEqMemories] = {
    {"input_flat_date", "input_custom1_date", "input_custom2_date"},
    {"output_flat_date", "output_custom1_date", "output_custom2_date"},
};

inline const Field kSystem[] = {
    CONFIG_INT(power),    CONFIG_INT(powerled),   CONFIG_INT(key_lock),     CONFIG_INT(front_lcd),
    CONFIG_INT(baudrate), CONFIG_INT(usb_status), CONFIG_INT(standby_mode), CONFIG_INT(standbytime),
};

inline const Field kPreset[] = {CONFIG_INT(preset_recall), CONFIG_INTS(preset_enable),
                                CONFIG_NAMES(preset_name)};

#undef CONFIG_INTS
#undef CONFIG_NAMES
#undef CONFIG_INT
#undef CONFIG_STRING
#undef CONFIG_FIELD
#undef CONFIG_COUNT

// Members of one account object, in the order they are written. Scalars are unsigned; the rights
// arrays follow them.
struct UserField {
  const char* key;
  Kind kind;
  int count;
  void* (*at)(app_user_s&);
};

#define USER_FIELD(member, kind, count)                                     \
  UserField {                                                               \
#member, kind, count, [](app_user_s & u) -> void* { return &u.member; } \
  }
#define USER_INTS(member) \
  USER_FIELD(member, Kind::kInts, int(sizeof(app_user_s::member) / sizeof(int)))

inline const UserField kUser[] = {
    USER_FIELD(user, Kind::kString, 1),
    USER_FIELD(password, Kind::kString, 1),
    USER_FIELD(enabled, Kind::kUnsigned, 1),
    USER_FIELD(matrix, Kind::kUnsigned, 1),
    USER_FIELD(network, Kind::kUnsigned, 1),
    USER_FIELD(system, Kind::kUnsigned, 1),
    USER_FIELD(information, Kind::kUnsigned, 1),
    USER_FIELD(power, Kind::kUnsigned, 1),
    USER_INTS(phantom),
    USER_INTS(dsp),
    USER_INTS(input_analogue),
    USER_INTS(input_tarvo),
    USER_INTS(input_usb),
    USER_INTS(input_group),
    USER_INTS(output_analogue),
    USER_INTS(output_tarvo),
    USER_INTS(output_usb),
    USER_INTS(output_group),
    USER_INTS(preset),
};

#undef USER_INTS
#undef USER_FIELD

}  // namespace config_fields
