// The configuration document of a record, built with cJSON and printed formatted. The number
// arrays and the EQ objects are printed ahead (json_numbers.h) and handed to cJSON as raw text;
// the text of each EQ slot is kept and printed again only when the slot's content changed.
#pragma once

#include <string>

#include "devctl/core/app_config.h"

// The whole document of record, members in their fixed order. Takes no lock: the record must not
// change meanwhile (the savers print a copy taken under the configuration lock). False, with text
// untouched, when the document could not be made (memory exhausted).
bool PrintConfigDocument(const app_config_s& record, std::string* text);
