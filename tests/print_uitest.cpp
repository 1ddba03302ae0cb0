// Jobs through Wine's real spooler to a test printer on 127.0.0.1. The monitor, a printer and its
// driver are installed for each test and removed after it; the library's events are captured.
#include <gtest/gtest.h>

#include <windows.h>
#include <winsock2.h>
#include <winspool.h>
#include <winsplp.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "model/portentry.h"
#include "printer/printerstate.h"
#include "testagent.h"
#include "testregistry.h"
#include "testresolver.h"

// The spooler's records are set by the fields this test needs; the others stay zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

constexpr wchar_t kPrinter[] = L"Pressmark Test Printer";
constexpr wchar_t kDriver[] = L"Pressmark Test Driver";
constexpr wchar_t kPort[] = L"PressmarkTest:";
const std::string kPortKey = std::string(kDefaultMonitorKeyPath) + "\\Ports\\PressmarkTest:";
const std::string kOptionsKey = std::string(kDefaultMonitorKeyPath) + "\\Options";
constexpr char kTrace[] = "print-trace.txt";  // in the working directory

// The reports of the monitor, each as its identifier in hexadecimal and its strings, "|" apart; the
// port statuses it sets, each as the port, the text and the severity.
std::vector<std::string> events, statuses;

BOOL WINAPI CaptureReport(HANDLE, WORD, WORD, DWORD identifier, PSID, WORD count, DWORD, LPCSTR* strings, LPVOID) {
  char text[9];
  snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(identifier));
  std::string& event = events.emplace_back(text);
  for (WORD i = 0; i < count; ++i) event = event + "|" + strings[i];
  return TRUE;
}

BOOL WINAPI CaptureStatus(LPWSTR, LPWSTR port, DWORD level, LPBYTE info) {
  auto* status = reinterpret_cast<PORT_INFO_3W*>(info);
  std::wstring text = std::wstring(port) + L"|" + (status->pszStatus ? status->pszStatus : L"");
  statuses.push_back(std::string(text.begin(), text.end()) + "|" + std::to_string(level == 3 ? status->dwSeverity : 0));
  return TRUE;
}

// Wine's spooler has no SetPortW: the library, which looks for it, finds the test's.
FARPROC WINAPI OfferSetPort(HMODULE module, LPCSTR name) {
  if (HIWORD(name) && !strcmp(name, "SetPortW")) return reinterpret_cast<FARPROC>(CaptureStatus);
  return GetProcAddress(module, name);
}

// Points the module's imports of `original` at `replacement`; the first event check shows it took.
void PatchImport(HMODULE module, void* original, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); library->Name; ++library) {
    for (auto* slot = reinterpret_cast<ULONG_PTR*>(base + library->FirstThunk); *slot; ++slot) {
      DWORD protection = 0;
      if (*slot == ULONG_PTR(original) && VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) {
        *slot = ULONG_PTR(replacement);
      }
    }
  }
}

// A printer on 127.0.0.1 that serves its connections in turn in a thread of its own. One that stops
// reading takes none: the system's buffers fill and stay full. An LPR printer acknowledges every
// block, drops its first connection once the queue is accepted and, as a half-closing one, keeps
// the others open; asked a queue's short state, it answers "no entries" and closes.
struct TestPrinter {
  enum Mode { kKeeps, kStopsReading, kHalfCloses, kReadsSlowly, kSpeaksLpr, kRefusesQueue };

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
    size_t limit = mode == kHalfCloses ? 1000 : ~size_t{0};
    int chunk = mode == kReadsSlowly ? 32768 : sizeof buffer;
    bool queueState = false;
    for (int got; (got = recv(connection, buffer, int(std::min<size_t>(chunk, limit - received.size())), 0)) > 0;) {
      queueState = mode == kSpeaksLpr && buffer[0] == '\3' && received.empty();
      received.append(buffer, got);
      if (queueState && send(connection, "no entries\n", 11, 0)) break;
      if (mode >= kSpeaksLpr) send(connection, mode == kRefusesQueue ? "\1" : "", 1, 0);
      if (mode == kRefusesQueue || (mode == kSpeaksLpr && first) || received.size() == limit) break;
      if (mode == kReadsSlowly) Sleep(100);
    }
    bool keep = mode == kHalfCloses || (mode == kSpeaksLpr && !first && !queueState);
    if (onServed) onServed();
    if (mode == kHalfCloses) shutdown(connection, 1);
    if (!keep) closesocket(connection);
    return SetEvent(closed) && keep;
  }

  // Ends the wait for a connection, or the one not taken, and waits for the printer's thread.
  void Finish() { closesocket(std::exchange(listener_, INVALID_SOCKET)); if (thread_.joinable()) thread_.join(); }

  unsigned short port = 0;
  std::string received;  // once Finish has returned
  HANDLE closed = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // set when a connection was served
  std::function<void()> onServed;  // called before a connection is let go, as a printer counts its pages

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
    return table->pfnWritePort(port, reinterpret_cast<BYTE*>(bytes.data()), DWORD(bytes.size()), &written) &&
           written == bytes.size();
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
    ASSERT_NE(nullptr, library = LoadLibraryA((systemDir + "\\vtlpmmw4.dll").c_str()));
    PatchImport(library, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32"), "ReportEventA")),
                reinterpret_cast<void*>(CaptureReport));
    PatchImport(library, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "GetProcAddress")),
                reinterpret_cast<void*>(OfferSetPort));
    // A name of two addresses: nothing listens on ::1, the test printers listen on 127.0.0.1.
    PatchImport(library, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ws2_32"), "getaddrinfo")),
                reinterpret_cast<void*>(TestResolver::AddressInfo));
    PatchImport(library, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ws2_32"), "freeaddrinfo")),
                reinterpret_cast<void*>(TestResolver::FreeAddressInfo));
    names.Add("pm-two", "::1");
    names.Add("pm-two", "127.0.0.1");
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

  // Sets values beneath the monitor key as text (the store reads numbers from text too).
  using Values = std::vector<std::pair<const char*, std::string>>;
  static void Set(const std::string& key, const Values& values) {
    for (const auto& [name, text] : values) {
      EXPECT_EQ(0, RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_SZ, text.data(), DWORD(text.size() + 1)));
    }
  }
  // Plants the port anew: TCP/IP to port `port` of 127.0.0.1, asking no SNMP agent, then `values`.
  static void PlantPort(unsigned short port, Values values = {}) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kPortKey.c_str());
    values.insert(values.begin(), {{"Protocol", "2"}, {"TCP/IP Address", "127.0.0.1"},
                                   {"TCP/IP Port Number", std::to_string(port)}, {"SNMP Status", "False"}});
    Set(kPortKey, values);
  }

  // Prints one RAW job; answers EndDocPrinter's result.
  bool Print(const wchar_t* name, const std::string& bytes) {
    events.clear();
    HANDLE printer = nullptr;
    EXPECT_TRUE(OpenPrinterW(Text(kPrinter), &printer, nullptr)) << GetLastError();
    DOC_INFO_1W document = {Text(name), nullptr, Text(L"RAW")};
    EXPECT_NE(0u, StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&document))) << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WritePrinter(printer, const_cast<char*>(bytes.data()), DWORD(bytes.size()), &written));
    bool printed = EndDocPrinter(printer);
    ClosePrinter(printer);
    return printed;
  }

  bool installed = false;
  HMODULE library = nullptr;
  TestResolver names;
  char path_[MAX_PATH];
  const std::string systemDir{path_, GetSystemDirectoryA(path_, sizeof path_)};
};

std::string PrinterText(unsigned short port, const std::string& more = "") {
  return "127.0.0.1 (127.0.0.1, TCP port " + std::to_string(port) + more + ")";
}

// The job-language header ends past the spooler's first write; the document, with every byte value,
// ends with a job-language block. The PJL header, the job header, whose name breaks no line, the
// banner page, the PostScript unchanged, the trailer, the closing block; the printed event counts
// the document's bytes alone.
TEST_F(PrintTest, APostScriptJobArrivesWholeInsideThePortsWrapping) {
  std::string program = "%!PS-Adobe-3.0\n" + std::string(5 << 20, '\0');
  for (size_t i = 15; i < program.size(); ++i) program[i] = static_cast<char>(i * 7 + i / 4096);
  const std::string pjl = "\x1B%-12345X@PJL COMMENT " + std::string(4096, '-') + "\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\n";
  const std::string end = "\x1B%-12345X@PJL EOJ\r\n\x1B%-12345X", document = pjl + program + end;
  TestPrinter printer(TestPrinter::kKeeps);
  PlantPort(printer.port, {{"Banner", "True"}, {"TCP/IP Name", "pm-two"}});  // reached on its second address
  Set(kOptionsKey, {{"Logging Level", "2"}});  // jobs printed are reported too
  EXPECT_TRUE(Print(L"Q3 \"report\"\r\n(draft)\\ %%EOF", document));
  printer.Finish();
  std::string reached = "|pm-two (::1, 127.0.0.1, TCP port " + std::to_string(printer.port) + ")|";
  EXPECT_TRUE(!events.empty() && events.back().ends_with(reached + std::to_string(document.size())));
  const std::string& got = printer.received;
  EXPECT_EQ(0u, got.find(pjl + "%!PS-Adobe-3.0\n%%Title: Q3 'report'  (draft)\\ %%EOF\n")) << got.substr(0, 999);
  EXPECT_NE(std::string::npos, got.find("showpage\nrestore\n"));
  EXPECT_TRUE(program + "\n%%EOF\n\x04" + end == got.substr(got.size() - program.size() - 8 - end.size()));
}

TEST_F(PrintTest, AJobFailsAtItsStartWhenThePrinterItsQueueOrItsNodeDoesNotAnswer) {
  std::ofstream(systemDir + "\\vnetnodes.txt", std::ios::app) << "\n5.56 NOWAY\n";
  unsigned short gone = TestPrinter(TestPrinter::kKeeps).port;  // nothing listens there any more
  TestPrinter refusing(TestPrinter::kRefusesQueue);
  for (auto [port, values, event] : std::initializer_list<std::tuple<unsigned short, Values, std::string>>{
           {gone, {{"TCP/IP Name", "pm-two"}},
            "pm-two (::1, 127.0.0.1, TCP port " + std::to_string(gone) + ")|the printer refused the connection|10061"},
           {refusing.port, {{"LPR Queue", "closed"}},
            PrinterText(refusing.port, ", LPR queue closed") + "|the printer refused the LPR queue|10061"},
           {gone, {{"Protocol", "1"}, {"VTLnet Name", "NOWAY"}},
            "NOWAY (5.56, VTLnet)|the VTLnet library has no transport to the printer's node|53"}}) {
    PlantPort(port, values);
    EXPECT_FALSE(Print(L"unreached", "%!PS\n"));
    EXPECT_EQ(std::vector<std::string>{"c0002711|PressmarkTest:|" + event + "|unreached"}, events);
  }
}

// Through the entry points, where a pause can be made. A printer that stops reading takes far more
// than the connection's buffers hold and a job that fits them, but not within the send timeout; one
// half-closes after 1,000 bytes of a 4,097-byte job and reads no more.
TEST_F(PrintTest, APrinterThatStopsTakingTheJobFailsItWithTheReason) {
  for (auto [mode, size, ending] : std::initializer_list<std::tuple<TestPrinter::Mode, int, std::string>>{
           {TestPrinter::kStopsReading, 24 << 20, "the printer took nothing within the port's send timeout|10060"},
           {TestPrinter::kStopsReading, 9, "|9|the printer took nothing within the port's send timeout|10060"},
           {TestPrinter::kHalfCloses, 4097, "|4097|the printer closed the connection|10054"}}) {
    TestPrinter printer(mode);
    PlantPort(printer.port, {{"Send Timeout", "1"}});
    events.clear();
    DirectJob job(library, L"cut");
    EXPECT_TRUE(job.started && (job.Write(std::string(size, 'c')) || size > 9999));
    ASSERT_TRUE(mode != TestPrinter::kHalfCloses || WaitForSingleObject(printer.closed, 20000) == WAIT_OBJECT_0);
    WSADATA data;
    WSACleanup();  // the job's own clean-up is then the last one, which sets error 6
    EXPECT_FALSE(job.End());
    EXPECT_EQ(59u, GetLastError());  // the job's own code, as the entry points report any socket error
    WSAStartup(MAKEWORD(1, 1), &data);
    std::string prefix = "c0002712|PressmarkTest:|" + PrinterText(printer.port) + "|cut|";
    EXPECT_TRUE(events.size() == 1 && events[0].starts_with(prefix) && events[0].ends_with(ending))
        << ::testing::PrintToString(events);
  }
}

// The printer drops the connection of the start; the job ends while the printer keeps its own open.
// It gets the queue, the data file of its exact size, the control file where the name starts no
// command; of the empty job the queue's answer only.
TEST_F(PrintTest, AnLprJobGoesOnAConnectionOfItsOwnWithItsExactSizeAndAnEmptyOneSendsNothing) {
  TestPrinter lpr(TestPrinter::kSpeaksLpr);
  PlantPort(lpr.port, {{"LPR Queue", "raw queue"}});
  const std::string large(5 << 20, 'x');
  EXPECT_TRUE(Print(L"Q4\nPevil", large)) << ::testing::PrintToString(events);
  Set(kOptionsKey, {{"Logging Level", "2"}});
  events.clear();
  EXPECT_TRUE(DirectJob(library, L"empty").End());
  EXPECT_EQ(std::vector<std::string>{"40004e21|PressmarkTest:|empty|" + PrinterText(lpr.port, ", LPR queue raw queue") +
                                     "|0"}, events);
  lpr.Finish();
  const std::string& sent = lpr.received;
  EXPECT_EQ(0u, sent.find("\x02raw_queue\n\x02raw_queue\n\x03" + std::to_string(large.size()) + " dfA"));
  EXPECT_TRUE(sent.find(large + '\0') != sent.npos && sent.ends_with(std::string(1, '\0') + "\x02raw_queue\n") &&
              sent.find("\nJQ4 Pevil\nNQ4 Pevil\nldfA") != sent.npos && sent.find("\nPevil") == sent.npos);
}

// As an administrator runs vtlpmport: the status of a raw port whose printer listens, the test page
// to it inside the port's banner wrapping, traced as any job; both once the printer is gone; an LPR
// queue's answer.
TEST_F(PrintTest, VtlpmportTellsHowAPortsPrinterIsAndPrintsItsTestPage) {
  std::string said, json, failed;
  TestPrinter printer(TestPrinter::kKeeps);
  PlantPort(printer.port, {{"Banner", "True"}});
  Set(kOptionsKey, {{"Trace", "True"}, {"Trace File", kTrace}});
  EXPECT_EQ(0u, RunTool("vtlpmport.exe", "status PressmarkTest:", &said) + RunTool("vtlpmport.exe", "test PressmarkTest:", &said));
  printer.Finish();
  EXPECT_TRUE(said.starts_with("PressmarkTest:  " + PrinterText(printer.port) + ": answers\n  SNMP: off\n"
                               "The test page went to " + PrinterText(printer.port) + ": ")) << said;
  EXPECT_TRUE(printer.received.starts_with("%!PS-Adobe-3.0\n%%Title: Test page\n") &&
              printer.received.find("(Port) show 280 690 moveto (PressmarkTest:) show") != std::string::npos &&
              printer.received.find("(Banner page) show 280 636 moveto (yes) show") != std::string::npos &&
              printer.received.find("showpage\nrestore\n") != std::string::npos) << printer.received;
  std::ifstream trace(kTrace);
  const std::string traced(std::istreambuf_iterator<char>(trace), {});
  EXPECT_NE(std::string::npos, traced.find("EndDocPort PressmarkTest:: ")) << traced;
  EXPECT_EQ(1u, RunTool("vtlpmport.exe", "test PressmarkTest:", &failed) + RunTool("vtlpmport.exe", "status --json", &json));
  EXPECT_EQ("The test page was not printed: the printer refused the connection (10061).\n", failed);
  EXPECT_TRUE(json.find("\"Port\": \"PressmarkTest:\", \"Printer\": \"" + PrinterText(printer.port) +
                        "\", \"Answers\": false, \"Addresses\": 1, \"Error\": 10061") != json.npos) << json;
  TestPrinter lpr(TestPrinter::kSpeaksLpr);
  PlantPort(lpr.port, {{"LPR Queue", "lp"}});
  said.clear();
  EXPECT_EQ(0u, RunTool("vtlpmport.exe", "status", &said));
  EXPECT_NE(std::string::npos, said.find(": answers\n  LPR queue lp: answers \"no entries\"\n")) << said;
}

// The printer's own account over SNMP: the pages it counted for a delivered job; once its paper is
// out and its door open, why a job that cannot reach it failed, shown as the port's status until a
// job goes through, which a printer whose agent does not answer still takes.
TEST_F(PrintTest, APrinterThatAnswersSnmpCountsTheJobsPagesAndTellsWhyAJobFailed) {
  TestAgent agent("override 1.3.6.1.2.1.25.3.2.1.5.1 integer 2\noverride 1.3.6.1.2.1.25.3.5.1.1.1 integer 3\n"
                  "override 1.3.6.1.2.1.25.3.2.1.5.2 integer 5\noverride 1.3.6.1.2.1.25.3.5.1.2.2 octet_str 0x4800\n");
  agent.SetPageCount(100);
  PrinterState state;  // the agent answers once before the jobs ask, however busy the machine
  sockaddr_storage loopback = {AF_INET};
  reinterpret_cast<sockaddr_in&>(loopback).sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_TRUE(PrinterStateAsk(PrinterAgentFor({.snmpPortNumber = agent.port()}, loopback), 10000, &state));
  TestPrinter printer(TestPrinter::kKeeps);
  // The printer counts the pages once it has the job, a while after the job's start was answered.
  printer.onServed = [&] { Sleep(300), agent.SetPageCount(103); };
  PlantPort(printer.port, {{"SNMP Status", "True"}, {"SNMP Port Number", std::to_string(agent.port())}});
  Set(kOptionsKey, {{"Logging Level", "2"}});
  EXPECT_TRUE(Print(L"three pages", "abc"));
  EXPECT_EQ(std::vector<std::string>{"40004e22|PressmarkTest:|three pages|" + PrinterText(printer.port) + "|3|3"},
            events);
  printer.Finish();
  Set(kPortKey, {{"SNMP Device Index", "2"}});
  statuses.clear();
  EXPECT_FALSE(Print(L"no paper", "abc"));
  ASSERT_EQ(1u, events.size());
  EXPECT_NE(std::string::npos, events[0].find("|the printer refused the connection; the printer reports: paper out, "
                                              "door open|10061|")) << events[0];
  TestPrinter again(TestPrinter::kKeeps);
  PlantPort(again.port, {{"SNMP Status", "True"}, {"SNMP Port Number", std::to_string(again.port)}});
  EXPECT_TRUE(Print(L"unasked", "abc")) << events[0];
  EXPECT_EQ((std::vector<std::string>{"PressmarkTest:|paper out, door open|1", "PressmarkTest:||3"}), statuses);
}

TEST_F(PrintTest, AVtlnetJobGoesThroughTheLibrarysTransport) {
  TestPrinter node(TestPrinter::kKeeps);
  std::ofstream(systemDir + "\\vnetnodes.txt", std::ios::app) << "\n5.55 PMTEST 127.0.0.1:" << node.port << "\n";
  PlantPort(node.port, {{"Protocol", "1"}, {"VTLnet Name", "PMTEST"}});
  EXPECT_TRUE(Print(L"vtlnet", "%"));  // too short to tell: it goes out untouched at the job's end
  node.Finish();
  EXPECT_EQ("%", node.received);
}

// A printer that reads slowly for about four seconds under a two-second send timeout, while a
// second job to it shares the trace file that the options, read at each job's start, name.
TEST_F(PrintTest, ASlowPrinterTakesTheJobAndJobsAtOnceShareTheTraceFile) {
  TestPrinter slow(TestPrinter::kReadsSlowly);
  PlantPort(slow.port, {{"Send Timeout", "2"}});
  Set(kOptionsKey, {{"Trace", "True"}, {"Trace File", kTrace}});
  DirectJob first(library, L"slow"), second(library, L"beside");
  EXPECT_TRUE(first.Write(std::string(5 << 18, 's')) && first.End() && second.End());
  std::ifstream trace(kTrace);
  const std::string traced(std::istreambuf_iterator<char>(trace), {});
  EXPECT_TRUE(traced.starts_with("StartDocPort PressmarkTest:: job \"slow\" to 127.0.0.1") &&
              traced.find("job \"beside\"") != std::string::npos) << traced;
}

}  // namespace
