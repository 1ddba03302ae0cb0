// A page through the monitor, for `make print-demo` (scripts/print-demo): adds a printer on the
// given Pressmark port, prints a page to it through the print spooler, then deletes the printer
// and its driver again. With a PostScript file the page is that file, sent as a RAW job; without
// one the page is drawn with GDI, which Wine's PostScript driver turns into PostScript.
// Usage: pm_printdemo <port name> [<PostScript file>]; the exit code is 0 once the job printed.
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
  DWORD copy = APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY;
  if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), copy)) return false;
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

bool PrintDrawn() {
  HDC dc = CreateDCW(nullptr, kPrinter, nullptr, nullptr);
  if (!dc) return false;
  DOCINFOW document = {sizeof document, L"A page drawn through the monitor", nullptr, nullptr, 0};
  bool printed = StartDocW(dc, &document) > 0 && StartPage(dc) > 0;
  if (printed) {
    int inch = GetDeviceCaps(dc, LOGPIXELSY);
    HFONT title = CreateFontW(-inch * 28 / 72, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, L"Arial");
    HGDIOBJ previous = SelectObject(dc, title);
    TextOutW(dc, inch, inch, L"A page drawn through the monitor", 32);
    SelectObject(dc, previous);
    DeleteObject(title);
    TextOutW(dc, inch, inch * 3 / 2, L"GDI, Wine's PostScript driver, the spooler, a Pressmark port.", 61);
    HBRUSH blue = CreateSolidBrush(RGB(51, 102, 204));
    RECT band = {inch, inch * 2, inch * 15 / 2, inch * 4};
    FillRect(dc, &band, blue);
    DeleteObject(blue);
    Ellipse(dc, inch * 3, inch * 5, inch * 11 / 2, inch * 15 / 2);
    printed = EndPage(dc) > 0;
  }
  printed = EndDoc(dc) > 0 && printed;
  DeleteDC(dc);
  return printed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) return 2;
  std::string job;
  if (argc == 3) {
    std::ifstream file(argv[2], std::ios::binary);
    job.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (job.empty()) return 2;
  }
  bool printed = AddDemoPrinter(Wide(argv[1])) && (argc == 3 ? PrintRaw(job) : PrintDrawn());
  if (!printed) fprintf(stderr, "pm_printdemo: the job did not print (error %lu)\n", GetLastError());
  DeleteDemoPrinter();
  return printed ? 0 : 1;
}
