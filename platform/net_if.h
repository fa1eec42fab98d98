// Network-interface queries and changes: the socket and ioctl calls under devctl's interface
// helpers. On the board they reach the kernel. The simulated build answers for the unit's own
// interfaces (eth0, eth1, enp1s0, eth2) from a table of simulated interfaces, passes read-only
// queries of other interfaces (such as "lo") to the kernel, and never changes the host's network.
#pragma once

#include <string>

namespace platform {

class NetIo {
 public:
  virtual ~NetIo() = default;
  virtual int Socket(int domain, int type, int protocol) = 0;
  // request is one of the SIOC* interface or route requests; arg an ifreq or rtentry.
  virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual int Close(int fd) = 0;
};

// The interface layer in use.
NetIo& net_io();
// Installs one (nullptr restores the default). Not owned.
void SetNetIo(NetIo* io);

// A simulated interface of the unit.
struct SimInterface {
  std::string address;  // dotted quad, empty: no IPv4 address
  std::string netmask;
  unsigned char mac[6] = {0, 0, 0, 0, 0, 0};
  bool running = true;
};

// Replaces (or adds) a simulated interface; RemoveSimInterface makes its queries fail.
void SetSimInterface(const std::string& name, const SimInterface& state);
void RemoveSimInterface(const std::string& name);
// The simulated interfaces as the simulated board starts them.
void ResetSimInterfaces();
bool GetSimInterface(const std::string& name, SimInterface* state);

}  // namespace platform
