// How the web request loop chooses a handler: from QUERY_STRING (the script name the web server
// rewrote into it) and REQUEST_URI (the status documents, recognised by the path the client sent).
#pragma once

#include <string>

namespace web {

enum class WebRoute {
  kInstr,           // "instr.cgi": a JSON command
  kGetInfo,         // "getinfo.cgi": interface information
  kUpdateNetaudio,  // "update_netaudio.cgi" with "cmd=hex"
  kUpdateSoc,       // "update_soc.cgi" with "cmd=hex"
  kGetJson,         // "/cgi-bin/getjson.cgi?json=mxsta"
  kGetXml,          // "/cgi-bin/getxml.cgi?xml=mxsta"
  kUpdateOta,       // "update_ota.cgi" with "cmd=hex"
  kNoHandler,       // an upload script without "cmd=hex": nothing runs, an empty reply
  kUnknown,         // anything else: the reply "unknow"
};

// How the reply is framed on the wire.
enum class ReplyEnding {
  kCommon,  // CORS line, "Content-type: text/html", then a 10 ms pause
  kJson,    // "Content-type:application/json", no CORS line, no pause
  kXml,     // "Content-type: text/xml", no CORS line, no pause
};

// The ordered substring tests; the first that matches decides. An unset variable is "".
WebRoute RouteRequest(const std::string& query_string, const std::string& request_uri);

ReplyEnding EndingOf(WebRoute route);

bool IsUploadRoute(WebRoute route);

// The query tail of an upload: the text after the first "&" up to the first white space, at most
// kMaxTailLength characters. Empty when there is no "&" or nothing follows it.
constexpr size_t kMaxTailLength = 55;
std::string ParseQueryTail(const std::string& query_string);

// CONTENT_LENGTH as a decimal number (leading white space and a sign allowed, stops at the first
// non-digit, no digits = 0). Values beyond the 32-bit range saturate.
long ParseContentLength(const char* text);

// Header lines of each ending, as written before the reply bytes.
const char* HeaderOf(ReplyEnding ending);

}  // namespace web
