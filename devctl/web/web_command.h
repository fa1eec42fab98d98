// One web command: the request's "comhead" value selects it, and its handler answers it inside the
// frame of CApplication::HandleInstr.
#pragma once

#include <cjson/cJSON.h>

#include <functional>
#include <string>

// What a handler leaves for the frame. The frame holds the configuration lock around the handler
// only; afterwards it sends the notice, saves and answers.
struct WebAnswer {
  std::string reply;         // the reply document (getters and refusals print theirs here)
  std::string notice;        // "[SUCCESS]" lines for the control ports (no prompt); append to it
  bool save = false;         // the configuration changed: save after the lock is released
  bool set_result = false;   // the frame answers {"comhead": comhead, "result": 1}, or "result"
                             // 0 with "error": "settings not saved" when the save failed
  std::string comhead;
  std::string error;         // with set_result: "result" 0 with this "error", nothing was done
  // Slow DSP work of the change (a fade) that must not hold the lock: the frame runs it after the
  // save and the notice, before the reply.
  std::function<void()> after_lock;
};

// A handler gets the request object as the frame parsed it (never null).
using WebHandler = bool (*)(const cJSON* request, WebAnswer& answer);

struct web_command_s {
  std::string name;
  WebHandler handler = nullptr;  // null: not in this build, answered as an unknown command
  std::string help;
};
