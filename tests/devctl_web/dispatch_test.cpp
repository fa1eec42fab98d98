// JSON command dispatch: the command map, "help", unsupported commands and malformed bodies.
#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include "devctl/web/application.h"
#include "devctl/web/json_members.h"
#include "devctl/web/web_commands.h"
#include "devctl/web/web_handlers.h"

namespace {

struct Parsed {
  cJSON* json;
  explicit Parsed(const std::string& text) : json(cJSON_Parse(text.c_str())) {}
  ~Parsed() { cJSON_Delete(json); }
  std::string Str(const char* key) const {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(json, key);
    return cJSON_IsString(item) ? item->valuestring : "<not a string>";
  }
  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    for (const cJSON* c = json ? json->child : nullptr; c; c = c->next) keys.push_back(c->string);
    return keys;
  }
};

std::vector<std::string> g_probe_bodies;
bool ProbeHandler(const cJSON* request, WebAnswer& answer) {
  char* printed = cJSON_PrintUnformatted(request);
  g_probe_bodies.push_back(printed);
  cJSON_free(printed);
  answer.reply = "probe reply";
  return true;
}

std::string HelpText(size_t commands) {
  std::string text;
  for (size_t i = 0; i < commands; ++i) text += "help:\r\n";
  return text;
}

TEST(WebCommandTableTest, HoldsTheFiftySixCommandsInTableOrder) {
  const char* names[] = {"login",
                         "logout",
                         "modify password",
                         "modify username",
                         "get user",
                         "get login user",
                         "add login user",
                         "delete login user",
                         "get user limit",
                         "set user limit",
                         "set user enabled",
                         "get control status",
                         "set control status",
                         "get input status",
                         "set input gain",
                         "set input phantom",
                         "set input stereo",
                         "set input mute",
                         "set input name",
                         "set input usb",
                         "get output status",
                         "set output vol",
                         "set output mute",
                         "set output stereo",
                         "set output delay",
                         "set output name",
                         "get peq status",
                         "set peq chn",
                         "set peq",
                         "set peq bypass",
                         "set eq stereo",
                         "set eq preset",
                         "set peq reset",
                         "get preset status",
                         "get preset user",
                         "set preset recall",
                         "set preset name",
                         "delete preset",
                         "set preset save",
                         "reboot",
                         "set factory",
                         "get status",
                         "set network",
                         "set telnetportenable",
                         "set tcpportenable",
                         "get system status",
                         "set key lock",
                         "set power",
                         "set front lcd",
                         "set power led",
                         "set baudrate",
                         "set standby mode",
                         "set_auto_standby_time",
                         "get upgrade status",
                         "set defaults network",
                         "GetUpgradeFW"};
  ASSERT_EQ(sizeof names / sizeof names[0], g_web_command_count);
  for (size_t i = 0; i < g_web_command_count; ++i) {
    EXPECT_EQ(g_web_commands[i].name, names[i]) << i;
    EXPECT_EQ(g_web_commands[i].help, "help:") << i;
  }
  EXPECT_EQ(g_web_commands[14].handler, WebSetInputGain);
  EXPECT_EQ(g_web_commands[17].handler, WebSetInputMute);
}

TEST(WebDispatchTest, MapIsSortedByteWise) {
  CApplication app("appthread");
  app.FillCommandMap(g_web_commands, g_web_command_count);
  ASSERT_EQ(app.command_map().size(), g_web_command_count);
  EXPECT_EQ(app.command_map().begin()->first, "GetUpgradeFW");
  EXPECT_EQ(app.command_map().rbegin()->first, "set_auto_standby_time");
}

TEST(WebDispatchTest, HelpListsEveryCommand) {
  CApplication app("appthread");
  app.FillCommandMap(g_web_commands, g_web_command_count);
  std::string reply;
  EXPECT_TRUE(app.HandleInstr("{\"comhead\":\"help\"}", reply));
  Parsed p(reply);
  EXPECT_EQ(p.Keys(), (std::vector<std::string>{"comhead", "help"}));
  EXPECT_EQ(p.Str("comhead"), "help");
  EXPECT_EQ(p.Str("help"), HelpText(56));
}

TEST(WebDispatchTest, RequestsThatNameNoCommand) {
  web_command_s table[] = {{"probe", ProbeHandler, "help:"}, {"get status", ProbeHandler, "h2"}};
  CApplication app("appthread");
  app.FillCommandMap(table, 2);
  const std::string help = "h2\r\nhelp:\r\n";
  struct Case {
    std::string body;
    bool result;
    bool help_document;
    std::string comhead;  // echoed in the unsupported reply
    const char* why;
  } cases[] = {
      {"not json", false, true, "", "not JSON"},
      {"", false, true, "", "empty body"},
      {"{\"comhead\":5}", false, true, "", "comhead a number"},
      {"{}", false, true, "", "no comhead"},
      {"[\"comhead\"]", false, true, "", "not an object"},
      {"{\"comhead\":\"help\"}", true, true, "", "help"},
      {"{\"comhead\":\"HELP\"}", false, false, "HELP", "command names are case-sensitive"},
      {"{\"comhead\":\"\"}", false, false, "", "empty name"},
      {"{\"comhead\":\"GET STATUS\"}", false, false, "GET STATUS", "value case matters"},
      {"{\"comhead\":\"" + std::string(300, 'a') + "\"}", false, false, "", "too long"},
  };
  for (const auto& c : cases) {
    std::string reply = "stale";
    EXPECT_EQ(app.HandleInstr(c.body.c_str(), reply), c.result) << c.why;
    Parsed p(reply);
    if (c.help_document) {
      EXPECT_EQ(p.Keys(), (std::vector<std::string>{"comhead", "help"})) << c.why;
      EXPECT_EQ(p.Str("comhead"), "help") << c.why;
      EXPECT_EQ(p.Str("help"), help) << c.why;
    } else {
      EXPECT_EQ(p.Keys(), (std::vector<std::string>{"comhead", "error", "result"})) << c.why;
      EXPECT_EQ(p.Str("comhead"), c.comhead) << c.why;
      EXPECT_EQ(p.Str("error"), "unsupported command") << c.why;
      EXPECT_EQ(p.Str("result"), "fail") << c.why;
    }
  }
  EXPECT_TRUE(g_probe_bodies.empty());
}

// The body is the first JSON value: what follows it is ignored, as the JSON library's plain parse
// does.
TEST(WebDispatchTest, TextAfterTheRequestIsIgnored) {
  web_command_s table[] = {{"probe", ProbeHandler, "help:"}};
  CApplication app("appthread");
  app.FillCommandMap(table, 1);
  g_probe_bodies.clear();
  for (const char* body : {"{\"comhead\":\"probe\"} trailing", "{\"comhead\":\"probe\"}}}",
                           "{\"comhead\":\"probe\"}\n{}"}) {
    std::string reply;
    EXPECT_TRUE(app.HandleInstr(body, reply)) << body;
  }
  EXPECT_EQ(g_probe_bodies.size(), 3u);
  g_probe_bodies.clear();
}

// A cross-site form can post any "comhead"; echoed back in a text/html reply it must never read
// as markup. Every reply printer writes "<", ">" and "&" as escapes of the same JSON value.
TEST(WebDispatchTest, RepliesNeverCarryMarkupCharacters) {
  CApplication app("appthread");
  app.FillCommandMap(g_web_commands, g_web_command_count);
  const std::string name = "<script>alert(1)&amp;</script>";
  std::string reply;
  app.HandleInstr(("{\"comhead\":\"" + name + "\"}").c_str(), reply);
  EXPECT_EQ(reply.find_first_of("<>&"), std::string::npos) << reply;
  EXPECT_NE(reply.find("\\u003cscript\\u003ealert(1)\\u0026amp;\\u003c/script\\u003e"),
            std::string::npos)
      << reply;
  Parsed p(reply);
  EXPECT_EQ(p.Str("comhead"), name);  // the same value for a JSON reader

  std::string result;
  web::ReplyResult(name, 1, result);
  EXPECT_EQ(result.find_first_of("<>&"), std::string::npos) << result;
  EXPECT_EQ(Parsed(result).Str("comhead"), name);
}

TEST(WebDispatchTest, KnownCommandRunsItsHandler) {
  web_command_s table[] = {{"probe", ProbeHandler, "help:"}};
  CApplication app("appthread");
  app.FillCommandMap(table, 1);
  g_probe_bodies.clear();
  std::string reply;
  // Member names match regardless of case; the value must match exactly.
  EXPECT_TRUE(app.HandleInstr("{\"COMHEAD\":\"probe\",\"x\":1}", reply));
  EXPECT_EQ(reply, "probe reply");
  ASSERT_EQ(g_probe_bodies.size(), 1u);
  EXPECT_EQ(g_probe_bodies[0], "{\"COMHEAD\":\"probe\",\"x\":1}");  // the parsed request
}

TEST(WebDispatchTest, CommandsNotInThisBuildAnswerUnsupported) {
  CApplication app("appthread");
  app.FillCommandMap(g_web_commands, g_web_command_count);
  for (const auto& entry : app.command_map()) {
    if (entry.second.handler != nullptr) continue;
    std::string reply;
    std::string body = "{\"comhead\":\"" + entry.first + "\"}";
    app.HandleInstr(body.c_str(), reply);
    Parsed p(reply);
    EXPECT_EQ(p.Str("comhead"), entry.first);
    EXPECT_EQ(p.Str("error"), "unsupported command");
    EXPECT_EQ(p.Str("result"), "fail");
  }
}

}  // namespace
