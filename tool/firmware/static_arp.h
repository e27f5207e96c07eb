// Pins a terminal's IPv4 address to its MAC address with a permanent neighbour (ARP) entry, so
// that a terminal that does not answer ARP while it takes a firmware image is still reached.
//
// The entry goes on the one interface the system routes the terminal's address through, as one
// replace (it is created, or an older entry for the address is overwritten). No entry is made for
// an address reached through a loopback, point-to-point or NOARP interface, or through a gateway
// (the terminal is not on a directly attached network, so its MAC is never asked for). Entries are
// left in place afterwards; they disappear with the interface or at the next boot.
//
// Needs CAP_NET_ADMIN on Linux (netlink, static_arp.cpp) and an administrator on Windows
// (CreateIpNetEntry2, static_arp_windows.cpp). Without it the result says so and the caller goes
// on: the entry only helps, the upload and the terminal window work without it on a normal
// network.
//
// Thread safety: free function; each call uses its own netlink socket.
#pragma once

#include <cstdint>
#include <string>

#include "tool/config/configuration.h"

namespace kt::firmware {

struct ArpEntryResult {
  enum class Outcome {
    kSet,           // the entry is in the table
    kSkipped,       // no entry is useful for this address (see above)
    kNotPermitted,  // the process lacks the privilege
    kFailed,        // the route could not be found or the system refused the entry
  };
  Outcome outcome = Outcome::kFailed;
  std::string interface_name;  // the interface used or considered; empty when none was found
  std::string detail;     // one line for a log: what was done or why not
};

// `ip` is host order (0x0A4D0002 is 10.77.0.2).
ArpEntryResult PinTerminalAddress(uint32_t ip, const config::Mac& mac);

}  // namespace kt::firmware
