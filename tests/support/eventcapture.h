// Captures the event reports of the code under test for the life of the owner.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct CapturedEvent {
  DWORD identifier;
  WORD type;
  std::vector<std::string> strings;
};

class EventCapture {
public:
  EventCapture();
  ~EventCapture();
  EventCapture(const EventCapture&) = delete;
  EventCapture& operator=(const EventCapture&) = delete;

  const std::vector<CapturedEvent>& events() const;
  void Clear();
};
