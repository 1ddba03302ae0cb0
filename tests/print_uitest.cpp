// Jobs through Wine's real spooler to a test printer on 127.0.0.1. The monitor, a printer and its
// driver are installed for each test and removed after it; the library's events are captured.
#include <gtest/gtest.h>

#include <windows.h>
#include <winsock.h>
#include <winspool.h>
#include <winsplp.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "model/portentry.h"
#include "testregistry.h"

// The spooler's records are set by the fields this test needs; the others stay zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

constexpr wchar_t kPrinter[] = L"Pressmark Test Printer";
constexpr wchar_t kDriver[] = L"Pressmark Test Driver";
constexpr wchar_t kPort[] = L"PressmarkTest:";
const std::string kPortSubkey = "Ports\\PressmarkTest:";
constexpr char kTrace[] = "print-trace.txt";  // in the working directory

// The reports of the monitor, each as its identifier in hexadecimal and its strings, "|" apart.
std::vector<std::string> events;

BOOL WINAPI CaptureReport(HANDLE, WORD, WORD, DWORD identifier, PSID, WORD count, DWORD, LPCSTR* strings, LPVOID) {
  char text[9];
  snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(identifier));
  std::string& event = events.emplace_back(text);
  for (WORD i = 0; i < count; ++i) event = event + "|" + strings[i];
  return TRUE;
}

// Points the module's imports of `original` at `replacement`; the first event check shows it took.
void PatchImport(HMODULE module, void* original, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); library->Name; ++library) {
    for (auto* slot = reinterpret_cast<ULONG_PTR*>(base + library->FirstThunk); *slot; ++slot) {
      if (*slot != reinterpret_cast<ULONG_PTR>(original)) continue;
      DWORD protection = 0;
      VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
      *slot = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(slot, sizeof *slot, protection, &protection);
    }
  }
}

// A printer on 127.0.0.1 that serves its connections in turn in a thread of its own. One that stops
// reading takes none: the system's buffers fill and stay full. An LPR printer drops its first
// connection once the queue is accepted and, as a half-closing one, keeps the others open.
struct TestPrinter {
  enum Mode { kKeeps, kStopsReading, kHalfCloses, kCloses, kReadsSlowly, kSpeaksLpr, kRefusesQueue };

  explicit TestPrinter(Mode mode) {
    sockaddr_in address = {AF_INET, 0, {.S_un = {.S_addr = htonl(INADDR_LOOPBACK)}}, {}};
    int length = sizeof address;
    EXPECT_TRUE(bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(listener_, 2) == 0);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    if (mode != kStopsReading) thread_ = std::thread([this, mode, served = 0]() mutable {
      std::vector<SOCKET> kept;
      for (SOCKET connection; (connection = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) {
        if (Serve(connection, mode, served++ == 0)) kept.push_back(connection);
      }
      for (SOCKET connection : kept) closesocket(connection);
    });
  }
  ~TestPrinter() { Finish(); }

  // Answers whether the connection stays open until the test is done.
  bool Serve(SOCKET connection, Mode mode, bool first) {
    char buffer[65536];
    size_t limit = mode == kHalfCloses ? 1000 : mode == kCloses ? 4096 : ~size_t{0};
    int chunk = mode == kReadsSlowly ? 32768 : sizeof buffer;
    for (int got; (got = recv(connection, buffer, int(std::min<size_t>(chunk, limit - received.size())), 0)) > 0;) {
      received.append(buffer, got);
      // An LPR printer acknowledges what it was sent, or refuses the queue at once.
      if (mode >= kSpeaksLpr) send(connection, mode == kRefusesQueue ? "\1" : "", 1, 0);
      if (mode == kRefusesQueue || (mode == kSpeaksLpr && first) || received.size() == limit) break;
      if (mode == kReadsSlowly) Sleep(100);
    }
    bool keep = mode == kHalfCloses || (mode == kSpeaksLpr && !first);
    if (mode == kHalfCloses) shutdown(connection, 1);
    if (!keep) closesocket(connection);
    return SetEvent(closed) && keep;
  }

  // Ends the wait for a connection, or the one not taken, and waits for the printer's thread.
  void Finish() {
    closesocket(std::exchange(listener_, INVALID_SOCKET));
    if (thread_.joinable()) thread_.join();
  }

  unsigned short port = 0;
  std::string received;  // once Finish has returned
  HANDLE closed = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // set when a connection was served

  SOCKET listener_ = socket(AF_INET, SOCK_STREAM, 0);
  std::thread thread_;
};

// A job through the monitor's own entry points, called as a spooler calls them, for what a
// spooler does not arrange: a pause between two blocks, two jobs at once, an empty job.
struct DirectJob {
  DirectJob(HMODULE library, const wchar_t* document) {
    auto initialize = reinterpret_cast<LPMONITOR2(WINAPI*)(PMONITORINIT, PHANDLE)>(
        reinterpret_cast<void*>(GetProcAddress(library, "InitializePrintMonitor2")));
    MONITORINIT init = {sizeof init};
    DOC_INFO_1W info = {const_cast<LPWSTR>(document), nullptr, nullptr};
    started = (table = initialize(&init, &monitor)) &&
              table->pfnOpenPort(monitor, const_cast<LPWSTR>(L"PressmarkTest:"), &port) &&
              table->pfnStartDocPort(port, nullptr, 0, 1, reinterpret_cast<BYTE*>(&info));
  }
  ~DirectJob() { if (port) table->pfnClosePort(port); if (table) table->pfnShutdown(monitor); }
  bool End() { return started && table->pfnEndDocPort(port); }
  bool Write(std::string bytes, DWORD written = 0) {
    auto* data = reinterpret_cast<BYTE*>(bytes.data());
    return table->pfnWritePort(port, data, DWORD(bytes.size()), &written) && written == bytes.size();
  }

  LPMONITOR2 table = nullptr;
  HANDLE monitor = nullptr, port = nullptr;
  bool started = false;
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
    library = LoadLibraryA((systemDir + "\\vtlpmmw4.dll").c_str());
    ASSERT_NE(nullptr, library);
    PatchImport(library, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32"), "ReportEventA")),
                reinterpret_cast<void*>(CaptureReport));
    DRIVER_INFO_3W driver = {.cVersion = 3, .pName = Text(kDriver), .pDriverPath = Text(L"wineps.drv"),
                             .pDataFile = Text(L"generic.ppd"), .pConfigFile = Text(L"wineps.drv"),
                             .pDefaultDataType = Text(L"RAW")};
    ASSERT_TRUE(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver),
                                    APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) << GetLastError();
    PRINTER_INFO_2W info = {.pPrinterName = Text(kPrinter), .pPortName = Text(kPort), .pDriverName = Text(kDriver),
                            .pPrintProcessor = Text(L"winprint"), .pDatatype = Text(L"RAW")};
    ASSERT_TRUE(ClosePrinter(AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info)))) << "no printer made";
  }
  void TearDown() override {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    EXPECT_TRUE(!OpenPrinterW(Text(kPrinter), &printer, &access) || (DeletePrinter(printer) & ClosePrinter(printer)));
    DeletePrinterDriverW(nullptr, nullptr, Text(kDriver));
    if (library) FreeLibrary(library);
    EXPECT_TRUE(!installed || RunTool("vtlpminst.exe", "remove") == 0);
    DeleteFileA(kTrace);
    WSACleanup();
  }

  static LPWSTR Text(const wchar_t* text) { return const_cast<LPWSTR>(text); }

  // Plants the port anew: TCP/IP to the test printer on 127.0.0.1.
  void PlantPort(const TestPrinter& printer) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kDefaultMonitorKeyPath) + "\\" + kPortSubkey).c_str());
    Set(kPortSubkey, "Protocol", std::to_string(kProtocolTcp));
    Set(kPortSubkey, "TCP/IP Address", "127.0.0.1");
    Set(kPortSubkey, "TCP/IP Port Number", std::to_string(printer.port));
  }
  // Sets a value beneath the monitor key as text (the store reads numbers from text too).
  void Set(const std::string& subkey, const char* name, const std::string& text) {
    std::string key = std::string(kDefaultMonitorKeyPath) + "\\" + subkey;
    ASSERT_EQ(0, RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_SZ, text.c_str(), DWORD(text.size() + 1)));
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
  char path_[MAX_PATH];
  const std::string systemDir{path_, GetSystemDirectoryA(path_, sizeof path_)};
};

std::string PrinterText(const TestPrinter& printer) {
  return "127.0.0.1 (127.0.0.1, TCP port " + std::to_string(printer.port) + ")";
}

TEST_F(PrintTest, JobsArriveWholeByEveryWayOrFailWithTheReason) {
  std::string program = "%!PS-Adobe-3.0\n" + std::string(5 << 20, '\0');  // with every byte value
  for (size_t i = 15; i < program.size(); ++i) program[i] = static_cast<char>(i * 7 + i / 4096);
  // The job-language header ends past the spooler's first write; the document ends with a job-language block.
  const std::string pjl = "\x1B%-12345X@PJL COMMENT " + std::string(4096, '-') + "\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\n";
  const std::string end = "\x1B%-12345X@PJL EOJ\r\n\x1B%-12345X", document = pjl + program + end;
  TestPrinter printer(TestPrinter::kKeeps);
  ASSERT_NO_FATAL_FAILURE(PlantPort(printer));
  Set(kPortSubkey, "Banner", "True");
  Set("Options", "Logging Level", "2");  // jobs printed are reported too
  EXPECT_TRUE(Print(L"Q3 \"report\"\r\n(draft)\\ %%EOF", document));
  printer.Finish();
  // The PJL header, the job header, the banner page, the PostScript unchanged, the trailer, the closing block;
  // the name breaks no line. The printed event counts the document's bytes alone.
  EXPECT_TRUE(!events.empty() && events.back().ends_with("|" + std::to_string(document.size())));
  const std::string& got = printer.received;
  EXPECT_EQ(0u, got.find(pjl + "%!PS-Adobe-3.0\n%%Title: Q3 'report'  (draft)\\ %%EOF\n")) << got.substr(0, 999);
  EXPECT_NE(std::string::npos, got.find("showpage\nrestore\n"));
  EXPECT_TRUE(program + "\n%%EOF\n\x04" + end == got.substr(got.size() - program.size() - 8 - end.size()));
  EXPECT_FALSE(Print(L"unreachable", "%!PS\n"));  // nothing listens at its port any more
  EXPECT_EQ(std::vector<std::string>{"c0002711|PressmarkTest:|" + PrinterText(printer) +
                                     "|the printer refused the connection|10061|unreachable"},
            events);

  // Far more than the connection's buffers hold, and a job that fits them, to a printer that stops reading.
  const std::string large(24 << 20, 'x');
  for (size_t size : {large.size(), size_t{9}}) {
    TestPrinter stalled(TestPrinter::kStopsReading);
    ASSERT_NO_FATAL_FAILURE(PlantPort(stalled));
    Set(kPortSubkey, "Send Timeout", "1");
    EXPECT_FALSE(Print(L"stalled", large.substr(0, size)));
    std::string prefix = "c0002712|PressmarkTest:|" + PrinterText(stalled) + "|stalled|";
    EXPECT_TRUE(events.size() == 1 && events[0].starts_with(prefix) && events[0].ends_with("10060"))
        << ::testing::PrintToString(events);
  }

  // Through the entry points, where a pause can be made: a printer half-closes after 1,000 bytes of
  // a 4,097-byte job and reads no more; one closes after the first block, before the last byte.
  for (auto [mode, before] : {std::pair{TestPrinter::kHalfCloses, 4097}, {TestPrinter::kCloses, 4096}}) {
    TestPrinter cut(mode);
    ASSERT_NO_FATAL_FAILURE(PlantPort(cut));
    events.clear();
    DirectJob job(library, L"cut");
    EXPECT_TRUE(job.started && job.Write(std::string(before, 'c')));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(cut.closed, 20000));
    EXPECT_TRUE(before == 4097 || job.Write("c"));
    WSADATA data;
    WSACleanup();  // the job's own clean-up is then the last one, which sets error 6
    EXPECT_FALSE(job.End());
    EXPECT_EQ(59u, GetLastError());  // the printer's reset, as the entry points report any socket error
    WSAStartup(MAKEWORD(1, 1), &data);
    EXPECT_EQ(std::vector<std::string>{"c0002712|PressmarkTest:|" + PrinterText(cut) + "|cut|4097|"
                                       "the printer closed the connection|10054"}, events);
  }

  // The printer drops the connection of the start; the job ends while the printer keeps its own open.
  TestPrinter lpr(TestPrinter::kSpeaksLpr);
  ASSERT_NO_FATAL_FAILURE(PlantPort(lpr));
  Set(kPortSubkey, "LPR Queue", "raw queue");
  EXPECT_TRUE(Print(L"Q4\nPevil", large)) << ::testing::PrintToString(events);
  Set("Options", "Logging Level", "2");
  events.clear();
  EXPECT_TRUE(DirectJob(library, L"empty").End());
  EXPECT_EQ(std::vector<std::string>{"40004e21|PressmarkTest:|empty|127.0.0.1 (127.0.0.1, TCP port " +
                                     std::to_string(lpr.port) + ", LPR queue raw queue)|0"}, events);
  lpr.Finish();
  // The queue, the data file of its exact size, the control file where the name starts no command;
  // of the empty job the queue's answer only.
  const std::string& sent = lpr.received;
  EXPECT_EQ(0u, sent.find("\x02raw_queue\n\x02raw_queue\n\x03" + std::to_string(large.size()) + " dfA"));
  EXPECT_TRUE(sent.find(large + '\0') != sent.npos && sent.ends_with(std::string(1, '\0') + "\x02raw_queue\n") &&
              sent.find("\nJQ4 Pevil\nNQ4 Pevil\nldfA") != sent.npos && sent.find("\nPevil") == sent.npos);

  TestPrinter refusing(TestPrinter::kRefusesQueue);
  ASSERT_NO_FATAL_FAILURE(PlantPort(refusing));
  Set(kPortSubkey, "LPR Queue", "closed");
  EXPECT_FALSE(Print(L"refused", "%!PS\n"));
  EXPECT_TRUE(events.size() == 1 && events[0].find("|the printer refused the LPR queue|") != std::string::npos)
      << ::testing::PrintToString(events);

  // A VTLnet port, through the transport that the installed library's node file gives.
  TestPrinter node(TestPrinter::kKeeps);
  std::ofstream(systemDir + "\\vnetnodes.txt", std::ios::app)
      << "\n5.55 PMTEST 127.0.0.1:" << node.port << "\n5.56 NOWAY\n";
  ASSERT_NO_FATAL_FAILURE(PlantPort(node));
  Set(kPortSubkey, "Protocol", std::to_string(kProtocolVnet));
  Set(kPortSubkey, "VTLnet Name", "PMTEST");
  EXPECT_TRUE(Print(L"vtlnet", "%"));  // too short to tell: it goes out untouched at the job's end
  Set(kPortSubkey, "VTLnet Name", "NOWAY");
  for (auto [name, value] : {std::pair{"Logging Level", "1"}, {"Trace", "True"}, {"Trace File", kTrace}}) {
    Set("Options", name, value);  // read at each job's start: a trace line for each step
  }
  EXPECT_FALSE(Print(L"vtlnet", "%!PS\n"));
  EXPECT_EQ(std::vector<std::string>{"c0002711|PressmarkTest:|NOWAY (5.56, VTLnet)|"
                                     "the VTLnet library has no transport to the printer's node|53|vtlnet"},
            events);
  node.Finish();
  EXPECT_EQ("%", node.received);

  // A printer that reads slowly for about four seconds under a two-second send timeout, while a
  // second job to it shares the trace file.
  TestPrinter slow(TestPrinter::kReadsSlowly);
  ASSERT_NO_FATAL_FAILURE(PlantPort(slow));
  Set(kPortSubkey, "Send Timeout", "2");
  DirectJob first(library, L"slow"), second(library, L"beside");
  EXPECT_TRUE(first.Write(std::string(5 << 18, 's')) && first.End() && second.End());
  std::ifstream trace(kTrace);
  const std::string traced(std::istreambuf_iterator<char>(trace), {});
  EXPECT_TRUE(traced.starts_with("StartDocPort PressmarkTest:: job \"vtlnet\" to NOWAY") &&
              traced.find("job \"beside\"") != std::string::npos) << traced;
}

}  // namespace
