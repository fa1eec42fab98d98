// Many raw TCP clients changing output volumes at once, beside one client alone, on a running
// devctl; then checks that the saved file holds what the unit holds.
//
//   text_clients_bench PORT ROOT CLIENTS COMMANDS
//
// Alone: one client sends CLIENTS x COMMANDS lines "OUT n VOL v" one after another, each as soon
// as the previous one is answered. Together: CLIENTS clients connect, start at once and each sends
// COMMANDS lines the same way. Prints the commands per second of both, their ratio and the
// latency of one command (p50, p99, max).
//
// Every reply reaches every client, in the order the unit made the changes. Client k sets output
// k % 14 + 1 to values v with v % CLIENTS == k, so each reply names the client it answers, and the
// last reply for an output is the value it must end with. After the run the bench compares, per
// output, that value with the STATUS report (the live record) and with ROOT/oem/app.json.
//
// When devctl runs with DEVCTL_LOCK_TIMES=1 it appends the holds of its configuration lock to
// ROOT/tmp/config_lock_holds.txt; the bench then prints, per phase, how long the lock was held:
// each hold (p50, p99, max) and in all per command.
#include <arpa/inet.h>
#include <cjson/cJSON.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <utility>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kOutputs = 14;
constexpr int kReplyTimeoutMs = 30000;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

uint64_t MonotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return uint64_t(t.tv_sec) * 1000000000u + uint64_t(t.tv_nsec);
}

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

// One connection; splits what it receives into replies (each ends with the prompt's '>').
class Client {
 public:
  explicit Client(int fd) : fd_(fd) {}
  ~Client() {
    if (fd_ >= 0) close(fd_);
  }
  bool Send(const std::string& line) {
    const std::string sent = line + "\r\n";
    return send(fd_, sent.data(), sent.size(), MSG_NOSIGNAL) == ssize_t(sent.size());
  }
  // The next whole reply; false when the connection ends or stays quiet too long.
  bool Next(std::string* reply) {
    while (true) {
      const size_t end = buffer_.find('>');
      if (end != std::string::npos) {
        reply->assign(buffer_, 0, end + 1);
        buffer_.erase(0, end + 1);
        return true;
      }
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, kReplyTimeoutMs) <= 0) return false;
      char chunk[16384];
      const ssize_t n = read(fd_, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer_.append(chunk, size_t(n));
    }
  }

 private:
  int fd_;
  std::string buffer_;
};

// The value named by a volume reply ("... volume to 37.\r\n"); -1 when there is none.
int VolumeOf(const std::string& reply) {
  const size_t at = reply.find(" volume to ");
  if (at == std::string::npos) return -1;
  return std::atoi(reply.c_str() + at + 11);
}

int OutputOfClient(int k) { return k % kOutputs + 1; }

// Value of round r of client k: it changes every round and names the client.
int ValueOf(int k, int r, int clients) { return k + clients * (r % 3); }

struct Latencies {
  std::vector<double> ms;
  // Each command's time from its line to its reply, on CLOCK_MONOTONIC as the unit's lock holds.
  std::vector<std::pair<uint64_t, uint64_t>> windows;
  double Percentile(double p) const {
    if (ms.empty()) return 0;
    std::vector<double> v = ms;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
  }
  double Max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

struct Phase {
  explicit Phase(const char* n) : name(n) {}
  const char* name;
  int commands = 0;
  double seconds = 0;
  uint64_t start_ns = 0, end_ns = 0;
  Latencies latency;
};

// Sends rounds lines as client k and waits for the reply of each. Replies of other clients are
// passed to seen (when given) in the order they arrive, as are its own.
bool RunClient(Client& c, int k, int rounds, int clients, Latencies* latency,
               std::vector<int>* seen) {
  std::string reply;
  for (int r = 0; r < rounds; ++r) {
    const int v = ValueOf(k, r, clients);
    char line[64];
    std::snprintf(line, sizeof line, "OUT %d VOL %d", OutputOfClient(k), v);
    const auto t0 = Clock::now();
    const uint64_t sent_ns = MonotonicNs();
    if (!c.Send(line)) return false;
    while (true) {
      if (!c.Next(&reply)) return false;
      const int got = VolumeOf(reply);
      if (seen && got >= 0) seen->push_back(got);
      if (got == v) break;
    }
    latency->ms.push_back(Ms(Clock::now() - t0));
    latency->windows.emplace_back(sent_ns, MonotonicNs());
  }
  return true;
}

// Output number (1-14) -> the value the last change gave it, from replies in the unit's order.
std::map<int, int> LastValues(const std::vector<int>& values, int clients) {
  std::map<int, int> last;
  for (int v : values) last[OutputOfClient(v % clients)] = v;
  return last;
}

// Output volumes of a STATUS report, by output number.
std::map<int, int> StatusVolumes(const std::string& report) {
  std::map<int, int> volumes;
  std::istringstream in(report);
  std::string line;
  bool outputs = false;
  while (std::getline(in, line)) {
    if (line.rfind("Output  Name", 0) == 0) {
      outputs = true;
      continue;
    }
    if (!outputs) continue;
    if (line.size() < 2 || !isdigit(static_cast<unsigned char>(line[0]))) {
      if (!volumes.empty()) break;
      continue;
    }
    std::istringstream words(line);
    std::vector<std::string> w((std::istream_iterator<std::string>(words)),
                               std::istream_iterator<std::string>());
    if (w.size() >= 3) volumes[std::atoi(w[0].c_str())] = std::atoi(w[w.size() - 2].c_str());
  }
  return volumes;
}

// Output volumes of the saved configuration file, by output number.
std::map<int, int> FileVolumes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::map<int, int> volumes;
  cJSON* root = cJSON_Parse(text.c_str());
  const cJSON* output = cJSON_GetObjectItem(root, "output");
  struct Family {
    const char* key;
    int first, count;
  } families[] = {
      {"analogue_output_vol", 1, 4}, {"tarvo_output_vol", 5, 8}, {"usb_output_vol", 13, 2}};
  for (const Family& f : families) {
    const cJSON* array = cJSON_GetObjectItem(output, f.key);
    for (int i = 0; i < f.count; ++i) {
      const cJSON* item = cJSON_GetArrayItem(array, i);
      if (cJSON_IsNumber(item)) volumes[f.first + i] = item->valueint;
    }
  }
  cJSON_Delete(root);
  return volumes;
}

struct Hold {
  uint64_t start_ns, held_ns;
};

std::vector<Hold> ReadHolds(const std::string& path) {
  std::vector<Hold> holds;
  std::ifstream in(path);
  unsigned long long start, held;
  while (in >> start >> held) holds.push_back({start, held});
  // Appended as they end; a hold of one thread may end after a later one of another.
  std::sort(holds.begin(), holds.end(),
            [](const Hold& a, const Hold& b) { return a.start_ns < b.start_ns; });
  return holds;
}

// Waits until the unit has written the holds up to end_ns (it appends them every half second).
std::vector<Hold> HoldsUpTo(const std::string& path, uint64_t end_ns) {
  for (int i = 0; i < 100; ++i) {
    std::vector<Hold> holds = ReadHolds(path);
    if (!holds.empty() && holds.back().start_ns > end_ns) return holds;
    usleep(100000);
  }
  return {};
}

double At(const std::vector<double>& sorted, double q) {
  return sorted.empty() ? 0
                        : sorted[std::min(sorted.size() - 1, size_t(q * double(sorted.size())))];
}

// Each hold within the phase (p50, p99, max) and the lock time per command: of each command when
// the commands came one at a time (the holds between its line and its reply), else on average.
void PrintHolds(const std::vector<Hold>& holds, const Phase& p, bool one_at_a_time) {
  std::vector<double> us;
  double total = 0;
  for (const Hold& h : holds) {
    if (h.start_ns < p.start_ns || h.start_ns > p.end_ns) continue;
    us.push_back(double(h.held_ns) / 1000.0);
    total += double(h.held_ns) / 1000.0;
  }
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  std::printf("%-9s lock holds %zu (%.1f per command), each us: p50 %.1f p99 %.1f max %.1f\n",
              p.name, us.size(), double(us.size()) / p.commands, At(us, 0.5), At(us, 0.99),
              us.back());
  if (!one_at_a_time) {
    std::printf("%-9s lock held per command, mean over the phase: %.1f us\n", p.name,
                total / p.commands);
    return;
  }
  std::vector<double> per_command;
  size_t h = 0;
  for (const auto& [from, to] : p.latency.windows) {
    while (h < holds.size() && holds[h].start_ns < from) ++h;
    double held = 0;
    for (size_t k = h; k < holds.size() && holds[k].start_ns <= to; ++k) {
      held += double(holds[k].held_ns) / 1000.0;
    }
    per_command.push_back(held);
  }
  std::sort(per_command.begin(), per_command.end());
  std::printf("%-9s lock held per command us: p50 %.1f p99 %.1f max %.1f\n", p.name,
              At(per_command, 0.5), At(per_command, 0.99), per_command.back());
}

void PrintPhase(const Phase& p) {
  std::printf("%-9s %6d %9.1f %9.2f %9.2f %9.2f\n", p.name, p.commands, p.commands / p.seconds,
              p.latency.Percentile(0.5), p.latency.Percentile(0.99), p.latency.Max());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s PORT ROOT CLIENTS COMMANDS\n", argv[0]);
    return 1;
  }
  const int port = std::atoi(argv[1]);
  const std::string root = argv[2];
  const int clients = std::max(1, std::atoi(argv[3]));
  const int rounds = std::max(1, std::atoi(argv[4]));
  if (clients > 33) {
    std::fprintf(stderr, "at most 33 clients (their values must fit 0..100)\n");
    return 1;
  }

  // One client alone, as many commands as all clients together.
  Phase alone("alone");
  {
    const int fd = Connect(port);
    if (fd < 0) {
      std::fprintf(stderr, "cannot connect to port %d\n", port);
      return 1;
    }
    Client c(fd);
    alone.commands = clients * rounds;
    alone.start_ns = MonotonicNs();
    const auto t0 = Clock::now();
    for (int i = 0; i < alone.commands; i += rounds) {
      if (!RunClient(c, (i / rounds) % clients, rounds, clients, &alone.latency, nullptr)) {
        std::fprintf(stderr, "no reply alone\n");
        return 1;
      }
    }
    alone.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    alone.end_ns = MonotonicNs();
  }

  // All clients at once.
  Phase together("together");
  together.commands = clients * rounds;
  std::vector<std::unique_ptr<Client>> all;
  for (int k = 0; k < clients; ++k) {
    const int fd = Connect(port);
    if (fd < 0) {
      std::fprintf(stderr, "cannot connect client %d\n", k);
      return 1;
    }
    all.push_back(std::make_unique<Client>(fd));
  }
  usleep(200000);  // lets the server take every client before the first line
  std::vector<Latencies> latencies(static_cast<size_t>(clients));
  std::vector<int> order;  // every reply's value as client 0 received it: the unit's order
  std::atomic<bool> failed{false};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int k = 0; k < clients; ++k) {
    threads.emplace_back([&, k] {
      while (!go) std::this_thread::yield();
      if (!RunClient(*all[size_t(k)], k, rounds, clients, &latencies[size_t(k)],
                     k == 0 ? &order : nullptr)) {
        failed = true;
      }
    });
  }
  together.start_ns = MonotonicNs();
  const auto t0 = Clock::now();
  go = true;
  for (auto& t : threads) t.join();
  together.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  together.end_ns = MonotonicNs();
  if (failed) {
    std::fprintf(stderr, "a client got no reply\n");
    return 1;
  }
  for (const Latencies& l : latencies) {
    together.latency.ms.insert(together.latency.ms.end(), l.ms.begin(), l.ms.end());
  }
  // Client 0 stopped at its own last reply; the rest of the unit's replies are still coming.
  std::string reply;
  while (int(order.size()) < together.commands && all[0]->Next(&reply)) {
    const int v = VolumeOf(reply);
    if (v >= 0) order.push_back(v);
  }

  std::printf("%-9s %6s %9s %9s %9s %9s\n", "clients", "cmds", "cmds/s", "p50 ms", "p99 ms",
              "max ms");
  PrintPhase(alone);
  PrintPhase(together);
  std::printf("%d clients together: %.2fx the commands per second of one client alone\n", clients,
              (together.commands / together.seconds) / (alone.commands / alone.seconds));

  const std::vector<Hold> holds = HoldsUpTo(root + "/tmp/config_lock_holds.txt", together.end_ns);
  if (!holds.empty()) {
    PrintHolds(holds, alone, true);
    PrintHolds(holds, together, false);
  }

  // What the outputs must hold, what the unit holds, what the file holds.
  const std::map<int, int> expected = LastValues(order, clients);
  all[0]->Send("STATUS");
  std::string status;
  while (all[0]->Next(&reply)) {
    status += reply;
    if (status.find("Output  Name") != std::string::npos) break;
  }
  const std::map<int, int> live = StatusVolumes(status);
  const std::map<int, int> file = FileVolumes(root + "/oem/app.json");
  bool same = int(order.size()) == together.commands;
  for (const auto& [output, value] : expected) {
    const auto l = live.find(output), f = file.find(output);
    if (l == live.end() || f == file.end() || l->second != value || f->second != value) {
      std::printf("output %d: last reply %d, live %d, app.json %d\n", output, value,
                  l == live.end() ? -1 : l->second, f == file.end() ? -1 : f->second);
      same = false;
    }
  }
  std::printf("final app.json equals the live record and the last replies: %s\n",
              same ? "yes" : "NO");
  return same ? 0 : 2;
}
