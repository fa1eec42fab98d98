#include "devctl/core/net_interface.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/command.h"
#include "platform/net_if.h"
#include "platform/paths.h"

namespace {

constexpr size_t kOutSize = 64;

// Closes the helper's socket on every path.
class Socket {
 public:
  explicit Socket(int type) : fd_(platform::net_io().Socket(AF_INET, type, 0)) {}
  ~Socket() {
    if (fd_ >= 0) platform::net_io().Close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  bool ok() const { return fd_ >= 0; }
  int Ioctl(unsigned long request, void* arg) {
    return platform::net_io().Ioctl(fd_, request, arg);
  }

 private:
  int fd_;
};

ifreq RequestFor(const char* ifname) {
  ifreq req;
  std::memset(&req, 0, sizeof req);
  std::strncpy(req.ifr_name, ifname, IFNAMSIZ - 1);
  return req;
}

const char* Shown(const char* text) { return text ? text : "(null)"; }

bool CheckName(const char* ifname) {
  if (NetIfIndex(ifname) < 0) {
    std::printf("pEthName(%s) failed!\n", Shown(ifname));
    return false;
  }
  return true;
}

void CopyAddress(const sockaddr* addr, char* out) {
  sockaddr_in sin;
  std::memcpy(&sin, addr, sizeof sin);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &sin.sin_addr, text, sizeof text);
  std::snprintf(out, kOutSize, "%s", text);
}

// The kernel's IPv4 routing table, one route a line after a header line: interface, destination,
// gateway, flags, reference count, use, metric, mask, ... The addresses are the in_addr values
// printed as 8 hex digits in host order.
constexpr char kRouteTable[] = "/proc/net/route";
constexpr size_t kMaxRouteTableBytes = 256 * 1024;

// A field of 1 to 8 hex digits.
bool ParseHex32(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > 8) return false;
  uint32_t v = 0;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    v = (v << 4) | uint32_t(std::isdigit(static_cast<unsigned char>(c))
                                ? c - '0'
                                : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
  }
  *value = v;
  return true;
}

// The gateway of the first default route (destination and mask 0, up, through a gateway).
bool GatewayFromRouteTable(const std::string& table, char* out) {
  std::istringstream lines(table);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags, refcnt, use, metric, mask;
    if (!(fields >> iface >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask)) {
      continue;
    }
    uint32_t dest = 0, gw = 0, fl = 0, mk = 0;
    if (!ParseHex32(destination, &dest) || !ParseHex32(gateway, &gw) || !ParseHex32(flags, &fl) ||
        !ParseHex32(mask, &mk)) {
      continue;  // the header, or a line that is not a route
    }
    if (dest != 0 || mk != 0 || (fl & RTF_UP) == 0 || (fl & RTF_GATEWAY) == 0) continue;
    in_addr address{};
    address.s_addr = gw;
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address, text, sizeof text)) continue;
    std::snprintf(out, kOutSize, "%s", text);
    return true;
  }
  return false;
}

}  // namespace

int NetIfIndex(const char* ifname) {
  if (ifname == nullptr) {
    std::printf("pEthName == NULL!\n");
    return -1;
  }
  if (!std::strcmp(ifname, "eth0") || !std::strcmp(ifname, "lo")) return 0;
  if (!std::strcmp(ifname, "eth1") || !std::strcmp(ifname, "enp1s0")) return 1;
  if (!std::strcmp(ifname, "eth2")) return 2;
  std::printf("Not Support Device %s\n", ifname);
  return -1;
}

int NetGetLocalIp(const char* ifname, char* out) {
  if (!CheckName(ifname) || out == nullptr) return -1;
  Socket sock(SOCK_STREAM);
  if (!sock.ok()) {
    std::printf("socket create failed!\n");
    return -1;
  }
  ifreq req = RequestFor(ifname);
  if (sock.Ioctl(SIOCGIFADDR, &req) != 0) {
    std::printf("SIOCGIFADDR Failed!\n");
    return -1;
  }
  CopyAddress(&req.ifr_addr, out);
  return 0;
}

int NetGetNetmask(const char* ifname, char* out) {
  if (!CheckName(ifname) || out == nullptr) return -1;
  Socket sock(SOCK_STREAM);
  if (!sock.ok()) return -1;
  ifreq req = RequestFor(ifname);
  if (sock.Ioctl(SIOCGIFNETMASK, &req) != 0) return -1;
  CopyAddress(&req.ifr_netmask, out);
  return 0;
}

int NetGetMac(const char* ifname, char* out) {
  if (!CheckName(ifname) || out == nullptr) return -1;
  Socket sock(SOCK_STREAM);
  if (!sock.ok()) {
    std::printf("create socket falise...mac\n");
    return -1;
  }
  ifreq req = RequestFor(ifname);
  if (sock.Ioctl(SIOCGIFHWADDR, &req) != 0) {
    std::printf("mac ioctl error\n");
    return -1;
  }
  const auto* b = reinterpret_cast<const unsigned char*>(req.ifr_hwaddr.sa_data);
  std::snprintf(out, kOutSize, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
  std::printf("local mac:%s \n", out);
  return 0;
}

int NetLinkRunning(const char* ifname) {
  if (ifname == nullptr) return -1;
  Socket sock(SOCK_DGRAM);
  if (!sock.ok()) {
    std::printf("open socket error\n");
    return -1;
  }
  ifreq req = RequestFor(ifname);
  if (sock.Ioctl(SIOCGIFFLAGS, &req) != 0) {
    std::printf("ethernet interface is not valid\n");
    return -1;
  }
  return (req.ifr_flags & IFF_RUNNING) ? 1 : 0;
}

int NetGetGateway(const char* /*ifname*/, char* out) {
  if (out == nullptr) return -1;
  std::ifstream in(platform::Path(kRouteTable), std::ios::binary);
  if (!in) {
    std::printf("route table unreadable\n");
    std::fflush(stdout);
    return -1;
  }
  std::string table;
  char chunk[4096];
  while (table.size() < kMaxRouteTableBytes && in.read(chunk, sizeof chunk).gcount() > 0) {
    table.append(chunk, size_t(in.gcount()));
  }
  if (!GatewayFromRouteTable(table, out)) std::snprintf(out, kOutSize, "%s", "169.254.0.1");
  return 0;
}

bool IsMacAddressText(const char* text) {
  if (text == nullptr || std::strlen(text) != 17) return false;
  for (int i = 0; i < 17; ++i) {
    bool separator = i % 3 == 2;
    if (separator ? text[i] != ':' : !std::isxdigit(static_cast<unsigned char>(text[i])))
      return false;
  }
  return true;
}

int NetSetMac(char* ifname, const char* mac) {
  if (NetIfIndex(ifname) < 0) {
    std::printf("pEthName(%s) failed!/n", Shown(ifname));
    return -1;
  }
  // The address goes into a shell command line: only a plain MAC address text is accepted.
  if (!IsMacAddressText(mac)) {
    std::printf("Invalid mac address: %s\n", Shown(mac));
    return -1;
  }
  const std::string name = ifname;
  const std::string lines[] = {"ifconfig " + name + " down",
                               "ifconfig " + name + " hw ether " + mac, "ifconfig " + name + " up"};
  for (const std::string& line : lines) {
    if (platform::RunCommand(line) == -1) {
      std::printf("popen error");
      std::fflush(stdout);
      return -1;
    }
  }
  return 0;
}
