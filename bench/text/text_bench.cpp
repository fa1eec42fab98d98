// Text command round trip over raw TCP beside its floor, measured in the same run.
//
//   text_bench PORT ROOT ROUNDS
//
// For each command, ROUNDS times: send the line, wait for the prompt that ends its reply (the
// round trip); then write the unit's configuration file once durably, as a save does (write the
// same bytes to a temporary file, fsync, rename, sync). The floor of a command is its mandated
// waits plus that save. Prints mean and median of each, in milliseconds, and the ratio.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return -1;
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

// Reads until the text ends with the prompt; false when the connection ends or stays quiet 10 s.
bool ReadReply(int fd, std::string* reply) {
  reply->clear();
  char buf[4096];
  while (reply->size() < 2 || reply->back() != '>') {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) return false;
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    reply->append(buf, size_t(n));
  }
  return true;
}

// One durable write of the configuration file, the way devctl saves it.
double DurableSave(const std::string& path, const std::string& text) {
  const auto t0 = Clock::now();
  const std::string temp = path + ".bench";
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  fsync(fd);
  close(fd);
  rename(temp.c_str(), (path + ".copy").c_str());
  sync();
  return Ms(Clock::now() - t0);
}

struct Stats {
  double mean, median;
};

Stats Of(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  if (v.empty()) return {0, 0};
  return {std::accumulate(v.begin(), v.end(), 0.0) / double(v.size()), v[v.size() / 2]};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s PORT ROOT ROUNDS\n", argv[0]);
    return 1;
  }
  const int port = std::atoi(argv[1]);
  const std::string config = std::string(argv[2]) + "/oem/app.json";
  const int rounds = std::atoi(argv[3]);
  std::ifstream in(config, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.empty()) {
    std::fprintf(stderr, "no configuration file at %s\n", config.c_str());
    return 1;
  }
  const int fd = Connect(port);
  if (fd < 0) {
    std::fprintf(stderr, "cannot connect to port %d\n", port);
    return 1;
  }
  struct Command {
    const char* name;  // printf pattern of the line
    int values[2];     // sent in turn, so every line changes the configuration and saves it
    double mandated_ms;
  } commands[] = {
      {"IN 5 GAIN %d", {7, -7}, 0.0},
      {"OUT 1 VOL %d", {70, 30}, 0.0},
      // An analogue input's gain change waits 10 ms for its range relays.
      {"IN 1 GAIN %d", {7, -7}, 10.0},
  };

  std::printf("%-14s %6s %9s %9s %9s %9s %7s\n", "command", "rounds", "rt mean", "rt p50", "floor",
              "save p50", "ratio");
  for (const Command& c : commands) {
    std::vector<double> trips, saves;
    std::string reply;
    for (int i = 0; i < rounds; ++i) {
      char line[64];
      const int n = std::snprintf(line, sizeof line, c.name, c.values[i % 2]);
      std::string sent(line, size_t(n));
      sent += "\r\n";
      const auto t0 = Clock::now();
      if (send(fd, sent.data(), sent.size(), MSG_NOSIGNAL) != ssize_t(sent.size()) ||
          !ReadReply(fd, &reply)) {
        std::fprintf(stderr, "no reply to %s\n", line);
        return 1;
      }
      trips.push_back(Ms(Clock::now() - t0));
      saves.push_back(DurableSave(config, text));
    }
    const Stats rt = Of(trips), save = Of(saves);
    const double floor = c.mandated_ms + save.median;
    char name[32];
    std::snprintf(name, sizeof name, c.name, c.values[0]);
    std::printf("%-14s %6d %9.2f %9.2f %9.2f %9.2f %7.2f\n", name, rounds, rt.mean, rt.median,
                floor, save.median, rt.median / floor);
  }
  close(fd);
  return 0;
}
