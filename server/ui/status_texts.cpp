#include "server/ui/status_texts.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>

namespace kt::ui {
namespace {

constexpr std::string_view kCrLf = "\r\n";

bool IsLoopback(const in_addr& a) { return (ntohl(a.s_addr) >> 24) == 127; }

std::string Dotted(const in_addr& a) {
  char buf[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, buf, sizeof buf);
  return buf;
}

}  // namespace

std::string FirewallText(bool probe_sent, bool listening, bool selftest_passed, uint16_t port) {
  if (probe_sent && !listening) {
    return "Port: " + std::to_string(port) + " telah dipakai oleh aplikasi lain !";
  }
  if (!selftest_passed) return "KT-Vistrand TCP Server anda diblokir oleh Firewall/Antivirus/Malware !";
  return "";
}

std::string StartTimeText(const std::tm& t) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int month = (t.tm_mon >= 0 && t.tm_mon < 12) ? t.tm_mon : 0;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d %s %04d  %02d:%02d", t.tm_mday, kMonths[month],
                t.tm_year + 1900, t.tm_hour, t.tm_min);
  return buf;
}

std::string CaptionText(std::string_view ip, uint16_t port) {
  return std::string(kApplicationTitle) + std::string(kCrLf) + "IP: " + std::string(ip) +
         " Port: " + std::to_string(port);
}

std::string TrayTipText(std::string_view ip, uint16_t port, std::string_view suffix) {
  return std::string(kApplicationTitle) + "  IP: " + std::string(ip) + " Port: " + std::to_string(port) +
         std::string(suffix);
}

std::string BalloonText(std::string_view ip, uint16_t port, std::string_view suffix) {
  return "IP: " + std::string(ip) + "   Port: " + std::to_string(port) + std::string(suffix) +
         std::string(kCrLf) + std::string(kNoticeLine);
}

std::string BlockedBalloonText(std::string_view blocking_text) {
  return "### " + std::string(blocking_text) + " ###" + std::string(kCrLf) + std::string(kNoticeLine);
}

std::string BlockingSuffix(std::string_view blocking_text) {
  if (blocking_text.empty()) return "";
  return std::string(kCrLf) + "### " + std::string(blocking_text) + " ###";
}

std::string LocalIpAddress() {
  std::string from_name;
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &found) == 0 && found != nullptr) {
      const in_addr a = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
      if (!IsLoopback(a)) from_name = Dotted(a);
      ::freeaddrinfo(found);
    }
  }
  if (!from_name.empty()) return from_name;
  ifaddrs* list = nullptr;
  std::string first;
  if (::getifaddrs(&list) == 0) {
    for (ifaddrs* i = list; i != nullptr && first.empty(); i = i->ifa_next) {
      if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
      if ((i->ifa_flags & IFF_UP) == 0) continue;
      const in_addr a = reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr;
      if (!IsLoopback(a)) first = Dotted(a);
    }
    ::freeifaddrs(list);
  }
  return first.empty() ? "127.0.0.1" : first;
}

}  // namespace kt::ui
