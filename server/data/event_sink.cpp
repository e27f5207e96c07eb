#include "server/data/event_sink.h"

namespace kt::data {

EventSink& NullEventSink() {
  // Stateless, so sharing one instance between threads is safe.
  static EventSink sink;
  return sink;
}

}  // namespace kt::data
