// A page through the monitor, for `make print-demo` (scripts/print-demo): adds a printer on the
// given Pressmark port, prints the given PostScript file to it as a RAW job through the print
// spooler, then deletes the printer and its driver again.
// Usage: pm_printdemo <port name> <PostScript file>; the exit code is 0 once the job printed.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

wchar_t kPrinter[] = L"Pressmark Demo Printer";
wchar_t kDriver[] = L"Pressmark Demo Driver";

std::wstring Wide(const char* text) {
  std::wstring wide(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

bool AddDemoPrinter(std::wstring port) {
  DRIVER_INFO_3W driver = {};
  driver.cVersion = 3;
  driver.pName = kDriver;
  driver.pDriverPath = const_cast<LPWSTR>(L"wineps.drv");
  driver.pDataFile = const_cast<LPWSTR>(L"generic.ppd");
  driver.pConfigFile = const_cast<LPWSTR>(L"wineps.drv");
  driver.pDefaultDataType = const_cast<LPWSTR>(L"RAW");
  if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) {
    return false;
  }
  PRINTER_INFO_2W info = {};
  info.pPrinterName = kPrinter;
  info.pPortName = port.data();
  info.pDriverName = kDriver;
  info.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
  info.pDatatype = const_cast<LPWSTR>(L"RAW");
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (printer) ClosePrinter(printer);
  return printer != nullptr;
}

void DeleteDemoPrinter() {
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (OpenPrinterW(kPrinter, &printer, &access)) {
    DeletePrinter(printer);
    ClosePrinter(printer);
  }
  DeletePrinterDriverW(nullptr, nullptr, kDriver);
}

bool PrintRaw(const std::string& job) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(kPrinter, &printer, nullptr)) return false;
  DOC_INFO_1W document = {const_cast<LPWSTR>(L"A page through the monitor"), nullptr, const_cast<LPWSTR>(L"RAW")};
  DWORD written = 0;
  bool printed = StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&document)) &&
                 WritePrinter(printer, const_cast<char*>(job.data()), static_cast<DWORD>(job.size()), &written);
  printed = EndDocPrinter(printer) && printed;
  ClosePrinter(printer);
  return printed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::ifstream file(argv[2], std::ios::binary);
  std::string job((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (job.empty()) return 2;
  bool printed = AddDemoPrinter(Wide(argv[1])) && PrintRaw(job);
  if (!printed) fprintf(stderr, "pm_printdemo: the job did not print (error %lu)\n", GetLastError());
  DeleteDemoPrinter();
  return printed ? 0 : 1;
}
