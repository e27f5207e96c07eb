// kx25sim: simulated KX25 terminals.
//
//   kx25sim terminals ...   terminals on UDP that answer discovery and configuration commands
//   kx25sim [connect] ...   terminals on TCP that scan codes against a price-check server
#include <cstdio>
#include <cstring>

#ifdef KX25SIM_HAS_TCP
int RunTcpTerminals(int argc, char** argv);  // sim/tcp; argv[0] is the sub-command
#endif
#ifdef KX25SIM_HAS_UDP
int RunUdpTerminals(int argc, char** argv);  // sim/udp; argv[0] is the sub-command
#endif

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "terminals") == 0) {
#ifdef KX25SIM_HAS_UDP
    return RunUdpTerminals(argc - 1, argv + 1);
#else
    std::fprintf(stderr, "kx25sim: UDP terminals are not built in\n");
    return 2;
#endif
  }
#ifdef KX25SIM_HAS_TCP
  if (argc >= 2 && std::strcmp(argv[1], "connect") == 0) return RunTcpTerminals(argc - 1, argv + 1);
  return RunTcpTerminals(argc, argv);
#else
  std::fprintf(stderr, "usage: kx25sim terminals --count N [options]\n");
  return 2;
#endif
}
