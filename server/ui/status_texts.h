// The texts the main window shows about itself: name and build, start time, the blocking text of
// the self-test, the caption, the tray tip and the balloon. Plain functions, no Qt.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace kt::ui {

inline constexpr std::string_view kApplicationTitle = "KT-Vistrand TCP Server, Build: 3";
inline constexpr std::string_view kExitQuestion = "Exit/Keluar KT-Vistrand TCP Server ?";
inline constexpr std::string_view kNoticeLine = "KT-Vistrand: price checking for KX25 terminals";

// RETURNTEXTFIREWALL: the port text when a probe went out while nothing of ours listens (the
// port belongs to another program), the blocked text while the self-test has not passed,
// otherwise empty.
std::string FirewallText(bool probe_sent, bool listening, bool selftest_passed, uint16_t port);

// "09 Dec 2026  14:05": day with leading zero, English month abbreviation, year, two blanks, time.
std::string StartTimeText(const std::tm& local);

// Caption: name and build, CR LF, "IP: <ip> Port: <port>".
std::string CaptionText(std::string_view ip, uint16_t port);
// Tray tip: name and build + "  IP: <ip> Port: <port>" + suffix.
std::string TrayTipText(std::string_view ip, uint16_t port, std::string_view suffix);
// Balloon text: "IP: <ip>   Port: <port>" + suffix + CR LF + notice line.
std::string BalloonText(std::string_view ip, uint16_t port, std::string_view suffix);
// Balloon text of the ten-second check while blocked: "### <text> ###" + CR LF + notice line.
std::string BlockedBalloonText(std::string_view blocking_text);
// The suffix of caption-related texts: CR LF + "### <text> ###", empty for an empty text.
std::string BlockingSuffix(std::string_view blocking_text);

// The address shown in the window: the IPv4 address of the host name; when that is a loopback
// address (common on Linux installs), the first non-loopback IPv4 address of an interface that
// is up, since terminals need an address they can reach. "127.0.0.1" when nothing else exists.
std::string LocalIpAddress();

}  // namespace kt::ui
