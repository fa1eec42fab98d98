// Which command a prepared line names: the dispatch rows tried in their order, first match wins.
#pragma once

#include "devctl/text/text_rows.h"

// The row that answers line, or nullptr when no keyword test matches.
const TextRow* FindTextRow(const PreparedLine& line);
