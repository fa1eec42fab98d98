// Answers to the records a web server addresses to the application rather than to a request
// (request id 0).
#pragma once

#include <string>

#include "devctl/web/fcgi_request_reader.h"

namespace web {

// The record that answers record: for a get-values query the values asked for among
// FCGI_MAX_CONNS (max_conns), FCGI_MAX_REQS (max_conns: one request per connection at a time) and
// FCGI_MPXS_CONNS (0: no multiplexing); for any other type an unknown-type record. A query whose
// pairs do not parse gets an empty result.
std::string ManagementReply(const FcgiManagementRecord& record, int max_conns);

}  // namespace web
