#include "server/data/database_retry.h"

#include "server/data/database.h"

namespace kt::data {

namespace {

// Keeps the error boxes of one retry: the first is passed on as a line only when it is new.
class RetrySink : public EventSink {
 public:
  explicit RetrySink(EventSink& to) : to_(to) {}
  void ConnectedInfo(std::string_view text) override { to_.ConnectedInfo(text); }
  void ScanInfo(std::string_view text) override { to_.ScanInfo(text); }
  void ErrorBox(std::string_view text) override {
    if (first.empty()) first = std::string(text);
  }
  std::string first;

 private:
  EventSink& to_;
};

}  // namespace

DatabaseRetry::DatabaseRetry(GLOBALVARIABLE& globals, EventSink& sink)
    : globals_(globals), sink_(sink), next_(std::chrono::steady_clock::now() + kPeriod) {}

bool DatabaseRetry::Tick(std::chrono::steady_clock::time_point now) {
  if (globals_.IsDatabaseOpen()) {
    last_failure_.clear();
    return false;
  }
  if (now < next_) return false;
  next_ = now + kPeriod;
  RetrySink quiet(sink_);
  if (DBMAINOPEN(globals_, quiet)) {
    last_failure_.clear();
    sink_.ConnectedInfo("Database opened: serving terminals");
    return true;
  }
  if (quiet.first != last_failure_) {
    last_failure_ = quiet.first;
    sink_.ConnectedInfo("### Database not open: " + quiet.first);
  }
  return false;
}

std::string DatabaseNotOpenStatus(const GLOBALVARIABLE& globals) {
  if (globals.IsDatabaseOpen()) return {};
  return "Database not open: terminals are turned away; opening it again every " +
         std::to_string(DatabaseRetry::kPeriod.count()) + " s";
}

}  // namespace kt::data
