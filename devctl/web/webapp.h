// The web application base: owns the "appthread" request thread and declares one handler per kind
// of request; every default answers "unsupported command".
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "devctl/web/fcgi_server.h"
#include "devctl/web/request_route.h"

class CWebapp {
 public:
  explicit CWebapp(const std::string& name);
  virtual ~CWebapp();
  CWebapp(const CWebapp&) = delete;
  CWebapp& operator=(const CWebapp&) = delete;

  // Starts the request thread on the listen socket of standard input; names it with the first 15
  // characters of the name. Returns 0.
  int Start();
  // Clears running, waits 1.1 s and lets the thread go. The loop itself does not look at running.
  void Stop();
  // The request loop on standard input; returns when accepting fails.
  void Run();
  // The request loop on another listen socket.
  int Serve(int listen_fd);

  // One request, after its body was read: routes it, calls the handler and leaves the reply.
  web::ReplyEnding ServeRequest(const web::WebRequest& request, std::string& reply);

  virtual bool HandleInstr(const char* body, std::string& reply);
  virtual bool HandleGetInfo(const char* body, std::string& reply);
  virtual bool HandleUpdateNetaudio(const char* tail, const char* body, int length,
                                    std::string& reply);
  virtual bool HandleUpdateSoc(const char* tail, const char* body, int length, std::string& reply);
  virtual bool HandleGetJson(const char* tail, const char* body, int length, std::string& reply);
  virtual bool HandleGetXml(const char* tail, const char* body, int length, std::string& reply);
  virtual bool HandleUpdateOta(const char* tail, const char* body, int length, std::string& reply);

  // {"comhead": <the body's "comhead" or "">, "error": "unsupported command", "result": "fail"};
  // returns false.
  static bool ReplyUnsupported(const char* body, std::string& reply);

  bool running() const { return running_; }
  const std::string& name() const { return name_; }

 protected:
  // An upload chunk whose body was cut short or exceeded the limit; no upload handler runs.
  virtual void HandleBrokenUpload(web::WebRoute route, std::string& reply);

 private:
  bool RejectRequest(const char* body, std::string& reply);
  bool RejectCgiRequest(const char* tail, const char* body, int length, std::string& reply);

  std::atomic<bool> running_{false};
  std::thread* thread_ = nullptr;
  std::string name_;
};
