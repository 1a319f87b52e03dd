// Local network adapters for the Ethernet link: Ethernet and wireless interfaces with an IPv4
// address (loopback is not an adapter), and the local address the kernel would use for a host.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tw {

struct CAdapter {
  std::string ipAddress;   // dotted IPv4
  std::string subnetMask;  // dotted IPv4
  uint32_t interfaceIndex = 0;
  std::string interfaceName;
};

// Adapters in the order the system reports them, one per IPv4 address other than 0.0.0.0.
std::vector<CAdapter> ListAdapters();

// The local address of the route the kernel picks for host (a connected UDP socket's own address;
// nothing is sent). false when there is no route or host is not an IPv4 address.
bool BestLocalAddress(const std::string& host, std::string& localAddress);

}  // namespace tw
