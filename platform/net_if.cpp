#include "platform/net_if.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

namespace platform {
namespace {

class KernelNetIo : public NetIo {
 public:
  int Socket(int domain, int type, int protocol) override {
    return ::socket(domain, type | SOCK_CLOEXEC, protocol);
  }
  int Ioctl(int fd, unsigned long request, void* arg) override { return ::ioctl(fd, request, arg); }
  int Close(int fd) override { return ::close(fd); }
};

std::mutex g_sim_mutex;

std::map<std::string, SimInterface> DefaultInterfaces() {
  SimInterface eth0;
  eth0.address = "192.168.0.200";
  eth0.netmask = "255.255.255.0";
  const unsigned char mac0[6] = {0x02, 0x00, 0x00, 0x72, 0x06, 0x01};
  std::memcpy(eth0.mac, mac0, 6);
  SimInterface enp1s0;
  enp1s0.address = "172.31.0.200";
  enp1s0.netmask = "255.255.0.0";
  const unsigned char mac1[6] = {0x02, 0x00, 0x00, 0x72, 0x06, 0x02};
  std::memcpy(enp1s0.mac, mac1, 6);
  return {{"eth0", eth0}, {"enp1s0", enp1s0}};
}

std::map<std::string, SimInterface>& SimTable() {
  static std::map<std::string, SimInterface> table = DefaultInterfaces();
  return table;
}

bool IsUnitInterfaceName(const std::string& name) {
  return name == "eth0" || name == "eth1" || name == "enp1s0" || name == "eth2";
}

void PutAddress(sockaddr* out, const std::string& dotted) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  inet_pton(AF_INET, dotted.c_str(), &sin.sin_addr);
  std::memcpy(out, &sin, sizeof sin);
}

bool TakeAddress(const sockaddr* in, std::string* dotted) {
  sockaddr_in sin{};
  std::memcpy(&sin, in, sizeof sin);
  char text[INET_ADDRSTRLEN] = {};
  if (!inet_ntop(AF_INET, &sin.sin_addr, text, sizeof text)) return false;
  *dotted = text;
  return true;
}

// Answers the unit's interfaces from the table; leaves the host's network untouched.
class SimulatedNetIo : public KernelNetIo {
 public:
  int Ioctl(int fd, unsigned long request, void* arg) override {
    if (request == SIOCADDRT || request == SIOCDELRT) return 0;  // routes are not simulated
    auto* req = static_cast<ifreq*>(arg);
    std::string name(req->ifr_name, strnlen(req->ifr_name, IFNAMSIZ));
    if (!IsUnitInterfaceName(name)) {
      bool read_only = request == SIOCGIFADDR || request == SIOCGIFNETMASK ||
                       request == SIOCGIFHWADDR || request == SIOCGIFFLAGS;
      if (!read_only) {
        errno = EPERM;
        return -1;
      }
      return KernelNetIo::Ioctl(fd, request, arg);
    }
    std::lock_guard<std::mutex> lock(g_sim_mutex);
    auto it = SimTable().find(name);
    if (it == SimTable().end()) {
      errno = ENODEV;
      return -1;
    }
    SimInterface& state = it->second;
    switch (request) {
      case SIOCGIFADDR:
        if (state.address.empty()) {
          errno = EADDRNOTAVAIL;
          return -1;
        }
        PutAddress(&req->ifr_addr, state.address);
        return 0;
      case SIOCGIFNETMASK:
        if (state.netmask.empty()) {
          errno = EADDRNOTAVAIL;
          return -1;
        }
        PutAddress(&req->ifr_netmask, state.netmask);
        return 0;
      case SIOCGIFHWADDR:
        req->ifr_hwaddr.sa_family = 1;  // ARPHRD_ETHER
        std::memcpy(req->ifr_hwaddr.sa_data, state.mac, 6);
        return 0;
      case SIOCGIFFLAGS:
        req->ifr_flags =
            short(IFF_UP | IFF_BROADCAST | IFF_MULTICAST | (state.running ? IFF_RUNNING : 0));
        return 0;
      case SIOCSIFADDR:
        return TakeAddress(&req->ifr_addr, &state.address) ? 0 : -1;
      case SIOCSIFNETMASK:
        return TakeAddress(&req->ifr_netmask, &state.netmask) ? 0 : -1;
      case SIOCSIFFLAGS:
        state.running = (req->ifr_flags & IFF_RUNNING) != 0;
        return 0;
      default:
        errno = EINVAL;
        return -1;
    }
  }
};

NetIo& DefaultNetIo() {
#ifdef DEVCTL_SIM
  static SimulatedNetIo io;
#else
  static KernelNetIo io;
#endif
  return io;
}

std::atomic<NetIo*> g_net_io{nullptr};

}  // namespace

NetIo& net_io() {
  NetIo* io = g_net_io.load();
  return io ? *io : DefaultNetIo();
}

void SetNetIo(NetIo* io) { g_net_io.store(io); }

void SetSimInterface(const std::string& name, const SimInterface& state) {
  std::lock_guard<std::mutex> lock(g_sim_mutex);
  SimTable()[name] = state;
}

void RemoveSimInterface(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_sim_mutex);
  SimTable().erase(name);
}

void ResetSimInterfaces() {
  std::lock_guard<std::mutex> lock(g_sim_mutex);
  SimTable() = DefaultInterfaces();
}

bool GetSimInterface(const std::string& name, SimInterface* state) {
  std::lock_guard<std::mutex> lock(g_sim_mutex);
  auto it = SimTable().find(name);
  if (it == SimTable().end()) return false;
  if (state) *state = it->second;
  return true;
}

}  // namespace platform
