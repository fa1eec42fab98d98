// Routing of web requests by QUERY_STRING and REQUEST_URI, the upload tail and CONTENT_LENGTH.
#include <gtest/gtest.h>

#include "devctl/web/request_route.h"

using web::ReplyEnding;
using web::WebRoute;

TEST(RequestRouteTest, FirstMatchingTestDecides) {
  struct Case {
    const char* qs;
    const char* uri;
    WebRoute route;
    const char* why;
  } cases[] = {
      {"instr.cgi&", "/cgi-bin/instr.cgi", WebRoute::kInstr, "plain command"},
      {"instr.cgi&getinfo.cgi", "", WebRoute::kInstr, "instr is tested before getinfo"},
      {"getinfo.cgi&", "", WebRoute::kGetInfo, "interface information"},
      {"update_netaudio.cgi&cmd=hex(00,00,00,00,00)", "", WebRoute::kUpdateNetaudio, "package"},
      {"update_soc.cgi&cmd=hex(01,02,80,04,05)", "", WebRoute::kUpdateSoc, "system package"},
      {"update_soc.cgi&update_ota.cgi&cmd=hex(0)", "", WebRoute::kUpdateSoc,
       "soc is tested before ota"},
      {"update_ota.cgi&cmd=hex(00,00,00,00,00)", "", WebRoute::kUpdateOta, "OTA image"},
      {"update_ota.cgi&", "", WebRoute::kNoHandler, "upload without cmd=hex runs nothing"},
      {"update_netaudio.cgi", "", WebRoute::kNoHandler, "package without cmd=hex"},
      {"", "/cgi-bin/getjson.cgi?json=mxsta", WebRoute::kGetJson, "JSON status"},
      {"", "/cgi-bin/getjson.cgi?json=mxsta&x=1", WebRoute::kGetJson, "extra parameters pass"},
      {"", "/cgi-bin/getjson.cgi?json=x", WebRoute::kUnknown, "other query: unknow"},
      {"", "/cgi-bin/getjson.cgi", WebRoute::kUnknown, "no query: unknow"},
      {"", "/cgi-bin/getxml.cgi?xml=mxsta", WebRoute::kGetXml, "XML status"},
      {"", "/cgi-bin/getxml.cgi?json=mxsta", WebRoute::kUnknown, "wrong query for XML"},
      {"instr.cgi&", "/cgi-bin/getjson.cgi?json=mxsta", WebRoute::kInstr,
       "QUERY_STRING tests come first"},
      {"", "", WebRoute::kUnknown, "nothing set"},
      {"index.html", "/index.html", WebRoute::kUnknown, "no row matches"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(web::RouteRequest(c.qs, c.uri), c.route) << c.why;
  }
}

TEST(RequestRouteTest, EndingsAndHeaders) {
  EXPECT_EQ(web::EndingOf(WebRoute::kGetJson), ReplyEnding::kJson);
  EXPECT_EQ(web::EndingOf(WebRoute::kGetXml), ReplyEnding::kXml);
  for (WebRoute r : {WebRoute::kInstr, WebRoute::kGetInfo, WebRoute::kUpdateSoc,
                     WebRoute::kNoHandler, WebRoute::kUnknown}) {
    EXPECT_EQ(web::EndingOf(r), ReplyEnding::kCommon);
  }
  EXPECT_STREQ(web::HeaderOf(ReplyEnding::kCommon),
               "Access-Control-Allow-Origin: *\r\nContent-type: text/html\r\n\r\n");
  EXPECT_STREQ(web::HeaderOf(ReplyEnding::kJson), "Content-type:application/json\r\n\r\n");
  EXPECT_STREQ(web::HeaderOf(ReplyEnding::kXml), "Content-type: text/xml\r\n\r\n");
}

TEST(RequestRouteTest, QueryTail) {
  struct Case {
    std::string qs;
    std::string tail;
  } cases[] = {
      {"update_soc.cgi&cmd=hex(01,02,80,04,05)", "cmd=hex(01,02,80,04,05)"},
      {"update_soc.cgi&cmd=hex(01) trailing", "cmd=hex(01)"},
      {"update_soc.cgi&  cmd=hex(01)", "cmd=hex(01)"},
      {"update_soc.cgi&a&b", "a&b"},
      {"update_soc.cgi", ""},
      {"&cmd=hex(01,02,80,04,05)", ""},
      {"update_soc.cgi&", ""},
      {"update_soc.cgi&" + std::string(200, 'x'), std::string(55, 'x')},
  };
  for (const auto& c : cases) EXPECT_EQ(web::ParseQueryTail(c.qs), c.tail) << c.qs;
}

TEST(RequestRouteTest, ContentLength) {
  struct Case {
    const char* text;
    long value;
  } cases[] = {
      {"42", 42},
      {"  17", 17},
      {"+9", 9},
      {"-5", -5},
      {"abc", 0},
      {"", 0},
      {"12abc", 12},
      {"0", 0},
      {"6291456", 6291456},
      {"99999999999999999999", 2147483647},
      {"-99999999999999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(web::ParseContentLength(c.text), c.value) << c.text;
  EXPECT_EQ(web::ParseContentLength(nullptr), 0);
}
