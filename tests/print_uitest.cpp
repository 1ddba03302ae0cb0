// Jobs through Wine's real spooler: a printer on a Pressmark port prints to a test printer, a
// listener of this program on 127.0.0.1. The monitor is installed into the prefix for the test
// and removed after it, with the printer and its driver; its event reports are captured where
// the library calls the system's ReportEventA.
#include <gtest/gtest.h>

#include <windows.h>
#include <winsock.h>
#include <winspool.h>

#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "diag/eventlog.h"
#include "model/portentry.h"
#include "testregistry.h"

// The spooler's records are set by the fields this test needs; the others stay zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

constexpr wchar_t kPrinter[] = L"Pressmark Test Printer";
constexpr wchar_t kDriver[] = L"Pressmark Test Driver";
constexpr char kPort[] = "PressmarkTest:";
const std::string kPortSubkey = std::string("Ports\\") + kPort;

// The reports of the monitor, each as its identifier in hexadecimal and its strings, "|" apart.
std::vector<std::string> events;

BOOL WINAPI CaptureReport(HANDLE, WORD, WORD, DWORD identifier, PSID, WORD count, DWORD, LPCSTR* strings, LPVOID) {
  char text[9];
  snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(identifier));
  std::string& event = events.emplace_back(text);
  for (WORD i = 0; i < count; ++i) event = event + "|" + strings[i];
  return TRUE;
}

// Points the module's imports of `original` at `replacement`.
void PatchImport(HMODULE module, void* original, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  int patched = 0;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); library->Name; ++library) {
    for (auto* slot = reinterpret_cast<ULONG_PTR*>(base + library->FirstThunk); *slot; ++slot) {
      if (*slot != reinterpret_cast<ULONG_PTR>(original)) continue;
      DWORD protection = 0;
      VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
      *slot = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(slot, sizeof *slot, protection, &protection);
      ++patched;
    }
  }
  EXPECT_EQ(1, patched);
}

// A printer on 127.0.0.1 that serves one connection in a thread of its own.
class TestPrinter {
public:
  enum Mode { kKeeps, kDropsHalfway, kStopsReading, kSpeaksLpr, kRefusesQueue };

  explicit TestPrinter(Mode mode) : mode_(mode) {
    sockaddr_in address = {AF_INET, 0, {}, {}};
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    int length = sizeof address;
    EXPECT_EQ(0, bind(listener_, reinterpret_cast<sockaddr*>(&address), length));
    EXPECT_EQ(0, listen(listener_, 1));
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      SOCKET connection = accept(listener_, nullptr, nullptr);
      if (connection != INVALID_SOCKET) Serve(connection);
      closesocket(connection);
    });
  }
  ~TestPrinter() {
    Finish();
    CloseHandle(released_);
  }

  // Ends the connection (or the wait for one) and waits for the printer's thread.
  void Finish() {
    SetEvent(released_);
    closesocket(listener_);
    if (thread_.joinable()) thread_.join();
  }

  unsigned short port = 0;
  std::vector<std::string> received;  // once Finish has returned: the bytes, or each LPR part

private:
  // Reads `size` bytes (a line when 0) as one more part of what was received.
  bool Read(SOCKET connection, size_t size) {
    std::string& part = received.emplace_back();
    char buffer[65536];
    while (size == 0 ? part.empty() || part.back() != '\n' : part.size() < size) {
      size_t wanted = size == 0 ? 1 : std::min(sizeof buffer, size - part.size());
      int got = recv(connection, buffer, static_cast<int>(wanted), 0);
      if (got <= 0) {
        if (part.empty()) received.pop_back();
        return size == ~0u;  // a raw job ends when the monitor closes its side
      }
      part.append(buffer, got);
      if (mode_ == kDropsHalfway && part.size() > 1000000) return false;
    }
    return true;
  }

  void Serve(SOCKET connection) {
    if (mode_ == kStopsReading) {
      WaitForSingleObject(released_, INFINITE);  // until the test is done
    } else if (mode_ == kKeeps || mode_ == kDropsHalfway) {
      linger abortive = {1, 0};  // a printer that drops the line resets it
      if (!Read(connection, ~0u)) setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&abortive), 4);
    } else if (Read(connection, 0) && send(connection, mode_ == kSpeaksLpr ? "" : "\1", 1, 0) && mode_ == kSpeaksLpr) {
      // Each announced file: the line, the bytes it announces and a 0 byte, each acknowledged.
      while (Read(connection, 0) && send(connection, "", 1, 0) &&
             Read(connection, strtoull(received.back().c_str() + 1, nullptr, 10) + 1)) {
        send(connection, "", 1, 0);
      }
    }
  }

  Mode mode_;
  SOCKET listener_ = socket(AF_INET, SOCK_STREAM, 0);
  HANDLE released_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread thread_;
};

class PrintTest : public ::testing::Test {
protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
    HKEY installedBefore = nullptr;
    ASSERT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath, 0, KEY_READ, &installedBefore))
        << "this prefix has the monitor installed already; remove it with vtlpminst remove";
    ASSERT_EQ(0u, RunTool("vtlpminst.exe", "install"));
    installed = true;
    // Held loaded, the spooler's loads of the library find this copy, whose reports are captured.
    char path[MAX_PATH];
    library = LoadLibraryA((std::string(path, GetSystemDirectoryA(path, sizeof path)) + "\\vtlpmmw4.dll").c_str());
    ASSERT_NE(nullptr, library);
    PatchImport(library, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32"), "ReportEventA")),
                reinterpret_cast<void*>(CaptureReport));
    DRIVER_INFO_3W driver = {.cVersion = 3, .pName = const_cast<LPWSTR>(kDriver), .pDriverPath = Text(L"wineps.drv"),
                             .pDataFile = Text(L"generic.ppd"), .pConfigFile = Text(L"wineps.drv"),
                             .pDefaultDataType = Text(L"RAW")};
    ASSERT_TRUE(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver),
                                    APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) << GetLastError();
    std::wstring port(kPort, kPort + strlen(kPort));
    PRINTER_INFO_2W info = {.pPrinterName = const_cast<LPWSTR>(kPrinter), .pPortName = port.data(),
                            .pDriverName = const_cast<LPWSTR>(kDriver), .pPrintProcessor = Text(L"winprint"),
                            .pDatatype = Text(L"RAW")};
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    ASSERT_NE(nullptr, printer) << GetLastError();
    ClosePrinter(printer);
    Set("Options", "Logging Level", 2);  // delivered jobs are reported too
  }
  void TearDown() override {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, &access)) {
      EXPECT_TRUE(DeletePrinter(printer));
      ClosePrinter(printer);
    }
    DeletePrinterDriverW(nullptr, nullptr, const_cast<LPWSTR>(kDriver));
    if (library) FreeLibrary(library);
    EXPECT_TRUE(!installed || RunTool("vtlpminst.exe", "remove") == 0);
    WSACleanup();
  }

  static LPWSTR Text(const wchar_t* text) { return const_cast<LPWSTR>(text); }

  // Plants the port anew: TCP/IP to the test printer on 127.0.0.1.
  void PlantPort(const TestPrinter& printer) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kDefaultMonitorKeyPath) + "\\" + kPortSubkey).c_str());
    Set(kPortSubkey, "Protocol", kProtocolTcp);
    Set(kPortSubkey, "TCP/IP Address", "127.0.0.1");
    Set(kPortSubkey, "TCP/IP Port Number", printer.port);
  }
  // Sets a value beneath the monitor key: the port's (kPortSubkey) or the options'.
  void Set(const std::string& subkey, const char* name, DWORD value) {
    std::string key = std::string(kDefaultMonitorKeyPath) + "\\" + subkey;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_DWORD, &value, 4));
  }
  void Set(const std::string& subkey, const char* name, const char* text) {
    std::string key = std::string(kDefaultMonitorKeyPath) + "\\" + subkey;
    ASSERT_EQ(0, RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_SZ, text, DWORD(strlen(text) + 1)));
  }

  // Prints one RAW job; answers EndDocPrinter's result.
  bool Print(const wchar_t* name, const std::string& bytes) {
    events.clear();
    HANDLE printer = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr)) << GetLastError();
    DOC_INFO_1W document = {const_cast<LPWSTR>(name), nullptr, Text(L"RAW")};
    EXPECT_NE(0u, StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&document))) << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WritePrinter(printer, const_cast<char*>(bytes.data()), DWORD(bytes.size()), &written));
    bool printed = EndDocPrinter(printer);
    ClosePrinter(printer);
    return printed;
  }

  bool installed = false;
  HMODULE library = nullptr;
};

// The printer as the monitor's events name a test printer.
std::string PrinterText(const TestPrinter& printer) {
  return "127.0.0.1 (127.0.0.1, TCP port " + std::to_string(printer.port) + ")";
}

TEST_F(PrintTest, RawJobsArriveWhole) {
  const std::string pjl = "\x1B%-12345X@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";
  const std::string document = pjl + "%!PS-Adobe-3.0\n/Times-Roman findfont 12 scalefont setfont\nshowpage\n";
  char path[MAX_PATH];
  std::string trace = std::string(path, GetTempPathA(sizeof path, path)) + "pressmark-print-trace.log";
  {
    TestPrinter printer(TestPrinter::kKeeps);
    ASSERT_NO_FATAL_FAILURE(PlantPort(printer));
    Set(kPortSubkey, "Banner", "True");
    Set(kPortSubkey, "Set Input Tray", "True");
    Set(kPortSubkey, "Input Tray Number", 3);
    Set(kPortSubkey, "Set Output Tray", "True");
    Set(kPortSubkey, "Output Tray Number", 2);
    Set("Options", "Trace", "True");
    Set("Options", "Trace File", trace.c_str());
    EXPECT_TRUE(Print(L"Q3 \"report\"\r\n(draft)\\ %%EOF", document));
    Set("Options", "Trace", "False");
    printer.Finish();
    // The document's job-language header, then the job header, banner, trays, the document's
    // PostScript unchanged, the trailer; the name breaks out of no line.
    const std::string& got = printer.received.at(0);
    EXPECT_EQ(0u, got.find(pjl + "%!PS-Adobe-3.0\n%%Title: Q3 'report'  (draft)\\ %%EOF\n")) << got;
    EXPECT_NE(std::string::npos, got.find("(Document: ) show (Q3 'report'  \\(draft\\)\\\\ %%EOF) show\n"));
    size_t trays = got.find("/MediaPosition 3");
    EXPECT_TRUE(got.find("showpage\nrestore\n") < trays && trays < got.find("<< /OutputType (2) >>")) << got;
    const std::string program = document.substr(pjl.size());
    EXPECT_EQ(program + "\n%%EOF\n\x04", got.substr(got.size() - program.size() - 8));
    EXPECT_EQ(std::vector<std::string>{"40004e21|PressmarkTest:|Q3 'report'  (draft)\\ %%EOF|" +
                                       PrinterText(printer) + "|" + std::to_string(document.size())},
              events);
  }
  // One trace line for each step of the job.
  std::ifstream file(trace, std::ios::binary);
  std::string lines((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  file.close();
  EXPECT_TRUE(DeleteFileA(trace.c_str()));
  EXPECT_EQ(0u, lines.find("StartDocPort PressmarkTest:: job \"Q3 'report'  (draft)\\ %%EOF\" to 127.0.0.1")) << lines;
  EXPECT_NE(std::string::npos, lines.find("\r\nWritePort PressmarkTest:: PostScript, wrapped"));
  EXPECT_NE(std::string::npos, lines.find("\r\nEndDocPort PressmarkTest:: 108 bytes of the document, error 0\r\n"));

  // Not PostScript: several megabytes in the spooler's chunks, byte for byte.
  std::string binary(5 << 20, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7 + i / 4096);
  TestPrinter printer(TestPrinter::kKeeps);
  ASSERT_NO_FATAL_FAILURE(PlantPort(printer));
  EXPECT_TRUE(Print(L"binary", binary));
  printer.Finish();
  EXPECT_TRUE(printer.received.at(0) == binary);
}

TEST_F(PrintTest, FailedDeliveriesAreNeverReportedPrinted) {
  auto gone = std::make_unique<TestPrinter>(TestPrinter::kKeeps);
  gone->Finish();  // nothing listens at its port any more
  ASSERT_NO_FATAL_FAILURE(PlantPort(*gone));
  Set("Options", "Logging Level", DWORD{0});  // no job events at all
  EXPECT_FALSE(Print(L"unreachable", "%!PS\n"));
  EXPECT_EQ(0u, events.size());
  Set("Options", "Logging Level", 1);  // failures only
  EXPECT_FALSE(Print(L"unreachable", "%!PS\n"));
  EXPECT_EQ(std::vector<std::string>{"c0002711|PressmarkTest:|" + PrinterText(*gone) +
                                     "|the printer refused the connection|10061|unreachable"},
            events);

  // Far more than the connection's buffers hold: the printer drops the line or stops reading.
  // Then a job small enough for the buffers, which still waits for the printer to take it.
  const std::string large(24 << 20, 'x');
  for (auto [mode, size, error] : {std::tuple{TestPrinter::kDropsHalfway, large.size(), "10054"},
                                   {TestPrinter::kStopsReading, large.size(), "10060"},
                                   {TestPrinter::kStopsReading, size_t{9}, "10060"}}) {
    TestPrinter printer(mode);
    ASSERT_NO_FATAL_FAILURE(PlantPort(printer));
    Set(kPortSubkey, "Send Timeout", 1);
    EXPECT_FALSE(Print(L"stalled", large.substr(0, size)));
    // port, printer, document, bytes out, reason, code
    std::string prefix = "c0002712|PressmarkTest:|" + PrinterText(printer) + "|stalled|";
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(0u, events[0].find(prefix)) << events[0];
    unsigned long long wentOut = std::stoull(events[0].substr(prefix.size()));
    EXPECT_TRUE(size < 10 ? wentOut == size : wentOut > 0 && wentOut < size) << wentOut;
    EXPECT_EQ(error, events[0].substr(events[0].size() - 5));
  }
}

TEST_F(PrintTest, LprJobsAnnounceTheirExactSizeAndARefusedQueueFails) {
  const std::string document(3 << 20, '\x1B');
  TestPrinter printer(TestPrinter::kSpeaksLpr);
  ASSERT_NO_FATAL_FAILURE(PlantPort(printer));
  Set(kPortSubkey, "LPR Queue", "raw queue");
  Set(kPortSubkey, "Send Timeout", 5);
  EXPECT_TRUE(Print(L"Q4\nPevil", document));
  printer.Finish();
  // The queue; the data file's line, bytes and 0 byte; the control file's line, text and 0 byte.
  const std::vector<std::string>& parts = printer.received;
  ASSERT_EQ(5u, parts.size());
  EXPECT_EQ("\x02raw_queue\n", parts[0]);
  EXPECT_EQ(0u, parts[1].find("\x03" + std::to_string(document.size()) + " dfA"));
  EXPECT_TRUE(parts[2] == document + '\0');
  // The document's name is one line of the control file: it starts no command of its own.
  EXPECT_NE(std::string::npos, parts[4].find("\nJQ4 Pevil\nNQ4 Pevil\nldfA"));
  EXPECT_EQ(std::string::npos, parts[4].find("\nPevil"));
  EXPECT_EQ('\0', parts[4].back());

  TestPrinter refusing(TestPrinter::kRefusesQueue);
  ASSERT_NO_FATAL_FAILURE(PlantPort(refusing));
  Set(kPortSubkey, "LPR Queue", "closed");
  EXPECT_FALSE(Print(L"refused", document));
  EXPECT_EQ(std::vector<std::string>{"c0002711|PressmarkTest:|127.0.0.1 (127.0.0.1, TCP port " +
                                     std::to_string(refusing.port) +
                                     ", LPR queue closed)|the printer refused the LPR queue|10061|refused"},
            events);
}

TEST_F(PrintTest, VtlnetPortsPrintThroughTheLibrarysTransport) {
  TestPrinter printer(TestPrinter::kKeeps);
  char path[MAX_PATH];
  std::ofstream nodes(std::string(path, GetSystemDirectoryA(path, sizeof path)) + "\\vnetnodes.txt", std::ios::app);
  nodes << "\n5.55 PMTEST 127.0.0.1:" << printer.port << "\n5.56 NOWAY\n";  // the installed copy
  nodes.close();
  ASSERT_NO_FATAL_FAILURE(PlantPort(printer));
  Set(kPortSubkey, "Protocol", kProtocolVnet);
  Set(kPortSubkey, "VTLnet Name", "PMTEST");
  EXPECT_TRUE(Print(L"vtlnet", "%!PS\n"));
  Set(kPortSubkey, "VTLnet Name", "NOWAY");
  EXPECT_FALSE(Print(L"vtlnet", "%!PS\n"));
  EXPECT_EQ(std::vector<std::string>{"c0002711|PressmarkTest:|NOWAY (5.56, VTLnet)|"
                                     "the VTLnet library has no transport to the printer's node|53|vtlnet"},
            events);
  printer.Finish();
  EXPECT_EQ(0u, printer.received.at(0).find("%!PS-Adobe-3.0\n%%Title: vtlnet\n"));
}

}  // namespace
