// The event log under the source "Pressmark Software", and the names of status codes.
#pragma once

#include <windows.h>

#include "base/status.h"

// The name of a named status, else "0x%08x" in one static buffer that the next call overwrites.
const char* StatusName(Status status);

// Event identifiers: top two bits severity (11 error), low 16 bits the message code.
constexpr DWORD EVT_INTERNAL_ERROR = 0xC0000001;
constexpr DWORD EVT_BAD_VALUE_TYPE = 0xC0000002;
constexpr DWORD EVT_BAD_BOOL_VALUE = 0xC0000003;
constexpr DWORD EVT_PORT_NOT_FOUND = 0xC0000004;
// Job events, gated by the logging level: failures from level 1, delivered jobs from level 2.
constexpr DWORD EVT_JOB_NO_PRINTER = 0xC0002711;  // port, printer, reason, error code, document
constexpr DWORD EVT_JOB_LOST = 0xC0002712;        // port, printer, document, bytes out, reason, error code
constexpr DWORD EVT_JOB_PRINTED = 0x40004E21;     // port, document, printer, bytes
constexpr DWORD EVT_JOB_PRINTED_PAGES = 0x40004E22;  // port, document, printer, bytes, pages the printer counted

constexpr const char kEventSourceName[] = "Pressmark Software";
constexpr const char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Pressmark Software";

// Creates or opens the event source key and writes "EventMessageFile" and "TypesSupported".
// Answers the registry's error code when the key cannot be created, else the result of closing it.
LONG EvRegisterSource();

// Sets the level that gates reports: message code / 10000 must not exceed it.
void EvSetLevel(DWORD level);
DWORD EvGetLevel();

// Reports one event with `count` insertion strings; never fails toward the caller.
void EvReport(DWORD identifier, WORD count, const char* const* strings);
void EvReport0(DWORD identifier);
void EvReport1(DWORD identifier, const char* text1);
void EvReport2(DWORD identifier, const char* text1, const char* text2);
void EvReport3(DWORD identifier, const char* text1, const char* text2, const char* text3);

// Tags of EvReportFormatted: each tag but the last is followed by one value.
enum EvTag : int {
  EV_TAG_TEXT = 0,   // const char*, "%s"
  EV_TAG_ANSI = 1,   // const char*, "%hs"
  EV_TAG_ULONG = 2,  // 32-bit unsigned, "%lu"
  EV_TAG_LONG = 3,   // 32-bit signed, "%d"
  EV_TAG_END = 4,
};

// Formats (tag, value) pairs into insertion strings (1,000 bytes and 10 strings at most; longer
// texts are cut) and reports them. An unknown tag reports an internal error and ends the list.
void EvReportFormatted(DWORD identifier, ...);

// Where reports go instead of the system's event log; null restores the event log. The strings
// live only for the call.
using EvSink = void (*)(DWORD identifier, WORD type, WORD count, const char* const* strings);
void EvSetSink(EvSink sink);
