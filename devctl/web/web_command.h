// One web command: the request's "comhead" value selects it, and its handler answers it inside the
// frame of CApplication::HandleInstr. Each family file exports its commands as rows
// {name, handler, frame flags}; web_commands.cpp joins them into the command table.
#pragma once

#include <cjson/cJSON.h>

#include <cstddef>
#include <functional>
#include <string>

struct WebAnswer;

// What a change did, for the frame's save and answer.
enum class WebOutcome {
  kRefused,    // the change refused the request and put its refusal in answer.reply
  kUnchanged,  // accepted, nothing stored changed: nothing to save
  kChanged,    // accepted and changed: saved when the command's row says so
};

// A command's change, which the frame runs after the wake-up the command's row asks for. It
// appends its "[SUCCESS]" lines to answer.notice; a command with a reply of its own prints it into
// answer.reply.
using WebChange = std::function<WebOutcome(WebAnswer&)>;

// What a handler leaves for the frame. The frame holds the configuration lock around the handler
// and its change only; afterwards it sends the notice, saves and answers.
struct WebAnswer {
  std::string reply;   // the reply document (getters and refusals print theirs here)
  std::string notice;  // "[SUCCESS]" lines for the control ports (no prompt); append to it
  std::string comhead;
  std::string error;  // with set_result: "result" 0 with this "error", nothing was done
  WebChange change;   // the change of a request found good; empty for a getter
  // Slow DSP work of the change (a fade) that must not hold the lock: the frame runs it after the
  // save and the notice, before the reply.
  std::function<void()> after_lock;

  // Set by the frame from the command's row and the change's outcome.
  bool save = false;        // save after the lock is released
  bool set_result = false;  // answer {"comhead": comhead, "result": 1}, or "result" 0 with
                            // "error" ("settings not saved" when the save failed; so is a
                            // command with a reply of its own whose save failed)
};

// A handler reads and checks the request as the frame parsed it (never null). It returns false
// when it refused the request (its refusal is in answer.reply; nothing was changed or woken by
// it), true when the request is good: a getter has printed its reply, a command that changes
// something has left that in answer.change. A handler never wakes the unit, saves or answers
// "result" 1 itself: the frame does that from the row.
using WebHandler = bool (*)(const cJSON* request, WebAnswer& answer);

// What the frame does around a command's handler.
enum WebFrameFlag : unsigned {
  kWebWakesFirst = 1u << 0,     // WakeOnCommand before the handler: a refused request wakes too
  kWebWakes = 1u << 1,          // WakeOnCommand between a good request and its change
  kWebWakesAfter = 1u << 2,     // WakeOnCommand after an accepted change; the power-on notice
                                // goes ahead of the change's lines
  kWebSaves = 1u << 3,          // save the live configuration when the change changed it
  kWebAnswersResult = 1u << 4,  // an accepted request is answered {"comhead", "result": 1}
  kWebQuietOnPorts = 1u << 5,   // the control ports hear nothing of it, not even a failed save
                                // (the reply tells that)
};

// The "set" commands that change, save and answer "result" 1: the frame of most of the table.
constexpr unsigned kWebSetCommand = kWebWakes | kWebSaves | kWebAnswersResult;

// One command as its family file exports it.
struct WebCommandRow {
  const char* name;
  WebHandler handler;
  unsigned frame;  // WebFrameFlag bits
};

// The rows of one family file.
struct WebCommandRows {
  const WebCommandRow* rows;
  size_t count;
};

// An entry of the command table and of the command map.
struct web_command_s {
  std::string name;
  WebHandler handler = nullptr;  // null: not in this build, answered as an unknown command
  std::string help;
  unsigned frame = 0;  // WebFrameFlag bits
};
