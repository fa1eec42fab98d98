// The STATUS report: one fixed-width text of the whole unit.
#pragma once

#include <string>

#include "devctl/core/app_config.h"
#include "devctl/text/text_rows.h"

// Everything the report shows besides the live record.
struct StatusReportSources {
  std::string main_version, mcu_version, netaudio_version;
  std::string mac;                                          // the "Mac" column
  std::string current_ip, current_subnet, current_gateway;  // in use on the interface
  const app_config_s* stored = nullptr;  // the configuration file: the "(Static)" line
  int temperature = 0;                   // whole degrees Celsius
  long uptime_seconds = 0;
};

// The report for live and sources: lines ending "\r\n", starting with an empty line and followed
// by one more "\r\n". A stored value outside its word table is printed as its number.
std::string FormatStatusReport(const app_config_s& live, const StatusReportSources& sources);

// "%03d.%03d.%03d.%03d" of an address text read as "%d.%d.%d.%d" (numbers not read count as 0).
std::string PaddedAddress(const std::string& text);

// The STATUS handler: gathers the sources (MAC file, version files, the configuration file, the
// interface's addresses, uptime, temperature) and appends the report. Never wakes, never saves.
bool TermPrintStatus(const PreparedLine& line, std::string& reply);

// Rows (text_rows.h): STATUS, dispatch and HELP.
extern const TextRows kStatusRows;
extern const HelpRows kStatusHelp;
