#include "sim/tftp/tftp_receiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kt::sim {

TftpReceiver::~TftpReceiver() {
  Stop();
  if (!map_file_.empty()) ::unlink(map_file_.c_str());
}

Result<std::unique_ptr<TftpReceiver>> TftpReceiver::Start(const TftpReceiverOptions& o) {
  if (::geteuid() != 0) return Status::Unavailable("the TFTP receiver (in.tftpd) needs root");
  std::error_code ec;
  if (o.folder.empty() || !std::filesystem::is_directory(o.folder, ec)) {
    return Status::InvalidArgument("TFTP folder '" + o.folder + "' is not a folder");
  }
  if (o.stored_name.empty() || o.stored_name.find('/') != std::string::npos) {
    return Status::InvalidArgument("stored name must be a plain file name");
  }
  std::unique_ptr<TftpReceiver> r(new TftpReceiver(o));
  const std::string folder = std::filesystem::absolute(o.folder).lexically_normal().string();

  // The map file lives outside the folder, so a client cannot fetch or overwrite it.
  char map_template[] = "/tmp/kx25-tftp-map-XXXXXX";
  const int map_fd = ::mkstemp(map_template);
  if (map_fd < 0) return Status::IOError("cannot create the TFTP map file");
  ::close(map_fd);
  r->map_file_ = map_template;
  std::ofstream(r->map_file_) << "rg ^/$ " << o.stored_name << "\n";

  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Status::IOError("tftp socket");
  net::SocketHandle handle(fd);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(o.address);
  a.sin_port = htons(o.port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    return Status::IOError("cannot bind the TFTP receiver to " + net::FormatIpv4(o.address) + ":" +
                           std::to_string(o.port) + ": " + std::strerror(errno));
  }
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  r->endpoint_ = {ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};

  std::string server = o.server;
  if (server.empty()) server = ::access("/usr/sbin/in.tftpd", X_OK) == 0 ? "/usr/sbin/in.tftpd" : "in.tftpd";
  std::vector<std::string> args{server, "-s", "-u", "root", "-m", r->map_file_, "-t", "86400"};
  if (o.allow_create) args.push_back("-c");
  args.push_back(folder);
  proc::SpawnOptions spawn;
  spawn.stdin_fd = fd;
  KT_ASSIGN_OR_RETURN(r->server_, proc::ChildProcess::Spawn(args, spawn));
  return r;
}

}  // namespace kt::sim
