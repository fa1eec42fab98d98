#include "devctl/web/fcgi_connection.h"

#include <unistd.h>

namespace web {
namespace {

// What one read takes from the connection at most: a whole record of the largest size.
constexpr size_t kReadChunk = 65536;

}  // namespace

FcgiConnection::FcgiConnection(int fd_in)
    : fd(fd_in), buffer(kReadChunk), idle_since(std::chrono::steady_clock::now()) {}

FcgiConnection::~FcgiConnection() { close(fd); }

}  // namespace web
