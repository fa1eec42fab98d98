#include "devctl/core/config_defaults.h"

#include <cstdio>

#include "devctl/core/password_digest.h"

namespace {

constexpr int kDefaultFrequencies[kEqBands] = {32, 80, 200, 500, 1250, 3150, 8000, 12000};
constexpr float kDefaultQuality = 1.41f;
constexpr int kDefaultVolume = 50;

template <typename T, size_t N>
void Fill(T (&array)[N], T value) {
  for (T& element : array) element = value;
}

void ResetEqMemory(peq_data_s (&memory)[kChannelSlots]) {
  for (peq_data_s& slot : memory) {
    for (int b = 0; b < kEqBands; ++b) ResetEqBand(&slot, b);
  }
}

void ResetNetworkFields(app_config_s* cfg) {
  cfg->dhcp = 1;
  cfg->ipaddress = "192.168.0.200";
  cfg->subnet = "255.255.255.0";
  cfg->gateway = "192.168.0.1";
  cfg->dnsserver = "192.168.0.1";
  cfg->tcpportenable = 1;
  cfg->tcpport = 8000;
  cfg->telnet_enable = 1;
  cfg->telnetport = 23;
  cfg->hostname = kDefaultModel;
}

void ResetInputs(app_config_s* cfg) {
  Fill(cfg->analogue_input_gain, 0);
  Fill(cfg->analogue_input_stereo, 0);
  Fill(cfg->analogue_input_phantom, 0);
  Fill(cfg->analogue_input_mute, 0);
  Fill(cfg->tarvo_input_gain, 0);
  Fill(cfg->tarvo_input_stereo, 0);
  Fill(cfg->tarvo_input_mute, 0);
  Fill(cfg->usb_input_gain, 0);
  cfg->usb_input_stereo = 0;
  Fill(cfg->usb_input_mute, 0);
  Fill(cfg->group_input_gain, 0);
  Fill(cfg->group_input_mute, 0);
  Fill(cfg->group_input_stereo1, 0);
  Fill(cfg->group_input_stereo2, 0);
  Fill(cfg->group_input_stereo3, 0);
  Fill(cfg->group_input_stereo4, 0);
  for (int k = 0; k < kChannelSlots; ++k) {
    SetNameField(cfg->input_name[k], DefaultInputName(k).c_str());
  }
}

void ResetOutputs(app_config_s* cfg) {
  Fill(cfg->analogue_output_vol, kDefaultVolume);
  Fill(cfg->analogue_output_stereo, 0);
  Fill(cfg->analogue_output_mute, 0);
  Fill(cfg->analogue_output_delay, 0);
  Fill(cfg->tarvo_output_vol, kDefaultVolume);
  Fill(cfg->tarvo_output_stereo, 0);
  Fill(cfg->tarvo_output_mute, 0);
  Fill(cfg->tarvo_output_delay, 0);
  Fill(cfg->usb_output_vol, kDefaultVolume);
  cfg->usb_output_stereo = 0;
  Fill(cfg->usb_output_mute, 0);
  Fill(cfg->usb_output_delay, 0);
  Fill(cfg->group_output_vol, kDefaultVolume);
  Fill(cfg->group_output_mute, 0);
  Fill(cfg->group_output_stereo1, 0);
  Fill(cfg->group_output_stereo2, 0);
  Fill(cfg->group_output_stereo3, 0);
  Fill(cfg->group_output_stereo4, 0);
  for (int k = 0; k < kChannelSlots; ++k) {
    SetNameField(cfg->output_name[k], DefaultOutputName(k).c_str());
  }
}

void ResetEqualiser(app_config_s* cfg) {
  cfg->input_geq_chn = 0;
  Fill(cfg->input_preset, 0);
  Fill(cfg->input_stereo, 1);
  cfg->output_geq_chn = 0;
  Fill(cfg->output_preset, 0);
  Fill(cfg->output_stereo, 1);
  ResetEqMemory(cfg->input_flat_date);
  ResetEqMemory(cfg->input_custom1_date);
  ResetEqMemory(cfg->input_custom2_date);
  ResetEqMemory(cfg->output_flat_date);
  ResetEqMemory(cfg->output_custom1_date);
  ResetEqMemory(cfg->output_custom2_date);
}

void ResetSystemAndPresets(app_config_s* cfg) {
  cfg->power = 1;
  cfg->powerled = 0;
  cfg->key_lock = 0;
  cfg->front_lcd = 1;
  cfg->baudrate = 5;
  cfg->usb_status = 1;
  cfg->standby_mode = 1;
  cfg->standbytime = 10;
  cfg->preset_recall = 0;
  Fill(cfg->preset_enable, 0);
  for (int n = 1; n <= kPresets; ++n) {
    SetNameField(cfg->preset_name[n - 1], ("Preset " + std::to_string(n)).c_str());
  }
}

}  // namespace

void ResetEqBand(peq_data_s* bands, int b) {
  if (b < 0 || b >= kEqBands) return;
  bands->bypass[b] = 1;
  bands->gain[b] = 0.0f;
  bands->frequency[b] = kDefaultFrequencies[b];
  bands->quality[b] = kDefaultQuality;
  SetNameField(bands->type_name[b], "PARAMETRIC");
}

std::string DefaultPasswordDigest() {
  char digest[256] = {};
  HashPassword(kDefaultPassword, digest);
  return digest;
}

std::string DefaultInputName(int k) {
  char name[kNameSize] = {};
  if (k >= 0 && k < 4) {
    std::snprintf(name, sizeof name, "Analogue Input CH%d", k + 1);
  } else if (k >= 4 && k < 12) {
    std::snprintf(name, sizeof name, "Tarvo Input CH%d", k - 3);
  } else if (k == 12 || k == 13) {
    std::snprintf(name, sizeof name, "USB Input %s", k == 12 ? "Left" : "Right");
  } else if (k >= 14 && k < kChannelSlots) {
    std::snprintf(name, sizeof name, "Input Group %d", k - 13);
  }
  return name;
}

std::string DefaultOutputName(int k) {
  char name[kNameSize] = {};
  if (k >= 0 && k < 4) {
    std::snprintf(name, sizeof name, "Analogue Output CH%d", k + 1);
  } else if (k >= 4 && k < 12) {
    std::snprintf(name, sizeof name, "Tarvo Output CH%d", k - 3);
  } else if (k == 12 || k == 13) {
    std::snprintf(name, sizeof name, "USB Output %s", k == 12 ? "Left" : "Right");
  } else if (k >= 14 && k < kChannelSlots) {
    std::snprintf(name, sizeof name, "Output Group %c", char('A' + (k - 14)));
  }
  return name;
}

void GrantAllRights(app_user_s* user) {
  user->enabled = 1;
  user->matrix = 1;
  Fill(user->phantom, 1);
  Fill(user->dsp, 1);
  Fill(user->input_analogue, 1);
  Fill(user->input_tarvo, 1);
  Fill(user->input_usb, 1);
  Fill(user->input_group, 1);
  Fill(user->output_analogue, 1);
  Fill(user->output_tarvo, 1);
  Fill(user->output_usb, 1);
  Fill(user->output_group, 1);
  Fill(user->preset, 1);
  user->network = 1;
  user->system = 1;
  user->information = 1;
  user->power = 1;
}

void ResetAppConfig(const std::string& path, app_config_s* cfg, const std::string& mac) {
  (void)path;
  (void)mac;
  cfg->user[0].password = DefaultPasswordDigest();
  cfg->user_cnt = 2;
  cfg->user[0].user = "Morvaneth";
  GrantAllRights(&cfg->user[0]);
  cfg->user[1].user = "Guest";
  cfg->user[1].password = "";
  GrantAllRights(&cfg->user[1]);
  ResetNetworkFields(cfg);
  ResetAudioConfig(path, cfg);
}

void ResetNetworkConfig(const std::string& path, app_config_s* cfg) {
  (void)path;
  ResetNetworkFields(cfg);
}

void ResetConfigReserved(const std::string& path, app_config_s* cfg) {
  (void)path;
  (void)cfg;
}

void ResetAudioConfig(const std::string& path, app_config_s* cfg) {
  (void)path;
  cfg->model = kDefaultModel;
  for (int k = 0; k < kDspChannels; ++k) cfg->control[k] = k + 1;
  ResetInputs(cfg);
  ResetOutputs(cfg);
  ResetEqualiser(cfg);
  ResetSystemAndPresets(cfg);
}
