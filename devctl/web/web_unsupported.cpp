#include "devctl/web/web_handlers.h"
#include "devctl/web/webapp.h"

bool WebUnsupportedCommand(const char* body, std::string& reply) {
  return CWebapp::ReplyUnsupported(body, reply);
}
