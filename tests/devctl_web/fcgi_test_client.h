// A small FastCGI client for tests: sends one request to the web loop the way a web server does
// and collects the raw standard output of the reply (headers and body).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace webtest {

using Params = std::vector<std::pair<std::string, std::string>>;

struct FcgiReply {
  bool ok = false;                     // the request ended with an end-request record
  std::string output;                  // everything written to standard output
  std::vector<size_t> stdout_records;  // content length of each stdout record, in order
};

// Sends params, then the stdin bytes (followed by the end-of-stdin record) to 127.0.0.1:port.
// A reply that does not come within 60 s ends the wait (ok stays false).
FcgiReply FcgiRequest(int port, const Params& params, const std::string& stdin_bytes);

// A connection to 127.0.0.1:port (-1 on failure), and the same request over it (closed after).
int ConnectTo(int port);
FcgiReply FcgiRequestOn(int fd, const Params& params, const std::string& stdin_bytes);

// A whole request of request id 1 as records: begin-request (with the keep-connection flag when
// keep_conn), parameters, standard input and its end.
std::string RequestRecords(const Params& params, const std::string& stdin_bytes,
                           bool keep_conn = false);

// Reads one reply up to its end-request record; the connection stays open.
FcgiReply ReadReply(int fd);

// The start of a request that never ends: the parameters and part of the body, no end of stdin.
bool SendRequestStart(int fd, const Params& params, const std::string& stdin_part);

// A listen socket on 127.0.0.1 with a free port.
int OpenListenSocket(int* port);

// A local (Unix-domain) listen socket, as a web server spawning devctl hands it one, at a path in
// a fresh temporary folder; and a connection to it (-1 on failure) with the same 60 s receive
// timeout as ConnectTo.
int OpenLocalListenSocket(std::string* path);
int ConnectToLocal(const std::string& path);

// The records of a request up to the end of its parameters.
std::string RequestStart(const Params& params, bool keep_conn = false);

// A standard-input record of request 1.
std::string StdinRecord(const std::string& content);

// Sends every byte of data; false when the connection failed first.
bool SendAll(int fd, const std::string& data);

}  // namespace webtest
