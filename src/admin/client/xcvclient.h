// The administrator's side of the Xcv interface: a handle on the monitor of this or another
// print server, opened through the print system, and the commands of xcv/xcv.h sent over it.
#pragma once

#include <windows.h>

#include <string>

class XcvConnection {
public:
  // Opens ",XcvMonitor <monitor>" on the server ("\\NAME", or empty for this machine), asking for
  // the right to administer when `change` is set and to enumerate otherwise.
  XcvConnection(const std::string& server, bool change);
  ~XcvConnection();
  XcvConnection(const XcvConnection&) = delete;
  XcvConnection& operator=(const XcvConnection&) = delete;

  // The print system's error when the handle could not be opened, else ERROR_SUCCESS.
  DWORD openError() const { return error_; }

  // Sends the command with the text (none when empty) and answers the monitor's status, or the
  // print system's error when the call did not reach it. A read's answer goes to `output`; with
  // `answerBytes`, the first call offers that much room, and an answer that comes with a failure
  // (an import's) goes there too, so such a command is sent once.
  DWORD Run(const WCHAR* command, const std::string& input, std::string* output = nullptr, DWORD answerBytes = 0);

private:
  HANDLE handle_ = nullptr;
  DWORD error_ = ERROR_SUCCESS;
};

// ERROR_SUCCESS when the print server ("\\NAME") answers, whatever the caller may do there; else
// the print system's error.
DWORD XcvReachServer(const std::string& server);

// The text in UTF-16, converted from the ANSI code page.
std::wstring Widen(const std::string& text);
