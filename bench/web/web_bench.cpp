// HTTP load client for the web API benchmark: several threads each send requests one after
// another over their own keep-alive connection and time every reply.
//
//   web_bench PORT THREADS REQUESTS [--mixed] NAME METHOD PATH [BODY] [NAME METHOD PATH [BODY] ...]
//   (BODY "-" or absent for GET; REQUESTS such as "2.5s" runs each case for that many seconds)
// Prints one line per case: name, requests, failures, requests per second, p50, p99 and the
// slowest in ms. With --mixed every thread sends REQUESTS requests (or runs for that long),
// going through the cases in turn from a case of its own, and one line covers them all.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Case {
  std::string name, method, path, body;
};

int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

// Appends what the connection gives to buffer until it holds at least size bytes.
bool ReadUpTo(int fd, std::string& buffer, size_t size) {
  char chunk[65536];
  while (buffer.size() < size) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer.append(chunk, size_t(n));
  }
  return true;
}

// Reads a chunked body that starts at buffer[at]; at ends after its last chunk.
bool ReadChunkedBody(int fd, std::string& buffer, size_t& at) {
  for (;;) {
    size_t line_end;
    while ((line_end = buffer.find("\r\n", at)) == std::string::npos) {
      if (!ReadUpTo(fd, buffer, buffer.size() + 1)) return false;
    }
    const size_t size = std::strtoul(buffer.c_str() + at, nullptr, 16);
    at = line_end + 2 + size + 2;  // the chunk and its line end
    if (!ReadUpTo(fd, buffer, at)) return false;
    if (size == 0) return true;
  }
}

// Reads one response (headers with Content-Length, or a chunked body, as nginx sends a FastCGI
// reply). False on any error.
bool ReadResponse(int fd, std::string& buffer) {
  size_t header_end;
  while ((header_end = buffer.find("\r\n\r\n")) == std::string::npos) {
    if (!ReadUpTo(fd, buffer, buffer.size() + 1)) return false;
  }
  std::string head = buffer.substr(0, header_end);
  for (auto& ch : head) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  if (head.compare(0, 12, "http/1.1 200") != 0) return false;
  size_t total = header_end + 4;
  size_t at = head.find("content-length:");
  if (at != std::string::npos) {
    total += std::strtoul(head.c_str() + at + 15, nullptr, 10);
    if (!ReadUpTo(fd, buffer, total)) return false;
  } else if (head.find("transfer-encoding: chunked") == std::string::npos ||
             !ReadChunkedBody(fd, buffer, total)) {
    return false;
  }
  buffer.erase(0, total);
  return true;
}

std::string RequestText(const Case& c) {
  std::string request = c.method + " " + c.path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (!c.body.empty())
    request +=
        "Content-Type: application/json\r\nContent-Length: " + std::to_string(c.body.size()) +
        "\r\n";
  return request + "\r\n" + c.body;
}

// Runs the cases on threads connections at once, each thread going through them in turn from
// case t. requests > 0: that many requests in all (per_thread: on each thread); otherwise for
// seconds.
void RunCases(int port, int threads, int requests, bool per_thread, double seconds_wanted,
              const std::string& name, const std::vector<Case>& cases) {
  std::vector<std::string> texts;
  for (const Case& c : cases) texts.push_back(RequestText(c));

  std::atomic<int> next{0}, failures{0};
  std::vector<std::vector<double>> latencies(static_cast<size_t>(threads));
  auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      int fd = -1;
      std::string buffer;
      int sent = 0;
      auto more = [&] {
        if (requests > 0 && per_thread) return sent++ < requests;
        if (requests > 0) return next.fetch_add(1) < requests;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
               seconds_wanted;
      };
      for (size_t k = size_t(t); more(); ++k) {
        const std::string& request = texts[k % texts.size()];
        auto t0 = std::chrono::steady_clock::now();
        if (fd < 0) fd = Connect(port);
        bool ok =
            fd >= 0 &&
            send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size()) &&
            ReadResponse(fd, buffer);
        if (!ok) {
          failures++;
          if (fd >= 0) close(fd);
          fd = -1;
          buffer.clear();
          continue;
        }
        latencies[size_t(t)].push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
      }
      if (fd >= 0) close(fd);
    });
  }
  for (auto& w : workers) w.join();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::vector<double> all;
  for (auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  std::sort(all.begin(), all.end());
  auto pct = [&](double p) { return all.empty() ? 0.0 : all[size_t(p * double(all.size() - 1))]; };
  std::printf("%-24s %7zu %5d %10.1f %9.3f %9.3f %9.3f\n", name.c_str(), all.size(),
              failures.load(), double(all.size()) / seconds, pct(0.50), pct(0.99), pct(1.0));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const bool mixed = argc > 4 && std::strcmp(argv[4], "--mixed") == 0;
  if (argc < 7 + (mixed ? 1 : 0)) {
    std::fprintf(stderr,
                 "usage: %s PORT THREADS REQUESTS [--mixed] NAME METHOD PATH [BODY] [NAME METHOD "
                 "PATH [BODY] ...]\n",
                 argv[0]);
    return 1;
  }
  int port = std::atoi(argv[1]), threads = std::atoi(argv[2]);
  const std::string amount = argv[3];
  const bool timed = !amount.empty() && amount.back() == 's';
  const int requests = timed ? 0 : std::atoi(amount.c_str());
  const double seconds = timed ? std::atof(amount.c_str()) : 0.0;
  std::vector<Case> cases;
  for (int i = mixed ? 5 : 4; i + 2 < argc;) {
    Case c{argv[i], argv[i + 1], argv[i + 2], ""};
    i += 3;
    if (i < argc && c.method == "POST") {
      c.body = argv[i++];
    }
    cases.push_back(c);
  }
  std::printf("%-24s %7s %5s %10s %9s %9s %9s\n", "case", "reqs", "fail", "req/s", "p50 ms",
              "p99 ms", "max ms");
  if (mixed) {
    std::string name = "mixed";
    for (const auto& c : cases) name += " " + c.name;
    RunCases(port, threads, requests, true, seconds, name, cases);
    return 0;
  }
  for (const auto& c : cases) RunCases(port, threads, requests, false, seconds, c.name, {c});
  return 0;
}
