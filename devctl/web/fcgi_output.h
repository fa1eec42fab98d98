// What the web loop writes on a FastCGI connection. A reply goes out in one go: the standard
// output as records of up to 64 KB, its empty end record and the end-request record, in one
// sendmsg, so the web server wakes once for a whole status document.
#pragma once

#include <chrono>
#include <string>

namespace web {

using SendDeadline = std::chrono::steady_clock::time_point;

// Largest content of one stdout record: the largest record content rounded down to 8 bytes, so
// that padded records keep the 8-byte alignment.
constexpr size_t kMaxStdoutRecord = 65528;

// Sends head then body on the connection fd as the standard output of request request_id (records
// of at most kMaxStdoutRecord bytes, each padded to a multiple of 8 bytes), then ends the output
// and the request (complete, application status 0). False when the connection failed, or the
// deadline passed, before everything was sent: a client that does not read its reply holds the
// loop until the deadline at most.
bool SendFcgiReply(int fd, int request_id, const std::string& head, const std::string& body,
                   SendDeadline deadline);

// Sends bytes (whole records) on the connection. False when the connection failed or the deadline
// passed first.
bool SendFcgiRecords(int fd, const std::string& records, SendDeadline deadline);

}  // namespace web
