// Xcv commands sent through the print system, texts converted between the monitor's code page and
// the UTF-16 the print system carries.
#include "client/xcvclient.h"

#include <winspool.h>

#include <vector>

#include "model/portentry.h"

namespace {

std::string Narrow(const WCHAR* wide) {
  int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string text(length > 0 ? static_cast<size_t>(length) : 1, '\0');
  if (length > 0) WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), length, nullptr, nullptr);
  text.pop_back();
  return text;
}

}  // namespace

XcvConnection::XcvConnection(const std::string& server, bool change) {
  std::wstring name = (server.empty() ? L"" : Widen(server) + L"\\") + L",XcvMonitor " + Widen(kMonitorName);
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr,
                                static_cast<ACCESS_MASK>(change ? SERVER_ACCESS_ADMINISTER : SERVER_ACCESS_ENUMERATE)};
  if (!OpenPrinterW(name.data(), &handle_, &defaults)) {
    error_ = GetLastError();
    handle_ = nullptr;
  }
}

XcvConnection::~XcvConnection() {
  if (handle_) ClosePrinter(handle_);
}

DWORD XcvConnection::Run(const WCHAR* command, const std::string& input, std::string* output, DWORD answerBytes) {
  if (!handle_) return error_;
  std::wstring wide = Widen(input);
  auto* data = input.empty() ? nullptr : reinterpret_cast<BYTE*>(wide.data());
  DWORD dataSize = input.empty() ? 0 : static_cast<DWORD>((wide.size() + 1) * sizeof(WCHAR));
  std::vector<BYTE> buffer(output ? answerBytes : 0);
  // The answer may grow between asking for its size and fetching it: ask again a few times.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD needed = 0;
    DWORD status = ERROR_SUCCESS;
    if (!XcvDataW(handle_, command, data, dataSize, buffer.empty() ? nullptr : buffer.data(),
                  static_cast<DWORD>(buffer.size()), &needed, &status)) {
      return GetLastError();
    }
    if (status == ERROR_INSUFFICIENT_BUFFER && output && needed > buffer.size()) {
      buffer.assign(needed, 0);
      continue;
    }
    bool answered = status == ERROR_SUCCESS || (needed > 0 && needed <= buffer.size());
    if (answered && output) {
      buffer.resize(buffer.size() + sizeof(WCHAR), 0);  // an answer without its NUL still ends
      *output = Narrow(reinterpret_cast<const WCHAR*>(buffer.data()));
    }
    return status;
  }
  return ERROR_INSUFFICIENT_BUFFER;
}

DWORD XcvReachServer(const std::string& server) {
  std::wstring name = Widen(server);
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ENUMERATE};
  HANDLE handle = nullptr;
  if (!OpenPrinterW(name.data(), &handle, &defaults)) {
    DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED ? ERROR_SUCCESS : error;
  }
  ClosePrinter(handle);
  return ERROR_SUCCESS;
}

std::wstring Widen(const std::string& text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  wide.pop_back();
  return wide;
}
