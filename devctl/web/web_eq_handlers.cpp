#include "devctl/web/web_eq_handlers.h"

#include <iterator>
#include <string>
#include <vector>

#include "devctl/core/eq_changes.h"
#include "devctl/core/limits.h"
#include "devctl/core/name_text.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/json_members.h"
#include "devctl/web/set_command.h"

// Flat takes neither band edits nor switches (reported all the same); a group switch includes
// the group's own memory; a pair loads channel by channel; locking makes the second channel follow
// the first. The lines carry the unit's own words ("intput", "unlock", "lock").
const EqRules kWebEqRules = {
    /*refuses_flat_edit=*/false,
    /*switches_flat=*/false,
    /*switches_whole_group=*/true,
    PairLoad::kChannelByChannel,
    PairLock::kFollowFirst,
    /*flat_analogue_input=*/"Analogue intput",
    /*usb_switch_side_last=*/false,
    /*unlocked=*/" PEQ unlock.\r\n",
    /*locked_output_pair=*/" PEQ lock.\r\n",
    /*usb_lock_by_channel=*/true,
};

namespace {

const WebIntMember kAction{"action", EQ_SIDE_INPUT, EQ_SIDE_OUTPUT};
const WebIntMember kChn{"chn", 0, kChannelSlots - 1};
const WebIntMember kMemory{"preset", 0, kEqMemories - 1};
const WebIntMember kBand{"id", 0, kEqBands - 1};

// A float member within [lo, hi]; absent or not a number counts as fallback. The value is
// range-checked as a double, so NaN, infinities and huge values never reach the float.
bool ReadFloatMember(const cJSON* request, const char* key, double fallback, float lo, float hi,
                     float* out) {
  double value = 0.0;
  if (!web::ReadJsonDouble(request, key, &value)) value = fallback;
  if (!(double(lo) <= value && value <= double(hi))) return false;
  *out = float(value);
  return true;
}

cJSON* BandArray(const peq_data_s& bands) {
  cJSON* array = cJSON_CreateArray();
  for (int b = 0; b < kEqBands; ++b) {
    cJSON* band = cJSON_CreateObject();
    cJSON_AddNumberToObject(band, "id", b);
    cJSON_AddNumberToObject(band, "frequency", bands.frequency[b]);
    cJSON_AddNumberToObject(band, "gain", bands.gain[b]);
    cJSON_AddStringToObject(band, "type", bands.type_name[b]);
    cJSON_AddNumberToObject(band, "quality", bands.quality[b]);
    cJSON_AddNumberToObject(band, "bypass", bands.bypass[b]);
    cJSON_AddItemToArray(array, band);
  }
  return array;
}

cJSON* NameArray(const char (&names)[kChannelSlots][kNameSize]) {
  cJSON* array = cJSON_CreateArray();
  for (const auto& name : names) cJSON_AddItemToArray(array, cJSON_CreateString(name));
  return array;
}

// The reply of "set peq chn": the slot's memory selection, EQ lock, the names of its side and the
// bands of its three memories.
void PrintEqEditorSlot(int side, int slot, WebAnswer& answer) {
  const char* prefix = side == EQ_SIDE_OUTPUT ? "output" : "input";
  const int* selection =
      side == EQ_SIDE_OUTPUT ? g_unit.config.output_preset : g_unit.config.input_preset;
  const int* locks =
      side == EQ_SIDE_OUTPUT ? g_unit.config.output_stereo : g_unit.config.input_stereo;
  const auto& names = side == EQ_SIDE_OUTPUT ? g_unit.config.output_name : g_unit.config.input_name;
  auto key = [&](const char* name) { return std::string(prefix) + "_" + name; };

  cJSON* reply = cJSON_CreateObject();
  cJSON_AddNumberToObject(reply, "power", g_unit.config.power);
  cJSON_AddNumberToObject(reply, key("chn").c_str(), slot);
  cJSON_AddNumberToObject(reply, key("preset").c_str(), selection[slot]);
  cJSON_AddNumberToObject(reply, key("stereo").c_str(), locks[slot]);
  // The outputs list their names before the bands, the inputs after them.
  if (side == EQ_SIDE_OUTPUT) cJSON_AddItemToObject(reply, key("name").c_str(), NameArray(names));
  const char* memories[kEqMemories] = {"flat", "custom1", "custom2"};
  for (int m = 0; m < kEqMemories; ++m) {
    cJSON_AddItemToObject(reply, key(memories[m]).c_str(),
                          BandArray(g_unit.config.EqMemory(side, m)[slot]));
  }
  if (side == EQ_SIDE_INPUT) cJSON_AddItemToObject(reply, key("name").c_str(), NameArray(names));
  cJSON_AddStringToObject(reply, "comhead", answer.comhead.c_str());
  cJSON_AddNumberToObject(reply, "result", 1);
  web::PrintJsonReply(reply, answer.reply);
  cJSON_Delete(reply);
}

}  // namespace

bool WebSetPeqChannel(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {kAction, kChn}, &v, answer)) return false;
  answer.change = [side = v[0], slot = v[1]](WebAnswer& answer) {
    SelectEqEditorSlot(g_unit.config, side, slot);
    PrintEqEditorSlot(side, slot, answer);
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetPeq(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  const WebIntMember frequency{"frequency", kEqMinFrequency, kEqMaxFrequency};
  // The unit wakes only once the float and string members are found good as well.
  if (!ReadSetCommand(request, {kAction, kChn, kMemory, kBand, frequency}, &v, answer)) {
    return false;
  }
  EqBandValues values;
  values.frequency = v[4];
  std::string type;
  if (!ReadFloatMember(request, "gain", 0.0, kEqMinGain, kEqMaxGain, &values.gain) ||
      !ReadFloatMember(request, "quality", 0.0, kEqMinQuality, kEqMaxQuality, &values.quality) ||
      !web::ReadJsonString(request, "type", &type) || ParseEqTypeName(type.c_str()) < 0 ||
      !IsCleanName(type)) {
    // The text is stored and shown as it came: no control characters, no broken UTF-8.
    return RefuseSetCommand(answer);
  }
  values.type = ParseEqTypeName(type.c_str());
  values.type_name = CutAtCharacter(type, kNameSize - 1);
  answer.change = [v, values](WebAnswer& answer) {
    SetEqBand(g_unit.config, v[0], v[1], v[3], values, v[2], kWebEqRules, answer.notice);
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetPeqBypass(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {kAction, kChn, kBand, {"bypass", 0, 1}}, &v, answer)) {
    return false;
  }
  answer.change = [v](WebAnswer& answer) {
    SetEqBandSwitch(g_unit.config, v[0], v[1], v[2], v[3], kWebEqRules, answer.notice);
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetEqPreset(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {kAction, kChn, kMemory}, &v, answer)) return false;
  answer.change = [v](WebAnswer& answer) {
    SelectEqMemory(g_unit.config, v[0], v[1], v[2], kWebEqRules, answer.notice);
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetPeqReset(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {kAction, kChn, kMemory}, &v, answer)) return false;
  answer.change = [v](WebAnswer& answer) {
    ResetEqMemory(g_unit.config, v[0], v[1], v[2], answer.notice);
    return WebOutcome::kChanged;
  };
  return true;
}

bool WebSetEqStereo(const cJSON* request, WebAnswer& answer) {
  std::vector<int> v;
  if (!ReadSetCommand(request, {kAction, kChn, {"stereo", 0, 1}}, &v, answer)) return false;
  answer.change = [v](WebAnswer& answer) {
    SetEqLock(g_unit.config, v[0], v[1], v[2] != 0, kWebEqRules, answer.notice);
    return WebOutcome::kChanged;
  };
  return true;
}

namespace {

// Every request found good is saved and, but for "set peq chn" (which answers the slot it
// selected and tells the control ports nothing), answered "result" 1.
const WebCommandRow kRows[] = {
    {"set peq chn", WebSetPeqChannel, kWebWakes | kWebSaves},
    {"set peq", WebSetPeq, kWebSetCommand},
    {"set peq bypass", WebSetPeqBypass, kWebSetCommand},
    {"set eq stereo", WebSetEqStereo, kWebSetCommand},
    {"set eq preset", WebSetEqPreset, kWebSetCommand},
    {"set peq reset", WebSetPeqReset, kWebSetCommand},
};

}  // namespace

const WebCommandRows kWebEqRows{kRows, std::size(kRows)};
