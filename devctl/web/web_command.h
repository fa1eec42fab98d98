// One entry of the web command table: the request's "comhead" value selects it.
#pragma once

#include <string>

struct web_command_s {
  std::string name;
  bool (*handler)(const char* json_body, std::string& reply) = nullptr;
  std::string help;
};
