#include "devctl/web/fcgi_management.h"

#include "devctl/web/fcgi_records.h"

namespace web {
namespace {

// A name-value pair whose name and value are shorter than 128 bytes.
void AppendShortPair(std::string& out, const std::string& name, const std::string& value) {
  out += static_cast<char>(name.size());
  out += static_cast<char>(value.size());
  out += name + value;
}

// Far beyond the three values; keeps the answer to a query of repeated names in one record.
constexpr size_t kMaxResult = 1024;

}  // namespace

std::string ManagementReply(const FcgiManagementRecord& record, int max_conns) {
  std::string out;
  if (record.type != fcgi::kGetValues) {
    std::string body(8, '\0');
    body[0] = static_cast<char>(record.type);
    fcgi::AppendRecord(out, fcgi::kUnknownType, 0, body);
    return out;
  }
  const std::string conns = std::to_string(max_conns);
  FcgiParams asked;
  std::string values;
  if (ParseParams(record.content, asked)) {
    for (const auto& pair : asked) {
      if (values.size() > kMaxResult) break;  // a query that repeats its names
      if (pair.first == "FCGI_MAX_CONNS" || pair.first == "FCGI_MAX_REQS") {
        AppendShortPair(values, pair.first, conns);
      } else if (pair.first == "FCGI_MPXS_CONNS") {
        AppendShortPair(values, pair.first, "0");
      }
    }
  }
  fcgi::AppendRecord(out, fcgi::kGetValuesResult, 0, values);
  return out;
}

}  // namespace web
