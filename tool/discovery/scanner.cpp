#include "tool/discovery/scanner.h"

#include <optional>
#include <thread>

#include "tool/discovery/pending_replies.h"

namespace kt::discovery {
namespace {

constexpr int kReceiveBufferBytes = 1 << 20;
constexpr std::chrono::milliseconds kReceiveTimeout{1000};

}  // namespace

void Scanner::RequestStop() {
  {
    std::scoped_lock lock(wake_mutex_);
    stop_.store(true);
  }
  wake_.notify_all();
}

void Scanner::Pause(std::chrono::milliseconds d) {
  std::unique_lock lock(wake_mutex_);
  wake_.wait_for(lock, d, [&] { return stop_.load(); });
}

bool Scanner::Tick(ScanObserver& observer) {
  const int before = countdown_.load();
  if (stop_.load()) {
    observer.OnStatus("Aborting...");
  } else {
    observer.OnStatus("Searching...(" + std::to_string(before) + ")    Press STOP to interrupt");
  }
  countdown_.store(before - 1);
  if (before <= 1) {
    countdown_ended_.store(true);
    observer.OnStatus("Wait...");
    RequestStop();
    return false;
  }
  return true;
}

void Scanner::Begin() {
  table_.Clear();
  countdown_ended_.store(false);
  stop_.store(false);
  scanning_.store(true);
}

int Scanner::Run(const ScanOptions& o, ScanObserver& observer) {
  if (!scanning_.load()) Begin();
  auto idle = [&] {
    observer.OnStatus(kStatusIdle);
    scanning_.store(false);
    return -1;
  };

  Result<net::UdpSocket> opened = net::UdpSocket::Open();
  if (!opened.ok()) return idle();
  net::UdpSocket& socket = *opened;
  {
    // A failed bind is not reported: the system picks the local address and port.
    Status ignored = socket.BindToAdapter(o.bind_address, o.bind_port);
    (void)ignored;
  }
  if (!socket.EnableBroadcast().ok()) return idle();
  {
    Status ignored = socket.SetReceiveBuffer(kReceiveBufferBytes);  // may be granted less
    (void)ignored;
  }
  if (!socket.SetReceiveTimeout(kReceiveTimeout).ok()) return idle();

  PendingReplies pending;
  std::thread receiver([&] {
    // One byte more than a slot, so a longer datagram is seen as such and dropped.
    std::array<std::byte, kSlotSize + 1> buffer;
    while (scanning_.load()) {
      Result<net::ReceivedDatagram> got = socket.Receive(buffer);
      if (!got.ok() || got->length == 0) continue;  // time-outs and errors are ignored
      if (got->truncated || got->length > kSlotSize) continue;
      pending.Append(std::span<const std::byte>(buffer.data(), got->length));
    }
  });

  const std::vector<std::byte> request = config::EncodeDiscoveryRequest();
  Result<std::size_t> first = SendRequest(socket, o, request);
  if (!first.ok() || *first != request.size()) {
    observer.OnSendError(first.ok() ? "request sent incompletely" : first.status().message());
  }

  countdown_.store(o.countdown_seconds);
  std::thread ticker;
  if (o.own_ticker) {
    ticker = std::thread([&] {
      while (!stop_.load()) {
        Pause(std::chrono::milliseconds(1000));
        if (stop_.load() || !Tick(observer)) break;
      }
    });
  }

  int found = 0;
  while (true) {
    Result<std::size_t> ignored = SendRequest(socket, o, request);
    (void)ignored;
    if (stop_.load()) break;
    while (std::optional<Slot> slot = pending.Take()) {
      if (stop_.load()) break;
      Process(*slot, observer, found);
    }
    if (stop_.load()) break;
    Pause(o.pass_pause);
  }

  if (ticker.joinable()) ticker.join();
  if (countdown_ended_.load()) {
    // The countdown ran out: replies already received still count (a user's stop does not wait).
    while (std::optional<Slot> slot = pending.Take()) Process(*slot, observer, found);
  }
  observer.OnStatus("Nr of units found: " + std::to_string(found));
  scanning_.store(false);
  socket.Shutdown();  // the receiver would otherwise notice within one receive time-out
  receiver.join();
  socket.Close();
  observer.OnScanEnded(found);
  return found;
}

Result<std::size_t> Scanner::SendRequest(net::UdpSocket& socket, const ScanOptions& o,
                                         std::span<const std::byte> request) {
  if (o.send_interfaces.empty()) return socket.SendTo(o.destination, request);
  // One interface that took the whole request is enough; otherwise the first failure is reported.
  std::optional<Result<std::size_t>> reported;
  for (unsigned index : o.send_interfaces) {
    Result<std::size_t> sent = socket.SendVia(index, o.destination, request);
    const bool whole = sent.ok() && *sent == request.size();
    if (!reported || (whole && !(reported->ok() && **reported == request.size()))) reported = std::move(sent);
  }
  return std::move(*reported);
}

void Scanner::Process(const Slot& slot, ScanObserver& observer, int& found) {
  if (!IsDiscoveryReply(slot)) return;  // includes our own request, heard back
  DeviceEntry entry{slot, Summarize(slot)};
  const DeviceEntry* known = table_.FindAndSelect(entry.summary.mac);
  if (!known) {
    ++found;
    const std::string line = DeviceListLine(entry.summary);
    table_.Append(entry);
    observer.OnLineAdded(line, entry);
    return;
  }
  if (known->summary.ip == entry.summary.ip) return;  // a repeated answer
  observer.OnLineRemoved(DeviceListLine(known->summary));
  const std::string line = DeviceListLine(entry.summary);
  table_.ReplaceAtCursor(entry);
  observer.OnLineAdded(line, entry);
}

}  // namespace kt::discovery
