// A job through the monitor's entry points to a loopback printer, against a plain send loop of
// the same 4,096-byte chunks to the same printer; and the monitor's memory while a large job
// passes, raw and by LPR (which keeps the job in a temporary file until it knows its size).
#include <windows.h>
#include <psapi.h>
#include <winsock2.h>
#include <winspool.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"
#include "benchjob.h"
#include "diag/eventlog.h"
#include "jobs/portjob.h"
#include "model/portentry.h"
#include "model/portlist.h"

namespace {

constexpr unsigned long long kThroughputBytes = 256ull << 20;
constexpr unsigned long long kLargeJobBytes = 1ull << 30;

void SendPlain(unsigned short port, unsigned long long bytes) {
  static const std::vector<char> chunk(kChunk, 'x');
  SOCKET connection = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address);
  DWORD timeoutMs = 60000;  // as the monitor's sockets have: Wine takes the same path for both
  setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&timeoutMs), sizeof timeoutMs);
  for (unsigned long long sent = 0; sent < bytes; sent += kChunk) send(connection, chunk.data(), kChunk, 0);
  shutdown(connection, 1);
  char ignored[64];
  while (recv(connection, ignored, sizeof ignored, 0) > 0) {
  }
  closesocket(connection);
}

double PeakPrivateMegabytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<double>(counters.PeakPagefileUsage) / (1 << 20);
}

// The monitor's store under a key of the benchmark's own, with a raw and an LPR port.
class BenchStore {
public:
  BenchStore(unsigned short rawPort, unsigned short lprPort) {
    HKEY source = nullptr;
    hadEventSource_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, KEY_READ, &source) == ERROR_SUCCESS;
    if (source) RegCloseKey(source);
    Plant("bench-raw", rawPort, nullptr);
    Plant("bench-lpr", lprPort, "bench");
    EvSetLevel(0);
    MonitorInitialize(kPath);
  }
  ~BenchStore() {
    MonitorShutdown();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kPath);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kPath);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\PressmarkBench");
    if (!hadEventSource_) RegDeleteTreeA(HKEY_LOCAL_MACHINE, kEventSourceKey);
  }

private:
  static constexpr char kPath[] = "System\\PressmarkBench\\jobs";
  bool hadEventSource_ = false;
  void Plant(const char* name, DWORD number, const char* queue) {
    std::string key = std::string(kPath) + "\\Ports\\" + name;
    DWORD protocol = kProtocolTcp;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Protocol", REG_DWORD, &protocol, sizeof protocol);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "TCP/IP Address", REG_SZ, "127.0.0.1", 10);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "TCP/IP Port Number", REG_DWORD, &number, sizeof number);
    if (queue) RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "LPR Queue", REG_SZ, queue, 6);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "SNMP Status", REG_SZ, "False", 6);
  }
};

void RunJobsBench() {
  WSADATA data;
  WSAStartup(MAKEWORD(1, 1), &data);
  {
    BenchPrinter raw(false);
    BenchPrinter lpr(true);
    BenchStore store(raw.port(), lpr.port());
    bool printed = true;
    double plain = BenchBestSeconds(5, nullptr, [&] { SendPlain(raw.port(), kThroughputBytes); }, nullptr);
    double monitor = BenchBestSeconds(
        5, nullptr, [&] { printed &= PrintThroughMonitor("bench-raw", kThroughputBytes); }, nullptr);
    printf("  throughput of a %llu MB raw job, monitor over plain send loop: %.2f%s\n", kThroughputBytes >> 20,
           plain / monitor, printed ? "" : " (a job failed)");

    for (const char* port : {"bench-raw", "bench-lpr"}) {
      double before = PeakPrivateMegabytes();
      printed = PrintThroughMonitor(port, kLargeJobBytes);
      printf("  peak private memory while a %llu MB job passes (%s): %.1f MB, %.1f MB before it%s\n",
             kLargeJobBytes >> 20, port + 6, PeakPrivateMegabytes(), before, printed ? "" : " (the job failed)");
    }
  }
  WSACleanup();
}

PM_BENCHMARK("jobs", "a job through the monitor against a plain send loop; memory while 1 GB passes", RunJobsBench);

}  // namespace
