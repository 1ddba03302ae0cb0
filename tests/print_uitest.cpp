// Jobs through Wine's real spooler: a printer on a Pressmark port prints to a test printer, a
// listener of this program on 127.0.0.1. The monitor is installed into the prefix for the test
// and removed after it, with the printer and its driver; its event reports are captured where
// the library calls the system's ReportEventA.
#include <gtest/gtest.h>

#include <windows.h>
#include <winsock.h>
#include <winspool.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "diag/eventlog.h"
#include "model/portentry.h"
#include "testregistry.h"

namespace {

constexpr wchar_t kPrinter[] = L"Pressmark Test Printer";
constexpr wchar_t kDriver[] = L"Pressmark Test Driver";
constexpr char kPort[] = "PressmarkTest:";
const std::string kPortKey = std::string(kDefaultMonitorKeyPath) + "\\Ports\\" + kPort;

struct Event {
  DWORD identifier;
  std::vector<std::string> strings;
};
std::vector<Event> events;

BOOL WINAPI CaptureReport(HANDLE, WORD, WORD, DWORD identifier, PSID, WORD count, DWORD, LPCSTR* strings, LPVOID) {
  events.push_back({identifier, std::vector<std::string>(strings, strings + count)});
  return TRUE;
}

// Points the module's import of `function` from advapi32 at `replacement`.
void PatchImport(HMODULE module, const char* function, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); library->Name; ++library) {
    if (lstrcmpiA(reinterpret_cast<char*>(base + library->Name), "advapi32.dll") != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (strcmp(reinterpret_cast<char*>(name->Name), function) != 0) continue;
      DWORD protection = 0;
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
      return;
    }
  }
  ADD_FAILURE() << function << " is not imported";
}

// A printer on 127.0.0.1 that serves one connection in a thread of its own.
class TestPrinter {
public:
  enum Mode { kKeeps, kDropsHalfway, kStopsReading, kSpeaksLpr, kRefusesQueue };

  explicit TestPrinter(Mode mode) : mode_(mode) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    int length = sizeof address;
    EXPECT_EQ(0, bind(listener_, reinterpret_cast<sockaddr*>(&address), length));
    EXPECT_EQ(0, listen(listener_, 1));
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TestPrinter() { Finish(); }

  // Ends the connection (or the wait for one) and waits for the printer's thread.
  void Finish() {
    released_ = true;
    closesocket(listener_);  // ends a wait in accept when no job came
    if (thread_.joinable()) thread_.join();
  }

  unsigned short port() const { return port_; }
  // What the printer took, once Finish has returned.
  std::string received;
  std::vector<std::string> lprFiles;  // LPR: the receive-job command, then each file

private:
  void Serve() {
    SOCKET connection = accept(listener_, nullptr, nullptr);
    if (connection == INVALID_SOCKET) return;
    if (mode_ == kStopsReading) {
      while (!released_) WaitForSingleObject(GetCurrentThread(), 10);  // until the test is done
    } else if (mode_ == kSpeaksLpr || mode_ == kRefusesQueue) {
      ServeLpr(connection);
    } else {
      char buffer[65536];
      for (int got; (got = recv(connection, buffer, sizeof buffer, 0)) > 0;) {
        received.append(buffer, got);
        if (mode_ == kDropsHalfway && received.size() > 1000000) break;
      }
      linger abortive = {1, 0};  // a printer that drops the line resets it
      if (mode_ == kDropsHalfway) {
        setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&abortive), sizeof abortive);
      }
    }
    closesocket(connection);
  }

  // Reads n bytes (or a line when n is 0) into `text`; false once the connection ended.
  bool Read(SOCKET connection, size_t n, std::string* text) {
    text->clear();
    char buffer[65536];
    while (n == 0 ? text->empty() || text->back() != '\n' : text->size() < n) {
      int wanted = n == 0 ? 1 : static_cast<int>(std::min(sizeof buffer, n - text->size()));
      int got = recv(connection, buffer, wanted, 0);
      if (got <= 0) return false;
      text->append(buffer, got);
    }
    return true;
  }

  void ServeLpr(SOCKET connection) {
    std::string line;
    if (!Read(connection, 0, &line)) return;
    lprFiles.push_back(line);
    send(connection, mode_ == kSpeaksLpr ? "\0" : "\1", 1, 0);
    while (mode_ == kSpeaksLpr && Read(connection, 0, &line)) {
      send(connection, "", 1, 0);
      std::string file;
      if (!Read(connection, strtoull(line.c_str() + 1, nullptr, 10) + 1, &file)) return;
      lprFiles.push_back(line + file);
      send(connection, "", 1, 0);
    }
  }

  Mode mode_;
  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  volatile bool released_ = false;
  std::thread thread_;
};

class PrintTest : public ::testing::Test {
protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(1, 1), &data));
    ASSERT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath, 0, KEY_READ, &probe))
        << "this prefix has the monitor installed already; remove it with vtlpminst remove";
    ASSERT_EQ(0u, RunTool("vtlpminst.exe", "install"));
    installed = true;
    // Held loaded, the spooler's loads of the library find this copy, whose reports are captured.
    char path[MAX_PATH];
    library = LoadLibraryA((std::string(path, GetSystemDirectoryA(path, sizeof path)) + "\\vtlpmmw4.dll").c_str());
    ASSERT_NE(nullptr, library);
    PatchImport(library, "ReportEventA", reinterpret_cast<void*>(CaptureReport));
    DRIVER_INFO_3W driver = {};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(kDriver);
    driver.pDriverPath = const_cast<LPWSTR>(L"wineps.drv");
    driver.pDataFile = const_cast<LPWSTR>(L"generic.ppd");
    driver.pConfigFile = const_cast<LPWSTR>(L"wineps.drv");
    driver.pDefaultDataType = const_cast<LPWSTR>(L"RAW");
    ASSERT_TRUE(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver),
                                    APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) << GetLastError();
    std::wstring port(kPort, kPort + strlen(kPort));
    PRINTER_INFO_2W info = {};
    info.pPrinterName = const_cast<LPWSTR>(kPrinter);
    info.pPortName = port.data();
    info.pDriverName = const_cast<LPWSTR>(kDriver);
    info.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    info.pDatatype = const_cast<LPWSTR>(L"RAW");
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    ASSERT_NE(nullptr, printer) << GetLastError();
    ClosePrinter(printer);
    SetDword("Logging Level", 2, "Options");  // delivered jobs are reported too
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
    if (installed) {
      EXPECT_EQ(0u, RunTool("vtlpminst.exe", "remove"));
    }
    WSACleanup();
  }

  // Plants the port: TCP/IP to 127.0.0.1 at the test printer's port, then the given options.
  void PlantPort(unsigned short listenerPort) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kPortKey.c_str());
    SetDword("Protocol", kProtocolTcp);
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, kPortKey.c_str(), "TCP/IP Address", REG_SZ,
                                             "127.0.0.1", 10));
    SetDword("TCP/IP Port Number", listenerPort);
  }
  void SetDword(const char* name, DWORD value, const char* subkey = nullptr) {
    std::string key = subkey ? std::string(kDefaultMonitorKeyPath) + "\\" + subkey : kPortKey;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_DWORD, &value, sizeof value));
  }
  void SetText(const char* name, const char* text, const char* subkey = nullptr) {
    std::string key = subkey ? std::string(kDefaultMonitorKeyPath) + "\\" + subkey : kPortKey;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_SZ, text,
                                             static_cast<DWORD>(strlen(text) + 1)));
  }

  // Prints one RAW job; answers EndDocPrinter's result.
  bool Print(const wchar_t* name, const std::string& bytes) {
    events.clear();
    HANDLE printer = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr)) << GetLastError();
    DOC_INFO_1W document = {const_cast<LPWSTR>(name), nullptr, const_cast<LPWSTR>(L"RAW")};
    EXPECT_NE(0u, StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&document))) << GetLastError();
    for (size_t at = 0; at < bytes.size(); at += 1 << 20) {
      DWORD written = 0;
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1 << 20));
      EXPECT_TRUE(WritePrinter(printer, const_cast<char*>(bytes.data() + at), chunk, &written));
    }
    bool printed = EndDocPrinter(printer);
    ClosePrinter(printer);
    return printed;
  }

  HKEY probe = nullptr;
  bool installed = false;
  HMODULE library = nullptr;
};

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
  return bytes;
}

TEST_F(PrintTest, RawJobsArriveWhole) {
  const std::string document = "%!PS-Adobe-3.0\n/Times-Roman findfont 12 scalefont setfont\nshowpage\n";
  {
    TestPrinter printer(TestPrinter::kKeeps);
    ASSERT_NO_FATAL_FAILURE(PlantPort(printer.port()));
    SetText("Banner", "True");
    SetText("Set Input Tray", "True");
    SetDword("Input Tray Number", 3);
    char path[MAX_PATH];
    std::string trace = std::string(path, GetTempPathA(sizeof path, path)) + "pressmark-print-trace.log";
    SetText("Trace", "True", "Options");
    SetText("Trace File", trace.c_str(), "Options");
    EXPECT_TRUE(Print(L"Q3 \"report\"\r\n(draft)\\ %%EOF", document));
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, (std::string(kDefaultMonitorKeyPath) + "\\Options").c_str(), "Trace");
    printer.Finish();
    // One trace line for each step of the job.
    std::string lines;
    if (FILE* file = fopen(trace.c_str(), "rb")) {
      for (int c; (c = fgetc(file)) != EOF;) lines += static_cast<char>(c);
      fclose(file);
    }
    EXPECT_TRUE(DeleteFileA(trace.c_str()));
    EXPECT_EQ(0u, lines.find("StartDocPort PressmarkTest:: job \"Q3 'report'  (draft)\\ %%EOF\" to 127.0.0.1"))
        << lines;
    EXPECT_NE(std::string::npos, lines.find("\r\nWritePort PressmarkTest:: PostScript, wrapped"));
    EXPECT_NE(std::string::npos, lines.find("\r\nEndDocPort PressmarkTest:: " + std::to_string(document.size()) +
                                            " bytes of the document, error 0\r\n"));
    const std::string& got = printer.received;
    // Header, banner, tray, the document unchanged, trailer; the name breaks out of no line.
    EXPECT_EQ(0u, got.find("%!PS-Adobe-3.0\n%%Title: Q3 'report'  (draft)\\ %%EOF\n")) << got;
    EXPECT_NE(std::string::npos, got.find("(Document: ) show (Q3 'report'  \\(draft\\)\\\\ %%EOF) show\n"));
    EXPECT_LT(got.find("showpage\nrestore\n"), got.find("/MediaPosition 3"));
    EXPECT_EQ(got.size() - document.size() - 8, got.find(document));
    EXPECT_EQ("\n%%EOF\n\x04", got.substr(got.size() - 8));
  }
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ(EVT_JOB_PRINTED, events[0].identifier);
  EXPECT_EQ(std::to_string(document.size()), events[0].strings[3]);

  // A job-language header stays in front: the wrapping goes before the PostScript it announces.
  const std::string pjl = "\x1B%-12345X@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";
  {
    TestPrinter printer(TestPrinter::kKeeps);
    ASSERT_NO_FATAL_FAILURE(PlantPort(printer.port()));
    SetText("Set Output Tray", "True");
    SetDword("Output Tray Number", 2);
    EXPECT_TRUE(Print(L"pjl", pjl + document));
    printer.Finish();
    const std::string& got = printer.received;
    EXPECT_EQ(0u, got.find(pjl + "%!PS-Adobe-3.0\n%%Title: pjl\n")) << got;
    EXPECT_LT(got.find("<< /OutputType (2) >>"), got.find(document));
    EXPECT_EQ(std::string::npos, got.find("showpage\nrestore\n"));
  }

  // Not PostScript: several megabytes in the spooler's chunks, byte for byte.
  const std::string binary = Pattern(5 << 20);
  TestPrinter printer(TestPrinter::kKeeps);
  ASSERT_NO_FATAL_FAILURE(PlantPort(printer.port()));
  EXPECT_TRUE(Print(L"binary", binary));
  printer.Finish();
  EXPECT_TRUE(printer.received == binary) << printer.received.size();
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ(EVT_JOB_PRINTED, events[0].identifier);
}

}  // namespace

TEST_F(PrintTest, FailedDeliveriesAreNeverReportedPrinted) {
  unsigned short freePort = 0;
  {
    TestPrinter gone(TestPrinter::kKeeps);
    freePort = gone.port();
  }
  ASSERT_NO_FATAL_FAILURE(PlantPort(freePort));
  SetDword("Logging Level", 0, "Options");  // no job events at all
  EXPECT_FALSE(Print(L"unreachable", "%!PS\n"));
  EXPECT_EQ(0u, events.size());
  SetDword("Logging Level", 1, "Options");  // failures only
  EXPECT_FALSE(Print(L"unreachable", "%!PS\n"));
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ(EVT_JOB_NO_PRINTER, events[0].identifier);
  EXPECT_EQ((std::vector<std::string>{kPort, "the printer refused the connection", "10061", "unreachable"}),
            (std::vector<std::string>{events[0].strings[0], events[0].strings[2], events[0].strings[3],
                                      events[0].strings[4]}));
  EXPECT_NE(std::string::npos, events[0].strings[1].find("127.0.0.1, TCP port " + std::to_string(freePort)));

  // Far more than the connection's buffers hold: the printer drops the line or stops reading.
  const std::string job = Pattern(24 << 20);
  for (auto [mode, error] : {std::pair{TestPrinter::kDropsHalfway, "10054"}, {TestPrinter::kStopsReading, "10060"}}) {
    TestPrinter printer(mode);
    ASSERT_NO_FATAL_FAILURE(PlantPort(printer.port()));
    SetDword("Send Timeout", 1);
    EXPECT_FALSE(Print(L"large", job));
    ASSERT_EQ(1u, events.size()) << error;
    EXPECT_EQ(EVT_JOB_LOST, events[0].identifier);
    EXPECT_EQ(error, events[0].strings[5]);
    unsigned long long wentOut = std::stoull(events[0].strings[3]);
    EXPECT_TRUE(wentOut >= (mode == TestPrinter::kDropsHalfway ? 1000000u : 1u) && wentOut < job.size()) << wentOut;
  }

  // A job small enough for the connection's buffers still waits for the printer to take it.
  TestPrinter printer(TestPrinter::kStopsReading);
  ASSERT_NO_FATAL_FAILURE(PlantPort(printer.port()));
  SetDword("Send Timeout", 1);
  EXPECT_FALSE(Print(L"small", "small job"));
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ((std::vector<std::string>{"9", "10060"}), (std::vector<std::string>{events[0].strings[3], events[0].strings[5]}));
}

TEST_F(PrintTest, LprJobsAnnounceTheirExactSizeAndARefusedQueueFails) {
  const std::string document = Pattern(3 << 20);
  TestPrinter printer(TestPrinter::kSpeaksLpr);
  ASSERT_NO_FATAL_FAILURE(PlantPort(printer.port()));
  SetText("LPR Queue", "raw queue");
  SetDword("Send Timeout", 5);
  EXPECT_TRUE(Print(L"Q4\nPevil", document));
  printer.Finish();
  ASSERT_EQ(3u, printer.lprFiles.size());
  EXPECT_EQ("\x02raw_queue\n", printer.lprFiles[0]);
  const std::string& data = printer.lprFiles[1];
  std::string announced = "\x03" + std::to_string(document.size()) + " dfA";
  EXPECT_EQ(0u, data.find(announced));
  EXPECT_TRUE(data.substr(data.find('\n') + 1) == document + '\0');
  // The document's name is one line of the control file: it starts no command of its own.
  const std::string& control = printer.lprFiles[2];
  EXPECT_NE(std::string::npos, control.find("\nJQ4 Pevil\nNQ4 Pevil\nldfA"));
  EXPECT_EQ(std::string::npos, control.find("\nPevil"));
  EXPECT_EQ(std::string(1, '\0'), control.substr(control.size() - 1));
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ(EVT_JOB_PRINTED, events[0].identifier);

  TestPrinter refusing(TestPrinter::kRefusesQueue);
  ASSERT_NO_FATAL_FAILURE(PlantPort(refusing.port()));
  SetText("LPR Queue", "closed");
  EXPECT_FALSE(Print(L"refused", document));
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ(EVT_JOB_NO_PRINTER, events[0].identifier);
  EXPECT_EQ("the printer refused the LPR queue", events[0].strings[2]);
}
