#include "sim/tcp/tcp_terminal.h"

#include <algorithm>
#include <array>
#include <barrier>
#include <cmath>
#include <map>
#include <mutex>
#include <random>
#include <semaphore>
#include <thread>

#include "common/net/tcp_socket.h"

namespace kt::sim {

using Clock = std::chrono::steady_clock;

bool LooksComplete(const std::string& r) {
  if (r == "###") return true;
  return r.size() >= 2 && (r.back() == '\x03' || r.back() == '\x0D');
}

Status TcpTerminal::Connect() {
  KT_ASSIGN_OR_RETURN(socket_, net::TcpConnect(options_.host, options_.port, options_.connect_timeout,
                                               options_.source_ip));
  net::SetNoDelay(socket_);
  KT_ASSIGN_OR_RETURN(greeting_, ReadReply());
  return Status::Ok();
}

Result<std::string> TcpTerminal::Scan(const std::string& code) {
  KT_RETURN_IF_ERROR(net::SendAll(socket_, options_.prefix + code + "\r", options_.reply_timeout));
  return ReadReply();
}

Result<std::string> TcpTerminal::ReadReply() {
  std::string reply = std::move(pending_);
  pending_.clear();
  std::array<char, 4096> buf;
  const auto deadline = Clock::now() + options_.reply_timeout;
  while (!LooksComplete(reply)) {
    const auto now = Clock::now();
    if (now >= deadline) break;
    // Before the first byte wait up to the reply timeout; afterwards only the quiet time.
    auto wait = std::chrono::duration_cast<Millis>(deadline - now);
    if (!reply.empty()) wait = std::min(wait, options_.quiet);
    auto n = net::RecvSome(socket_, buf, std::max(wait, Millis(1)));
    if (n.ok()) {
      reply.append(buf.data(), *n);
      continue;
    }
    if (n.status().IsUnavailable() && !reply.empty()) break;  // quiet: the reply is over
    if (!n.status().IsUnavailable()) {
      if (!reply.empty()) break;
      return n.status();
    }
  }
  if (reply.empty()) return Status::Unavailable("no reply within " + std::to_string(options_.reply_timeout.count()) + " ms");
  return reply;
}

std::string SpreadAddress(int i) {
  return "127.0." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
}

double LoadResult::Percentile(double p) const {
  if (latencies_us.empty()) return 0;
  const double rank = p / 100.0 * static_cast<double>(latencies_us.size() - 1);
  return latencies_us[static_cast<std::size_t>(std::lround(rank))];
}

LoadResult RunLoad(const LoadOptions& o) {
  LoadResult result;
  if (o.terminals <= 0 || o.codes.empty()) return result;
  std::mutex mu;
  // State below is protected by `mu`.
  std::map<std::string, std::string> first_reply;
  Clock::time_point start{}, end{};

  std::barrier connected(o.terminals, [&]() noexcept {
    if (o.on_connected) o.on_connected();
    start = Clock::now();
  });
  std::barrier finished(o.terminals, [&]() noexcept {
    end = Clock::now();
    if (o.on_finished) o.on_finished();
  });

  std::counting_semaphore<> connect_slots(std::max(1, o.connect_concurrency));
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(o.terminals));
  for (int i = 0; i < o.terminals; ++i) {
    threads.emplace_back([&, i] {
      TerminalOptions to = o.terminal;
      if (o.spread_addresses) to.source_ip = SpreadAddress(i);
      TcpTerminal t(to);
      connect_slots.acquire();
      const bool ok = t.Connect().ok();
      connect_slots.release();
      std::vector<double> lat;
      long errors = ok ? 0 : 1, replies = 0, mismatches = 0, scans = 0;
      std::mt19937 rng(static_cast<unsigned>(i));
      auto next = Clock::now();
      connected.arrive_and_wait();
      if (o.interval.count() > 0)
        next = Clock::now() + std::chrono::microseconds(std::uniform_int_distribution<long>(
                                  0, std::chrono::duration_cast<std::chrono::microseconds>(o.interval).count())(rng));
      for (int s = 0; ok && s < o.scans; ++s) {
        if (o.interval.count() > 0) {
          std::this_thread::sleep_until(next);
          next += o.interval;
        }
        const std::string& code = o.codes[static_cast<std::size_t>(i + s) % o.codes.size()];
        const auto t0 = Clock::now();
        ++scans;
        auto reply = t.Scan(code);
        const auto t1 = Clock::now();
        if (!reply.ok()) {
          ++errors;
          break;  // this terminal's connection is no longer usable
        }
        ++replies;
        lat.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        std::scoped_lock lock(mu);
        auto [it, inserted] = first_reply.emplace(code, *reply);
        if (!inserted && it->second != *reply) ++mismatches;
      }
      finished.arrive_and_wait();
      t.Close();
      std::scoped_lock lock(mu);
      result.terminals_connected += ok ? 1 : 0;
      result.scans += scans;
      result.replies += replies;
      result.errors += errors;
      result.mismatches += mismatches;
      result.latencies_us.insert(result.latencies_us.end(), lat.begin(), lat.end());
    });
  }
  for (auto& th : threads) th.join();
  std::sort(result.latencies_us.begin(), result.latencies_us.end());
  result.seconds = std::chrono::duration<double>(end - start).count();
  return result;
}

}  // namespace kt::sim
