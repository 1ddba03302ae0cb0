// The monitor's Xcv interface: the commands that the print system passes through XcvDataW to the
// initialised monitor, for the port UI library, vtlpmport.exe and scripts. Data travels as UTF-16
// text ending in its one NUL: a port name, or the text form of textform/xcvtext.h.
//
//   MonitorUI         out: the port UI library's file name, which the print system loads from the
//                          system directory of the administrator's machine
//   GetPort     name  out: the port's section
//   GetPorts          out: every port's section, then the options' section
//   GetOptions        out: the options' section
//   AddPort     text  one port section, its settings over a new port's; Protocol is required
//   SetPort     text  one port section, its settings over the stored port's
//   DeletePort  name
//   SetOptions  text  the options' section, its settings over the stored options
//   Import      text  any number of sections: a port the store holds (in any case) is changed as by
//                     SetPort, another added as by AddPort, the options set. Every section is
//                     checked first; one refused, nothing is stored. Then each is stored in the
//                     text's order, the others still tried after one fails.
//                     out: "Stored=<n>", the sections stored, then, when one was refused or failed,
//                          its section line ("[Ports\<name>]"), as far as the buffer holds them
//   GetStatus   name  asks the port's printer how it is (a few seconds at most); out: a section
//                     "[Status\<name>]": Printer (as events name it), Answers, Addresses; when it
//                     answers, Address, else Error and Reason; for an LPR queue asked, LPR Queue,
//                     Queue Exists, Queue State (the first line of the printer's answer); for a
//                     TCP/IP port, SNMP (whether asked), and when an agent answered SNMP State,
//                     Device Status, Printer Status, Errors and Page Count when it tells one
//   PrintTestPage name  prints the port's test page as a job of its own; out: a section
//                     "[TestPage\<name>]": Printed, Printer, Bytes, Pages when the printer counted
//                     them, State when it told it, Error and Reason when not printed. Needs the
//                     right to administer; ERROR_SUCCESS whenever the section is answered (an
//                     answer too large is kept like a read's, so asking again does not print again)
//
// Port names compare in any case. A SetPort that names neither the protocol nor a field of a
// protocol's printer leaves that printer's name and address as stored, without looking them up.
// Changes need SERVER_ACCESS_ADMINISTER on the handle; reads need no particular right. A change
// checks what it would store with the dialogs' rules and stores nothing unless every rule passes.
// A change costs the same whatever the number of ports: it reads its port by name, and the
// monitor's list takes the port as stored in place.
#pragma once

#include <windows.h>

#include "textform/xcvtext.h"

constexpr WCHAR kXcvMonitorUi[] = L"MonitorUI";
constexpr WCHAR kXcvGetPort[] = L"GetPort";
constexpr WCHAR kXcvGetPorts[] = L"GetPorts";
constexpr WCHAR kXcvGetOptions[] = L"GetOptions";
constexpr WCHAR kXcvAddPort[] = L"AddPort";
constexpr WCHAR kXcvSetPort[] = L"SetPort";
constexpr WCHAR kXcvDeletePort[] = L"DeletePort";
constexpr WCHAR kXcvSetOptions[] = L"SetOptions";
constexpr WCHAR kXcvImport[] = L"Import";
constexpr WCHAR kXcvGetStatus[] = L"GetStatus";
constexpr WCHAR kXcvPrintTestPage[] = L"PrintTestPage";
constexpr char kXcvStatusPrefix[] = "Status\\";
constexpr char kXcvTestPagePrefix[] = "TestPage\\";

// The largest input a command takes, NUL included, a bound on the work a caller can ask for: an
// import of 10,000 ports (about 2.3 KB of UTF-16 each when every text fills its field and every
// character is written as "<HH>"), with room to spare.
constexpr DWORD kXcvMaxInputBytes = 32 * 1024 * 1024;
// Room for an import's answer, whatever section it names; room for a status's or a test page's.
constexpr DWORD kXcvImportAnswerBytes = 512;
constexpr DWORD kXcvReportAnswerBytes = 4096;

constexpr char kUiLibraryName[] = "vtlpmui.dll";

// What an Xcv handle holds: the access it was opened with, and which answer the monitor keeps for
// the handle's next call (0: none). Made zero-filled or as {access}.
struct XcvHandle {
  ACCESS_MASK access;
  DWORD keptAnswer = 0;
};

// How long a read's answer that did not fit the caller's buffer is kept for the handle's next call
// of the same command and input, so that asking the size and then the text reads the store once.
// Any other call of the handle, or any call once the time is up, forgets it.
constexpr ULONGLONG kXcvKeptAnswerMs = 1000;

// Runs one command. Answers ERROR_SUCCESS once the store holds a change, or a read's output is in
// the buffer; else ERROR_INVALID_PARAMETER (no command or no outputNeeded, an unknown command, a
// buffer pointer missing for its size), ERROR_ACCESS_DENIED, ERROR_INVALID_DATA (input that is not
// one terminated text of the expected kind), a status of XcvParseText, XcvRefusal(message id) when
// a rule refuses a value, ERROR_UNKNOWN_PORT, ERROR_INSUFFICIENT_BUFFER (outputNeeded tells the
// size; never for Import, whose answer is left out when it does not fit), or the store's code.
// outputNeeded is 0 for a command without output.
DWORD XcvRunCommand(XcvHandle& handle, const WCHAR* command, const BYTE* input, DWORD inputSize, BYTE* output,
                    DWORD outputSize, DWORD* outputNeeded);
