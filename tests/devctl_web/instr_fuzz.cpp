// Fuzz target: request bodies through the JSON command dispatch and every handler of the web
// command table, then the whole request loop's routing. A reply must always be produced and, for
// a JSON command, be well-formed JSON.
#include <cjson/cJSON.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "devctl/core/config_defaults.h"
#include "devctl/core/unit_state.h"
#include "devctl/web/application.h"
#include "devctl/web/web_commands.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/storage.h"

namespace {

CApplication& App() {
  static CApplication* app = [] {
    static char root[] = "/tmp/devctl_web_fuzz_XXXXXX";
    if (mkdtemp(root) == nullptr) abort();
    atexit([] { std::filesystem::remove_all(root); });
    platform::SetRoot(root);
    static platform::FakeClock clock;
    platform::SetClock(&clock);
    // The configuration the handlers change and save, as on a unit; the saves are flushed file by
    // file but never sync the host's disks.
    platform::SetHostSync(false);
    platform::MakeParentDirs(platform::Path("/oem/app.json"));
    ResetAppConfig("/oem/app.json", &g_unit.config, "02:00:00:00:00:01");
    g_unit.config_path = "/oem/app.json";
    auto* a = new CApplication("appthread");
    a->FillCommandMap(g_web_commands, g_web_command_count);
    return a;
  }();
  return *app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string body(reinterpret_cast<const char*>(data), size);
  std::string reply;
  App().HandleInstr(body.c_str(), reply);
  cJSON* parsed = cJSON_Parse(reply.c_str());
  if (parsed == nullptr && !reply.empty()) {
    fprintf(stderr, "reply is not JSON: %s\n", reply.c_str());
    abort();
  }
  cJSON_Delete(parsed);

  // The same bytes as query string and request path.
  web::WebRequest request;
  request.query_string = body;
  request.request_uri = body;
  request.body = "{}";
  request.length = 2;
  App().ServeRequest(request, reply);
  return 0;
}
