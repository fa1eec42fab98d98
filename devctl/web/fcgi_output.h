// The standard output of a FastCGI reply, sent in one go. libfcgi's output stream sends its 8 KB
// buffer as one record and one write at a time (a 55 KB status document took seven writes, each
// waking the web server); this sends the whole reply as FastCGI stdout records of up to 64 KB in
// one sendmsg. The request's end (the empty stdout record and the end-request record) is still
// written by FCGX_Finish_r, which finds libfcgi's stream empty.
#pragma once

#include <string>

namespace web {

// Largest content of one record: FCGI_MAX_LENGTH rounded down to the 8-byte alignment libfcgi
// pads its records to.
constexpr size_t kMaxStdoutRecord = 65528;

// Sends head then body on the connection fd as the stdout of request request_id: records of at
// most kMaxStdoutRecord bytes, each padded to a multiple of 8 bytes. False when the connection
// failed before everything was sent.
bool SendFcgiStdout(int fd, int request_id, const std::string& head, const std::string& body);

}  // namespace web
