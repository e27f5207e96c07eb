#include "common/event_sink.h"

namespace kt {

namespace {

class DroppingSink final : public EventSink {};

}  // namespace

EventSink& NullEventSink() {
  // Stateless, so sharing one instance between threads is safe.
  static DroppingSink sink;
  return sink;
}

}  // namespace kt
