#include "devctl/web/status_document.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "devctl/core/uptime.h"
#include "devctl/web/json_members.h"

namespace web {
namespace {

cJSON* IntArray(const int* values, int n) { return cJSON_CreateIntArray(values, n); }

cJSON* NameArray(const char (*names)[kNameSize], int n) {
  const char* pointers[kChannelSlots];
  for (int i = 0; i < n && i < kChannelSlots; ++i) pointers[i] = names[i];
  return cJSON_CreateStringArray(pointers, n);
}

const char* OnOff(int flag) { return flag ? "on" : "off"; }

void Add(cJSON* object, const char* key, cJSON* item) { cJSON_AddItemToObject(object, key, item); }
void AddInt(cJSON* object, const char* key, int value) {
  Add(object, key, cJSON_CreateNumber(value));
}
void AddText(cJSON* object, const char* key, const std::string& value) {
  Add(object, key, cJSON_CreateString(value.c_str()));
}

cJSON* SystemStatus(const app_config_s& cfg, const StatusFacts& facts) {
  cJSON* o = cJSON_CreateObject();
  AddText(o, "devname", cfg.model);
  AddText(o, "softver", facts.main_version);
  AddText(o, "mcusubver", facts.mcu_version);
  AddText(o, "netaudiover", facts.netaudio_version);
  AddInt(o, "power", cfg.power);
  AddInt(o, "powerled", cfg.powerled);
  AddInt(o, "keylock", cfg.key_lock);
  AddInt(o, "front_lcd", cfg.front_lcd);
  AddInt(o, "rs232", cfg.baudrate);
  AddInt(o, "standbytime", cfg.standbytime);
  AddText(o, "standby_mode", cfg.standby_mode ? "standby" : "sleep");
  AddText(o, "temp", std::to_string(facts.temperature) + "C");
  AddText(o, "uptime", FormatUptime(facts.uptime_seconds));
  return o;
}

cJSON* NetworkStatus(const app_config_s& cfg, const StatusFacts& facts) {
  cJSON* o = cJSON_CreateObject();
  AddText(o, "dhcp", OnOff(cfg.dhcp));
  AddText(o, "ip", facts.ip);
  AddText(o, "sm", facts.subnet);
  AddText(o, "gw", facts.gateway);
  AddText(o, "hostname", cfg.hostname);
  AddText(o, "mac", facts.mac);
  AddInt(o, "tcpip", cfg.tcpport);
  AddInt(o, "telnet", cfg.telnetport);
  AddText(o, "telnetenable", OnOff(cfg.telnet_enable));
  AddText(o, "tcpportenable", OnOff(cfg.tcpportenable));
  return o;
}

cJSON* InputStatus(const app_config_s& c) {
  cJSON* o = cJSON_CreateObject();
  Add(o, "analogue_input_gain", IntArray(c.analogue_input_gain, 4));
  Add(o, "analogue_input_stereo", IntArray(c.analogue_input_stereo, 2));
  Add(o, "analogue_input_phantom", IntArray(c.analogue_input_phantom, 4));
  Add(o, "analogue_input_mute", IntArray(c.analogue_input_mute, 4));
  Add(o, "tarvo_input_gain", IntArray(c.tarvo_input_gain, 8));
  Add(o, "tarvo_input_stereo", IntArray(c.tarvo_input_stereo, 4));
  Add(o, "tarvo_input_mute", IntArray(c.tarvo_input_mute, 8));
  Add(o, "usb_input_gain", IntArray(c.usb_input_gain, 2));
  Add(o, "usb_input_mute", IntArray(c.usb_input_mute, 2));
  AddInt(o, "usb_input_stereo", c.usb_input_stereo);
  Add(o, "group_input_gain", IntArray(c.group_input_gain, 4));
  Add(o, "group_input_stereo1", IntArray(c.group_input_stereo1, kDspChannels));
  Add(o, "group_input_stereo2", IntArray(c.group_input_stereo2, kDspChannels));
  Add(o, "group_input_stereo3", IntArray(c.group_input_stereo3, kDspChannels));
  Add(o, "group_input_stereo4", IntArray(c.group_input_stereo4, kDspChannels));
  Add(o, "group_input_mute", IntArray(c.group_input_mute, 4));
  Add(o, "input_name", NameArray(c.input_name, kChannelSlots));
  AddInt(o, "usb", c.usb_status);
  return o;
}

cJSON* OutputStatus(const app_config_s& c) {
  cJSON* o = cJSON_CreateObject();
  Add(o, "control", IntArray(c.control, kDspChannels));
  Add(o, "analogue_output_vol", IntArray(c.analogue_output_vol, 4));
  Add(o, "analogue_output_stereo", IntArray(c.analogue_output_stereo, 2));
  Add(o, "analogue_output_mute", IntArray(c.analogue_output_mute, 4));
  Add(o, "analogue_output_delay", IntArray(c.analogue_output_delay, 4));
  Add(o, "tarvo_output_vol", IntArray(c.tarvo_output_vol, 8));
  Add(o, "tarvo_output_stereo", IntArray(c.tarvo_output_stereo, 4));
  Add(o, "tarvo_output_mute", IntArray(c.tarvo_output_mute, 8));
  Add(o, "tarvo_output_delay", IntArray(c.tarvo_output_delay, 8));
  Add(o, "usb_output_vol", IntArray(c.usb_output_vol, 2));
  AddInt(o, "usb_output_stereo", c.usb_output_stereo);
  Add(o, "usb_output_mute", IntArray(c.usb_output_mute, 2));
  Add(o, "usb_output_delay", IntArray(c.usb_output_delay, 2));
  Add(o, "group_output_vol", IntArray(c.group_output_vol, 4));
  Add(o, "group_output_mute", IntArray(c.group_output_mute, 4));
  Add(o, "group_output_stereo1", IntArray(c.group_output_stereo1, kDspChannels));
  Add(o, "group_output_stereo2", IntArray(c.group_output_stereo2, kDspChannels));
  Add(o, "group_output_stereo3", IntArray(c.group_output_stereo3, kDspChannels));
  Add(o, "group_output_stereo4", IntArray(c.group_output_stereo4, kDspChannels));
  Add(o, "output_name", NameArray(c.output_name, kChannelSlots));
  return o;
}

cJSON* PresetStatus(const app_config_s& c) {
  cJSON* o = cJSON_CreateObject();
  AddInt(o, "preset_recall", c.preset_recall);
  Add(o, "enable", IntArray(c.preset_enable, kPresets));
  Add(o, "name", NameArray(c.preset_name, kPresets));
  return o;
}

cJSON* EqMemoryObject(const peq_data_s& m) {
  cJSON* o = cJSON_CreateObject();
  Add(o, "bypass", IntArray(m.bypass, kEqBands));
  Add(o, "gain", cJSON_CreateFloatArray(m.gain, kEqBands));
  Add(o, "frequency", IntArray(m.frequency, kEqBands));
  Add(o, "quality", cJSON_CreateFloatArray(m.quality, kEqBands));
  Add(o, "type_name", NameArray(m.type_name, kEqBands));
  return o;
}

void AddEqSide(cJSON* o, const char* side, int geq_chn, const int* preset, const int* stereo,
               const peq_data_s* const memories[kEqMemories]) {
  static const char* kMemoryNames[kEqMemories] = {"flat", "custom1", "custom2"};
  const std::string prefix(side);
  AddInt(o, (prefix + "_geq_chn").c_str(), geq_chn);
  Add(o, (prefix + "_preset").c_str(), IntArray(preset, kChannelSlots));
  Add(o, (prefix + "_stereo").c_str(), IntArray(stereo, kChannelSlots));
  for (int m = 0; m < kEqMemories; ++m) {
    for (int slot = 0; slot < kChannelSlots; ++slot) {
      std::string key = prefix + "_" + kMemoryNames[m] + "_date" + std::to_string(slot);
      Add(o, key.c_str(), EqMemoryObject(memories[m][slot]));
    }
  }
}

cJSON* EqStatus(const app_config_s& c) {
  cJSON* o = cJSON_CreateObject();
  const peq_data_s* in[kEqMemories] = {c.input_flat_date, c.input_custom1_date,
                                       c.input_custom2_date};
  const peq_data_s* out[kEqMemories] = {c.output_flat_date, c.output_custom1_date,
                                        c.output_custom2_date};
  AddEqSide(o, "input", c.input_geq_chn, c.input_preset, c.input_stereo, in);
  AddEqSide(o, "output", c.output_geq_chn, c.output_preset, c.output_stereo, out);
  return o;
}

// Length of the well-formed UTF-8 sequence at s (n bytes available) whose character XML 1.0
// allows, or 0.
size_t AllowedUtf8Length(const unsigned char* s, size_t n) {
  const unsigned char c = s[0];
  size_t len;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (len > n) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
  const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
  if (overlong || surrogate || cp > 0x10FFFF || cp == 0xFFFE || cp == 0xFFFF) return 0;
  return len;
}

// The text with every byte XML 1.0 does not allow (control characters other than tab, line feed
// and carriage return; bytes that are no well-formed UTF-8) written as the JSON escape \u00XX,
// the way the JSON document shows a control character.
std::string XmlAllowedText(const char* text) {
  std::string out;
  const auto* s = reinterpret_cast<const unsigned char*>(text ? text : "");
  const size_t n = std::strlen(reinterpret_cast<const char*>(s));
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    size_t len = 1;
    bool allowed;
    if (c < 0x80) {
      allowed = c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
    } else {
      len = AllowedUtf8Length(s + i, n - i);
      allowed = len > 0;
      if (!allowed) len = 1;
    }
    if (allowed) {
      out.append(reinterpret_cast<const char*>(s + i), len);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    }
    i += len;
  }
  return out;
}

// The integer value of a number, cut toward zero; saturates outside the 32-bit range.
int TruncatedInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

const char* StatusSectionName(int section) {
  static const char* const kNames[kStatusSections] = {"syssta", "websta", "input",
                                                      "output", "preset", "peq"};
  return section >= 0 && section < kStatusSections ? kNames[section] : "";
}

cJSON* BuildStatusSection(int section, const app_config_s& cfg, const StatusFacts& facts) {
  switch (section) {
    case 0:
      return SystemStatus(cfg, facts);
    case 1:
      return NetworkStatus(cfg, facts);
    case 2:
      return InputStatus(cfg);
    case 3:
      return OutputStatus(cfg);
    case 4:
      return PresetStatus(cfg);
    case 5:
      return EqStatus(cfg);
    default:
      return cJSON_CreateObject();
  }
}

cJSON* BuildStatusTree(const app_config_s& cfg, const StatusFacts& facts) {
  cJSON* root = cJSON_CreateObject();
  for (int section = 0; section < kStatusSections; ++section) {
    Add(root, StatusSectionName(section), BuildStatusSection(section, cfg, facts));
  }
  return root;
}

void ConvertJsonToXml(const cJSON* object, mxml_node_t* parent) {
  for (const cJSON* member = object ? object->child : nullptr; member; member = member->next) {
    if (member->string == nullptr) continue;
    mxml_node_t* element = mxmlNewElement(parent, member->string);
    if (cJSON_IsObject(member)) {
      ConvertJsonToXml(member, element);
    } else if (cJSON_IsString(member)) {
      mxmlNewText(element, 0, XmlAllowedText(member->valuestring).c_str());
    } else if (cJSON_IsNumber(member)) {
      mxmlNewText(element, 0, std::to_string(TruncatedInt(member->valuedouble)).c_str());
    } else if (cJSON_IsArray(member)) {
      std::string text;
      for (const cJSON* item = member->child; item; item = item->next) {
        if (cJSON_IsString(item)) {
          text += XmlAllowedText(item->valuestring);
          text += ',';
        } else if (cJSON_IsNumber(item)) {
          text += std::to_string(TruncatedInt(item->valuedouble));
          text += ',';
        } else if (cJSON_IsObject(item)) {
          ConvertJsonToXml(item, element);
        }
      }
      if (!text.empty()) text.pop_back();
      mxmlNewText(element, 0, text.c_str());
    }
  }
}

std::string StatusXmlText(const cJSON* status) {
  // The wrap margin is kept per thread by the library; 0 writes no line breaks inside the text.
  mxmlSetWrapMargin(0);
  mxml_node_t* xml = mxmlNewXML("1.0");
  mxml_node_t* root = mxmlNewElement(xml, "MATRIX");
  ConvertJsonToXml(status, root);
  char* text = mxmlSaveAllocString(xml, MXML_NO_CALLBACK);
  std::string saved = text ? text : "";
  free(text);
  mxmlDelete(xml);
  // A raw carriage return would reach a reader as a line feed (XML normalises line ends): the
  // library writes none of its own, so every one in the document is text, written as a reference.
  std::string out;
  out.reserve(saved.size());
  for (char c : saved) {
    if (c == '\r') {
      out += "&#13;";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace web
