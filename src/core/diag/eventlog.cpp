#include "diag/eventlog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/scoped.h"

// Reports EVT_INTERNAL_ERROR with the unit, the line and the thread's last-error code.
static void EvInternalError(const char* unit, unsigned line);

namespace {

DWORD eventLevel = 1;
EvSink eventSink = nullptr;

constexpr char kMessageFile[] = "%SystemRoot%\\System32\\vtlpmmw4.dll";
constexpr DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
constexpr size_t kTextAreaSize = 1000;
constexpr WORD kMaxStrings = 10;

bool IsGated(DWORD identifier) {
  return (identifier & 0xFFFF) / 10000 > eventLevel;
}

WORD EventType(DWORD identifier) {
  switch (identifier >> 30) {
  case 2: return EVENTLOG_WARNING_TYPE;
  case 3: return EVENTLOG_ERROR_TYPE;
  default: return EVENTLOG_INFORMATION_TYPE;
  }
}

}  // namespace

const char* StatusName(Status status) {
  switch (status) {
  case EXC_S_SUCCESS: return "EXC_S_SUCCESS";
  case EXC_F_INSUFFICIENT_VM: return "EXC_F_INSUFFICIENT_VM";
  case EXC_E_FILE_NOT_FOUND: return "EXC_E_FILE_NOT_FOUND";
  case EXC_E_ERROR: return "EXC_E_ERROR";
  case EXC_W_WARNING: return "EXC_W_WARNING";
  }
  static char unnamed[11];
  snprintf(unnamed, sizeof unnamed, "0x%08lx", static_cast<unsigned long>(status));
  return unnamed;
}

LONG EvRegisterSource() {
  ScopedKey key;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE, nullptr, key.out(), nullptr);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetValueExA(key.get(), "EventMessageFile", 0, REG_EXPAND_SZ,
                          reinterpret_cast<const BYTE*>(kMessageFile), sizeof kMessageFile);
  if (result == ERROR_SUCCESS) {
    RegSetValueExA(key.get(), "TypesSupported", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&kTypesSupported), sizeof kTypesSupported);
  }
  return key.Close();
}

void EvSetLevel(DWORD level) {
  eventLevel = level;
  if (level == 10) EvInternalError("eventlog", 128);
}

DWORD EvGetLevel() {
  return eventLevel;
}

void EvSetSink(EvSink sink) {
  eventSink = sink;
}

void EvReport(DWORD identifier, WORD count, const char* const* strings) {
  if (IsGated(identifier)) return;
  WORD type = EventType(identifier);
  if (eventSink) {
    eventSink(identifier, type, count, strings);
    return;
  }
  // Reporting leaves the caller's last-error code as it was.
  DWORD lastError = GetLastError();
  HANDLE source = RegisterEventSourceA(nullptr, kEventSourceName);
  if (source) {
    ReportEventA(source, type, 0, identifier, nullptr, count, 0, const_cast<const char**>(strings), nullptr);
    DeregisterEventSource(source);
  }
  SetLastError(lastError);
}

void EvReport0(DWORD identifier) {
  EvReport(identifier, 0, nullptr);
}

void EvReport1(DWORD identifier, const char* text1) {
  const char* strings[] = {text1};
  EvReport(identifier, 1, strings);
}

void EvReport2(DWORD identifier, const char* text1, const char* text2) {
  const char* strings[] = {text1, text2};
  EvReport(identifier, 2, strings);
}

void EvReport3(DWORD identifier, const char* text1, const char* text2, const char* text3) {
  const char* strings[] = {text1, text2, text3};
  EvReport(identifier, 3, strings);
}

void EvReportFormatted(DWORD identifier, ...) {
  if (IsGated(identifier)) return;
  char area[kTextAreaSize];
  const char* strings[kMaxStrings];
  WORD count = 0;
  size_t used = 0;

  va_list args;
  va_start(args, identifier);
  for (;;) {
    int tag = va_arg(args, int);
    if (tag == EV_TAG_END) break;
    if (tag < EV_TAG_TEXT || tag > EV_TAG_END) {
      EvInternalError("eventlog", 346);
      break;
    }
    // Every value is taken from the list even when the area is full, so the tags stay aligned.
    char number[12];
    const char* text = number;
    if (tag == EV_TAG_ULONG) {
      snprintf(number, sizeof number, "%lu", static_cast<unsigned long>(va_arg(args, DWORD)));
    } else if (tag == EV_TAG_LONG) {
      snprintf(number, sizeof number, "%d", va_arg(args, int));
    } else {
      text = va_arg(args, const char*);
      if (!text) text = "";
    }
    if (count == kMaxStrings || used == kTextAreaSize) continue;
    char* slot = area + used;
    size_t room = kTextAreaSize - used;
    size_t length = strnlen(text, room - 1);
    memcpy(slot, text, length);
    slot[length] = '\0';
    strings[count++] = slot;
    used += length + 1;
  }
  va_end(args);
  EvReport(identifier, count, strings);
}

void EvInternalError(const char* unit, unsigned line) {
  DWORD lastError = GetLastError();
  EvReportFormatted(EVT_INTERNAL_ERROR, EV_TAG_ANSI, unit, EV_TAG_ULONG, static_cast<DWORD>(line),
                    EV_TAG_ULONG, lastError, EV_TAG_END);
}
