// The web status getters: reports of the live configuration and the unit's identity. They change
// nothing, never wake the unit and send nothing to the control ports.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "devctl/core/json_util.h"
#include "devctl/core/net_status.h"
#include "devctl/core/temperature.h"
#include "devctl/core/unit_state.h"
#include "devctl/core/uptime.h"
#include "devctl/web/json_members.h"
#include "devctl/web/web_network_handlers.h"

namespace {

constexpr char kCapabilityFile[] =
    "/usr/local/netaudio/tarvo_package/tarvo_data/capability/tarvo.json";
constexpr size_t kMaxDevicePrefix = 127;
constexpr char kDefaultHostName[] = "VX7206";

void Add(cJSON* o, const char* key, cJSON* item) { cJSON_AddItemToObject(o, key, item); }
void AddNumber(cJSON* o, const char* key, double v) { Add(o, key, cJSON_CreateNumber(v)); }
void AddString(cJSON* o, const char* key, const std::string& v) {
  Add(o, key, cJSON_CreateString(v.c_str()));
}
template <size_t N>
void AddInts(cJSON* o, const char* key, const int (&v)[N]) {
  Add(o, key, cJSON_CreateIntArray(v, static_cast<int>(N)));
}
template <size_t N>
void AddNames(cJSON* o, const char* key, const char (&names)[N][kNameSize]) {
  const char* list[N];
  for (size_t i = 0; i < N; ++i) list[i] = names[i];
  Add(o, key, cJSON_CreateStringArray(list, static_cast<int>(N)));
}

// The request's "comhead", empty when absent or not a string.
std::string Comhead(const cJSON* request) {
  std::string comhead;
  web::ReadJsonString(request, "comhead", &comhead);
  return comhead;
}

bool Reply(web::JsonPtr report, WebAnswer& answer) {
  web::PrintJsonReply(report.get(), answer.reply);
  return true;
}

// A selected EQ channel as stored, clamped to the 18 slots (an edited file may hold anything).
int EqSlot(int stored) { return std::clamp(stored, 0, kChannelSlots - 1); }

cJSON* Bands(const peq_data_s& eq) {
  cJSON* bands = cJSON_CreateArray();
  for (int b = 0; b < kEqBands; ++b) {
    cJSON* band = cJSON_CreateObject();
    AddNumber(band, "id", b);
    AddNumber(band, "frequency", eq.frequency[b]);
    AddNumber(band, "gain", eq.gain[b]);
    AddString(band, "type", std::string(eq.type_name[b], strnlen(eq.type_name[b], kNameSize)));
    AddNumber(band, "quality", eq.quality[b]);
    AddNumber(band, "bypass", eq.bypass[b]);
    cJSON_AddItemToArray(bands, band);
  }
  return bands;
}

}  // namespace

void ReadTarvoDevicePrefix(std::string* out) {
  web::JsonPtr file(ReadJsonFile(kCapabilityFile));
  const cJSON* product = file ? cJSON_GetObjectItem(file.get(), "product") : nullptr;
  const cJSON* prefix =
      cJSON_IsObject(product) ? cJSON_GetObjectItem(product, "devicePrefix") : nullptr;
  if (!cJSON_IsString(prefix) || prefix->valuestring == nullptr) return;
  *out = std::string(prefix->valuestring).substr(0, kMaxDevicePrefix);
}

std::string DeviceName(const std::string& prefix, const std::string& mac) {
  unsigned b[6] = {0, 0, 0, 0, 0, 0};
  std::sscanf(mac.c_str(), "%x:%x:%x:%x:%x:%x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]);
  char tail[16];
  std::snprintf(tail, sizeof tail, "-%02x%02x%02x", b[3] & 0xff, b[4] & 0xff, b[5] & 0xff);
  return prefix + tail;
}

bool WebGetControlStatus(const cJSON* request, WebAnswer& answer) {
  app_config_s& c = g_unit.config;
  web::JsonPtr r(cJSON_CreateObject());
  AddInts(r.get(), "status", c.control);
  AddInts(r.get(), "preset_enable", c.preset_enable);
  AddNumber(r.get(), "power", c.power);
  AddNumber(r.get(), "preset", c.preset_recall);
  AddNames(r.get(), "input_name", c.input_name);
  AddNames(r.get(), "output_name", c.output_name);
  AddNames(r.get(), "preset_name", c.preset_name);
  int in[kStereoPairs], out[kStereoPairs];
  for (int p = 0; p < kStereoPairs; ++p) {
    in[p] = c.InputLinkRef(p);
    out[p] = c.OutputLinkRef(p);
  }
  AddInts(r.get(), "input_stereo", in);
  AddInts(r.get(), "output_stereo", out);
  AddString(r.get(), "comhead", Comhead(request));
  return Reply(std::move(r), answer);
}

bool WebGetInputStatus(const cJSON* request, WebAnswer& answer) {
  const app_config_s& c = g_unit.config;
  web::JsonPtr r(cJSON_CreateObject());
  cJSON* o = r.get();
  AddNumber(o, "power", c.power);
  AddInts(o, "analogue_input_gain", c.analogue_input_gain);
  AddInts(o, "analogue_input_stereo", c.analogue_input_stereo);
  AddInts(o, "analogue_input_phantom", c.analogue_input_phantom);
  AddInts(o, "analogue_input_mute", c.analogue_input_mute);
  AddInts(o, "tarvo_input_gain", c.tarvo_input_gain);
  AddInts(o, "tarvo_input_stereo", c.tarvo_input_stereo);
  AddInts(o, "tarvo_input_mute", c.tarvo_input_mute);
  AddInts(o, "usb_input_gain", c.usb_input_gain);
  AddInts(o, "usb_input_mute", c.usb_input_mute);
  AddNumber(o, "usb_input_stereo", c.usb_input_stereo);
  AddInts(o, "group_input_gain", c.group_input_gain);
  AddInts(o, "group_input_stereo1", c.group_input_stereo1);
  AddInts(o, "group_input_stereo2", c.group_input_stereo2);
  AddInts(o, "group_input_stereo3", c.group_input_stereo3);
  AddInts(o, "group_input_stereo4", c.group_input_stereo4);
  AddInts(o, "group_input_mute", c.group_input_mute);
  AddNames(o, "input_name", c.input_name);
  AddNumber(o, "usb", c.usb_status);
  AddString(o, "comhead", Comhead(request));
  AddNumber(o, "result", 1);
  return Reply(std::move(r), answer);
}

bool WebGetOutputStatus(const cJSON* request, WebAnswer& answer) {
  const app_config_s& c = g_unit.config;
  web::JsonPtr r(cJSON_CreateObject());
  cJSON* o = r.get();
  AddNumber(o, "power", c.power);
  AddInts(o, "analogue_output_vol", c.analogue_output_vol);
  AddInts(o, "analogue_output_stereo", c.analogue_output_stereo);
  AddInts(o, "analogue_output_mute", c.analogue_output_mute);
  AddInts(o, "analogue_output_delay", c.analogue_output_delay);
  AddInts(o, "tarvo_output_vol", c.tarvo_output_vol);
  AddInts(o, "tarvo_output_stereo", c.tarvo_output_stereo);
  AddInts(o, "tarvo_output_mute", c.tarvo_output_mute);
  AddInts(o, "tarvo_output_delay", c.tarvo_output_delay);
  AddInts(o, "usb_output_vol", c.usb_output_vol);
  AddNumber(o, "usb_output_stereo", c.usb_output_stereo);
  AddInts(o, "usb_output_mute", c.usb_output_mute);
  AddInts(o, "usb_output_delay", c.usb_output_delay);
  AddInts(o, "group_output_vol", c.group_output_vol);
  AddInts(o, "group_output_mute", c.group_output_mute);
  AddInts(o, "group_output_stereo1", c.group_output_stereo1);
  AddInts(o, "group_output_stereo2", c.group_output_stereo2);
  AddInts(o, "group_output_stereo3", c.group_output_stereo3);
  AddInts(o, "group_output_stereo4", c.group_output_stereo4);
  AddNames(o, "output_name", c.output_name);
  AddString(o, "comhead", Comhead(request));
  return Reply(std::move(r), answer);
}

bool WebGetPeqStatus(const cJSON* request, WebAnswer& answer) {
  const app_config_s& c = g_unit.config;
  const int ci = EqSlot(c.input_geq_chn), co = EqSlot(c.output_geq_chn);
  web::JsonPtr r(cJSON_CreateObject());
  cJSON* o = r.get();
  AddNumber(o, "power", c.power);
  AddNumber(o, "input_chn", ci);
  AddNumber(o, "input_preset", c.input_preset[ci]);
  AddNumber(o, "input_stereo", c.input_stereo[ci]);
  AddNumber(o, "output_chn", co);
  AddNumber(o, "output_preset", c.output_preset[co]);
  AddNumber(o, "output_stereo", c.output_stereo[co]);
  AddNames(o, "input_name", c.input_name);
  AddNames(o, "output_name", c.output_name);
  Add(o, "input_flat", Bands(c.input_flat_date[ci]));
  Add(o, "input_custom1", Bands(c.input_custom1_date[ci]));
  Add(o, "input_custom2", Bands(c.input_custom2_date[ci]));
  Add(o, "output_flat", Bands(c.output_flat_date[co]));
  Add(o, "output_custom1", Bands(c.output_custom1_date[co]));
  Add(o, "output_custom2", Bands(c.output_custom2_date[co]));
  AddString(o, "comhead", Comhead(request));
  return Reply(std::move(r), answer);
}

bool WebGetPresetStatus(const cJSON* request, WebAnswer& answer) {
  const app_config_s& c = g_unit.config;
  web::JsonPtr r(cJSON_CreateObject());
  AddInts(r.get(), "enable", c.preset_enable);
  AddNames(r.get(), "name", c.preset_name);
  AddNumber(r.get(), "power", c.power);
  AddString(r.get(), "comhead", Comhead(request));
  return Reply(std::move(r), answer);
}

bool WebGetSystemStatus(const cJSON* request, WebAnswer& answer) {
  const app_config_s& c = g_unit.config;
  web::JsonPtr r(cJSON_CreateObject());
  cJSON* o = r.get();
  AddNumber(o, "powerled", c.powerled);
  AddNumber(o, "key_lock", c.key_lock);
  AddNumber(o, "front_lcd", c.front_lcd);
  AddNumber(o, "baudrate", c.baudrate);
  AddNumber(o, "power", c.power);
  AddNumber(o, "standby", c.standby_mode);
  AddNumber(o, "auto_standby_time", c.standbytime);
  AddString(o, "macaddress", g_unit.identity.mac);
  AddString(o, "comhead", Comhead(request));
  return Reply(std::move(r), answer);
}

bool WebGetStatus(const cJSON* request, WebAnswer& answer) {
  const std::string uptime = FormatUptime(UptimeSeconds());
  std::string prefix;
  ReadTarvoDevicePrefix(&prefix);
  const app_config_s& c = g_unit.config;
  web::JsonPtr r(cJSON_CreateObject());
  cJSON* o = r.get();
  AddString(o, "comhead", Comhead(request));
  AddString(o, "devicename", DeviceName(prefix, g_unit.identity.mac));
  AddString(o, "model", c.model);
  AddString(o, "version", g_unit.identity.main_version);
  AddString(o, "mcu_version", g_unit.identity.mcu_version);
  AddString(o, "netaudiosdk", g_unit.identity.netaudio_version);
  AddNumber(o, "dhcp", c.dhcp);
  AddNumber(o, "tcpport", c.tcpport);
  AddNumber(o, "telnetport", c.telnetport);
  AddNumber(o, "telnetportenable", c.telnet_enable);
  AddNumber(o, "tcpportenable", c.tcpportenable);
  RefreshNetworkStatus();
  AddString(o, "ipaddress", g_unit.net_status.ipaddress);
  AddString(o, "subnet", g_unit.net_status.subnet);
  AddString(o, "dnsserver", g_unit.net_status.dnsserver);
  AddString(o, "gateway", g_unit.net_status.gateway);
  AddString(o, "macaddress", g_unit.identity.mac);
  AddString(o, "hostname", c.hostname);
  AddNumber(o, "auto_standby_time", c.standbytime);
  AddString(o, "def_hostname", kDefaultHostName);
  AddString(o, "type", c.type);
  AddNumber(o, "power", c.power);
  AddNumber(o, "temp", ReadTemperature());
  AddString(o, "uptime", uptime);
  return Reply(std::move(r), answer);
}

namespace {

const WebCommandRow kRows[] = {
    {"get control status", WebGetControlStatus, 0}, {"get input status", WebGetInputStatus, 0},
    {"get output status", WebGetOutputStatus, 0},   {"get peq status", WebGetPeqStatus, 0},
    {"get preset status", WebGetPresetStatus, 0},   {"get status", WebGetStatus, 0},
    {"get system status", WebGetSystemStatus, 0},
};

}  // namespace

const WebCommandRows kWebStatusRows{kRows, std::size(kRows)};
