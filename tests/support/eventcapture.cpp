#include "eventcapture.h"

#include "diag/eventlog.h"

namespace {

std::vector<CapturedEvent> captured;

void Capture(DWORD identifier, WORD type, WORD count, const char* const* strings) {
  captured.push_back({identifier, type, std::vector<std::string>(strings, strings + count)});
}

}  // namespace

EventCapture::EventCapture() {
  captured.clear();
  EvSetSink(Capture);
}

EventCapture::~EventCapture() {
  EvSetSink(nullptr);
  captured.clear();
}

const std::vector<CapturedEvent>& EventCapture::events() const {
  return captured;
}

void EventCapture::Clear() {
  captured.clear();
}
