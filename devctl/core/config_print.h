// The configuration document of a record, built with cJSON and printed formatted. Number arrays
// are printed ahead (json_numbers.h) and handed to cJSON as raw text. The printed text of every
// section of the document, and of every EQ slot within "peq", is kept with the content it was
// printed from, and printed again only when that content changed: the save after one command
// rebuilds one section.
#pragma once

#include <string>

#include "devctl/core/app_config.h"

// The whole document of record, members in their fixed order. Takes no lock: the record must not
// change meanwhile (the savers print a copy taken under the configuration lock). False, with text
// untouched, when the document could not be made (memory exhausted).
bool PrintConfigDocument(const app_config_s& record, std::string* text);
