#include "devctl/web/request_route.h"

#include <cctype>
#include <climits>

namespace web {
namespace {

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

WebRoute RouteRequest(const std::string& qs, const std::string& uri) {
  if (Has(qs, "instr.cgi")) return WebRoute::kInstr;
  if (Has(qs, "getinfo.cgi")) return WebRoute::kGetInfo;
  if (Has(qs, "update_netaudio.cgi"))
    return Has(qs, "cmd=hex") ? WebRoute::kUpdateNetaudio : WebRoute::kNoHandler;
  if (Has(qs, "update_soc.cgi"))
    return Has(qs, "cmd=hex") ? WebRoute::kUpdateSoc : WebRoute::kNoHandler;
  if (Has(uri, "/cgi-bin/getjson.cgi"))
    return Has(uri, "/cgi-bin/getjson.cgi?json=mxsta") ? WebRoute::kGetJson : WebRoute::kUnknown;
  if (Has(uri, "/cgi-bin/getxml.cgi"))
    return Has(uri, "/cgi-bin/getxml.cgi?xml=mxsta") ? WebRoute::kGetXml : WebRoute::kUnknown;
  if (Has(qs, "update_ota.cgi"))
    return Has(qs, "cmd=hex") ? WebRoute::kUpdateOta : WebRoute::kNoHandler;
  return WebRoute::kUnknown;
}

ReplyEnding EndingOf(WebRoute route) {
  switch (route) {
    case WebRoute::kGetJson:
      return ReplyEnding::kJson;
    case WebRoute::kGetXml:
      return ReplyEnding::kXml;
    default:
      return ReplyEnding::kCommon;
  }
}

bool IsUploadRoute(WebRoute route) {
  return route == WebRoute::kUpdateNetaudio || route == WebRoute::kUpdateSoc ||
         route == WebRoute::kUpdateOta;
}

std::string ParseQueryTail(const std::string& qs) {
  // A leading "&" leaves nothing before it to skip, so no tail is taken (as a "%*[^&]&%s" scan).
  size_t amp = qs.find('&');
  if (amp == std::string::npos || amp == 0) return "";
  size_t pos = amp + 1;
  while (pos < qs.size() && std::isspace(static_cast<unsigned char>(qs[pos]))) ++pos;
  size_t end = pos;
  while (end < qs.size() && end - pos < kMaxTailLength &&
         !std::isspace(static_cast<unsigned char>(qs[end])))
    ++end;
  return qs.substr(pos, end - pos);
}

long ParseContentLength(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  long long value = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    value = value * 10 + (*p++ - '0');
    if (value > INT_MAX) {
      value = static_cast<long long>(INT_MAX) + 1;
      break;
    }
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<long>(value);
}

const char* HeaderOf(ReplyEnding ending) {
  switch (ending) {
    case ReplyEnding::kJson:
      return "Content-type:application/json\r\n\r\n";
    case ReplyEnding::kXml:
      return "Content-type: text/xml\r\n\r\n";
    case ReplyEnding::kCommon:
      break;
  }
  return "Access-Control-Allow-Origin: *\r\nContent-type: text/html\r\n\r\n";
}

}  // namespace web
