// The device configuration: one plain record holding everything that survives a restart. It is
// saved whole as one JSON document after every change (config_file.h) and given its factory values
// by the resets (config_defaults.h).
#pragma once

#include <cstdint>
#include <string>

// Array sizes of the record.
constexpr int kMaxUsers = 11;      // accounts in `user`
constexpr int kChannelSlots = 18;  // names, EQ memories: 14 channels and 4 groups per side
constexpr int kDspChannels = 14;   // physical channels per side (DSP index 0-13)
constexpr int kAnalogueChannels = 4;
constexpr int kTarvoChannels = 8;
constexpr int kUsbChannels = 2;
constexpr int kGroups = 4;
constexpr int kStereoPairs = 7;  // (1,2) (3,4) ... (13,14)
constexpr int kEqBands = 8;
constexpr int kEqMemories = 3;  // Flat, Custom1, Custom2
constexpr int kPresets = 8;
constexpr int kNameSize = 32;  // fixed name fields: at most 31 characters and the NUL

// First DSP channel index of each input/output family.
constexpr int kFirstTarvoChannel = 4;
constexpr int kFirstUsbChannel = 12;

// One account of the web interface. A right is 1 for allowed.
struct app_user_s {
  std::string user;
  std::string password;  // 32 lower-case hex digits (password_digest.h)
  uint32_t enabled{};
  uint32_t matrix{};
  int phantom[4]{};
  int dsp[2]{};
  int input_analogue[4]{};
  int input_tarvo[8]{};
  int input_usb[2]{};
  int input_group[4]{};
  int output_analogue[4]{};
  int output_tarvo[8]{};
  int output_usb[2]{};
  int output_group[4]{};
  int preset[8]{};
  uint32_t network{};
  uint32_t system{};
  uint32_t information{};
  uint32_t power{};
};

// One channel's eight EQ bands, each array indexed by band.
struct peq_data_s {
  int bypass[kEqBands]{};                 // 1: the band filters
  float gain[kEqBands]{};                 // dB
  int frequency[kEqBands]{};              // Hz
  float quality[kEqBands]{};              // Q
  char type_name[kEqBands][kNameSize]{};  // "PARAMETRIC", "LOWPASS", ... (ParseEqTypeName)
};

// Which side an EQ memory or accessor belongs to.
enum eq_side_e { EQ_SIDE_INPUT = 0, EQ_SIDE_OUTPUT = 1 };

// The whole configuration. Index conventions:
//  - 18 slots (names, EQ memories, input/output_preset, input/output_stereo): protocol number - 1;
//    0-3 analogue, 4-11 Tarvo 1-8, 12 USB left, 13 USB right, 14-17 groups.
//  - 14 channels (`control`, group memberships): DSP index = protocol number - 1.
//  - family arrays: analogue [channel - 1], Tarvo [channel - 5], USB [0 left, 1 right].
//  - groups: group number - 15. Link flags: one per stereo pair (see InputLinkRef).
// A new record holds empty strings and zero numbers; values come from a reset or a load.
struct app_config_s {
  uint32_t user_cnt{};
  app_user_s user[kMaxUsers];
  std::string model;
  int dhcp{};
  std::string ipaddress;
  std::string subnet;
  std::string gateway;
  std::string dnsserver;
  std::string hostname;
  std::string type;  // "TRX", "TX" or "RX"; never touched by the resets
  int tcpportenable{};
  int tcpport{};
  int telnet_enable{};
  int telnetport{};
  int control[kDspChannels]{};  // source of each output: 0 none, 1-14 input number

  int analogue_input_gain[4]{};
  int analogue_input_stereo[2]{};
  int analogue_input_phantom[4]{};
  int analogue_input_mute[4]{};
  int tarvo_input_gain[8]{};
  int tarvo_input_stereo[4]{};
  int tarvo_input_mute[8]{};
  int usb_input_gain[2]{};
  int usb_input_stereo{};
  int usb_input_mute[2]{};
  int group_input_gain[4]{};
  int group_input_mute[4]{};
  int group_input_stereo1[kDspChannels]{};
  int group_input_stereo2[kDspChannels]{};
  int group_input_stereo3[kDspChannels]{};
  int group_input_stereo4[kDspChannels]{};
  char input_name[kChannelSlots][kNameSize]{};

  int analogue_output_vol[4]{};
  int analogue_output_stereo[2]{};
  int analogue_output_mute[4]{};
  int analogue_output_delay[4]{};
  int tarvo_output_vol[8]{};
  int tarvo_output_stereo[4]{};
  int tarvo_output_mute[8]{};
  int tarvo_output_delay[8]{};
  int usb_output_vol[2]{};
  int usb_output_stereo{};
  int usb_output_mute[2]{};
  int usb_output_delay[2]{};
  int group_output_vol[4]{};
  int group_output_mute[4]{};
  int group_output_stereo1[kDspChannels]{};
  int group_output_stereo2[kDspChannels]{};
  int group_output_stereo3[kDspChannels]{};
  int group_output_stereo4[kDspChannels]{};
  char output_name[kChannelSlots][kNameSize]{};

  int input_geq_chn{};
  peq_data_s input_flat_date[kChannelSlots];
  peq_data_s input_custom1_date[kChannelSlots];
  peq_data_s input_custom2_date[kChannelSlots];
  int input_preset[kChannelSlots]{};  // memory played: 0 Flat, 1 Custom1, 2 Custom2
  int input_stereo[kChannelSlots]{};  // EQ lock flag of the slot
  int output_geq_chn{};
  peq_data_s output_flat_date[kChannelSlots];
  peq_data_s output_custom1_date[kChannelSlots];
  peq_data_s output_custom2_date[kChannelSlots];
  int output_preset[kChannelSlots]{};
  int output_stereo[kChannelSlots]{};

  int power{};
  int powerled{};
  int key_lock{};
  int front_lcd{};
  int baudrate{};
  int usb_status{};
  int standby_mode{};
  int standbytime{};
  int preset_recall{};
  int preset_enable[kPresets]{};
  char preset_name[kPresets][kNameSize]{};

  // Per-channel fields by DSP channel index c (0-13), so the channel -> family mapping exists
  // once. An index outside 0-13 yields a scratch value that belongs to no channel (never a
  // stray write into the record).
  int& InputGainRef(int c);
  int& InputMuteRef(int c);
  int& OutputVolRef(int c);
  int& OutputMuteRef(int c);
  int& OutputDelayRef(int c);
  // Channel link flag of stereo pair p (0-6): 0-1 analogue, 2-5 Tarvo, 6 USB.
  int& InputLinkRef(int pair);
  int& OutputLinkRef(int pair);
  int InputLinkRef(int pair) const;
  int OutputLinkRef(int pair) const;
  // Membership list (14 flags by DSP index) of group g (0-3); nullptr outside 0-3.
  int* InputGroupMembers(int g);
  int* OutputGroupMembers(int g);
  // The 18-slot EQ memory m (0 Flat, 1 Custom1, 2 Custom2) of a side; nullptr when out of range.
  peq_data_s* EqMemory(int side, int m);
  const peq_data_s* EqMemory(int side, int m) const;
  // The memory slot k plays on its side (by input_preset/output_preset); nullptr when k or the
  // stored selection is out of range.
  peq_data_s* ActiveEq(int side, int k);
};

// The filter type number of a stored type name: 0 PARAMETRIC, 1 LOWPASS, 2 HIGHPASS,
// 3 LOW_SHELF, 4 HIGH_SHELF, -1 otherwise. Only the start of the name is compared (case matters),
// so "HIGHPASS_EXTRA" is HIGHPASS.
int ParseEqTypeName(const char* name);

// Copies text into a fixed name field, cut to fit before any UTF-8 character that would not fit
// whole, always NUL-terminated and zero-filled behind.
void SetNameField(char (&field)[kNameSize], const char* text);

// Band b of an EQ memory slot takes band b of another: switch, gain, frequency, Q and type name.
void CopyEqBand(peq_data_s& to, const peq_data_s& from, int b);
