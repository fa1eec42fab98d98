#include "devctl/text/dispatch_routes.h"

#include "devctl/text/text_commands.h"

const TextRow* FindTextRow(const PreparedLine& line) {
  for (const TextRow& row : TextDispatchTable()) {
    if (row.matches(line)) return &row;
  }
  return nullptr;
}
