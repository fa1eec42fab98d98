// devctl's web application: the JSON command map and the handlers of every kind of request.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "devctl/web/upload_slot.h"
#include "devctl/web/web_command.h"
#include "devctl/web/webapp.h"

class CApplication : public CWebapp {
 public:
  explicit CApplication(const std::string& name);
  ~CApplication() override;

  // Copies every entry of a command table into the map under its name, in table order; a later
  // entry of the same name replaces an earlier one. Called before Start.
  void FillCommandMap(const web_command_s* table, size_t count);
  const std::map<std::string, web_command_s>& command_map() const { return command_map_; }

  // Parses the body, looks "comhead" up in the command map and runs that command's handler in
  // RunCommandFrame.
  bool HandleInstr(const char* body, std::string& reply) override;
  // The interface information and the status documents; the body is not read.
  bool HandleGetInfo(const char* body, std::string& reply) override;
  bool HandleGetJson(const char* tail, const char* body, int length, std::string& reply) override;
  bool HandleGetXml(const char* tail, const char* body, int length, std::string& reply) override;
  // One chunk of each kind of firmware upload (devctl/web/uploads.h).
  bool HandleUpdateNetaudio(const char* tail, const char* body, int length,
                            std::string& reply) override;
  bool HandleUpdateSoc(const char* tail, const char* body, int length, std::string& reply) override;
  bool HandleUpdateOta(const char* tail, const char* body, int length, std::string& reply) override;

  // {"comhead": "help", "help": <each command's help text and "\r\n", in map order>}.
  void ReplyHelp(std::string& reply) const;

 protected:
  void HandleBrokenUpload(web::WebRoute route, std::string& reply) override;

  upload_slots_s uploads_;

 private:
  std::map<std::string, web_command_s> command_map_;
};

// The frame of every web command: RunCommandLocked under the configuration lock, where the change
// takes its place in the order of changes (commit_order.h); after the lock is released the save
// when the row and the change ask for it, then, in that order, the notice to the control ports
// (with the failed-save line when the save failed), the change's slow DSP work, and the reply (the
// handler's document, or the set result).
void RunCommandFrame(const web_command_s& command, const cJSON* request, std::string& reply);

// The frame's part under the configuration lock, as the command's row says: the wake-up before
// the handler, the handler, the wake-up between a good request and its change, the change, the
// wake-up after it; then answer.save and answer.set_result from the row and the change's outcome.
// A wake that turns the unit on is saved whatever the command did. Returns whether the request
// was accepted (neither the handler nor the change refused it).
bool RunCommandLocked(const web_command_s& command, const cJSON* request, WebAnswer& answer);
