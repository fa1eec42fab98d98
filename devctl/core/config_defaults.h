// Factory values of the configuration record and the three reset levels. None of them saves or
// touches the hardware; `type` and accounts 3-11 are never changed by any of them.
#pragma once

#include <string>

#include "devctl/core/app_config.h"

// The default password of the first account; the record only ever holds its digest.
constexpr char kDefaultPassword[] = "@Tqw4821";
constexpr char kDefaultModel[] = "VX7206";

// The whole record: accounts 1 and 2, network, model, routing, channels, names, EQ, system and
// presets. path and mac are not used.
void ResetAppConfig(const std::string& path, app_config_s* cfg, const std::string& mac);
// The ten network settings only (not the model).
void ResetNetworkConfig(const std::string& path, app_config_s* cfg);
// Does nothing; the system reset calls it before ResetAudioConfig.
void ResetConfigReserved(const std::string& path, app_config_s* cfg);
// Everything but the accounts and the network settings.
void ResetAudioConfig(const std::string& path, app_config_s* cfg);

// The default digest of account 1 (digest of kDefaultPassword).
std::string DefaultPasswordDigest();
// The default name of input or output slot k (0-17).
std::string DefaultInputName(int k);
std::string DefaultOutputName(int k);
// Band b (0-7) of an EQ memory slot as the factory sets it: on, 0 dB, 32 .. 12000 Hz, Q 1.41,
// "PARAMETRIC".
void ResetEqBand(peq_data_s* bands, int b);
// Gives a user account every right.
void GrantAllRights(app_user_s* user);
