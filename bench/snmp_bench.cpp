// What asking the printer over SNMP adds to a job: a 1 MB raw job to a loopback printer whose agent
// (Debian's snmpd, as the tests start it) answers, against the same job with "SNMP Status" False;
// and the one-off cost of an agent that does not answer, which jobs then leave unasked.
#include <windows.h>
#include <winsock2.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"
#include "benchjob.h"
#include "diag/eventlog.h"
#include "jobs/portjob.h"
#include "model/portentry.h"
#include "model/portlist.h"
#include "printer/printerstate.h"
#include "testagent.h"

namespace {

constexpr char kPath[] = "System\\PressmarkBench\\snmp";
constexpr DWORD kJobBytes = 1 << 20;

void PlantPort(const char* name, DWORD printerPort, const char* snmp, DWORD agentPort) {
  std::string key = std::string(kPath) + "\\Ports\\" + name;
  DWORD protocol = kProtocolTcp;
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "Protocol", REG_DWORD, &protocol, sizeof protocol);
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "TCP/IP Address", REG_SZ, "127.0.0.1", 10);
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "TCP/IP Port Number", REG_DWORD, &printerPort, sizeof printerPort);
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "SNMP Status", REG_SZ, snmp, DWORD(strlen(snmp) + 1));
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "SNMP Port Number", REG_DWORD, &agentPort, sizeof agentPort);
  RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "SNMP Device Index", REG_SZ, "2", 2);
}

double Seconds(const char* port, bool* printed) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  *printed &= PrintThroughMonitor(port, kJobBytes);
  QueryPerformanceCounter(&end);
  return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void RunSnmpBench() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  {
    TestAgent agent("override 1.3.6.1.2.1.25.3.2.1.5.2 integer 2\noverride 1.3.6.1.2.1.25.3.5.1.1.2 integer 3\n"
                    "override 1.3.6.1.2.1.25.3.5.1.2.2 octet_str 0x00\noverride 1.3.6.1.2.1.43.10.2.1.4.2.1 counter 7\n");
    agent.SetPageCount(1);
    BenchPrinter printer(false);
    SOCKET silent = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);  // an agent's port that never answers
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(silent, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
    PlantPort("plain", printer.port(), "False", 0);
    PlantPort("asking", printer.port(), "True", agent.port());
    PlantPort("silent", printer.port(), "True", ntohs(address.sin_port));
    EvSetLevel(0);
    MonitorInitialize(kPath);
    bool printed = PrintThroughMonitor("asking", kJobBytes);  // the agent's first answer, before the timing
    // One job's time varies more than what SNMP adds: the jobs of both ports take turns, and the
    // median of each is compared.
    constexpr int kJobs = 101;
    std::vector<double> plainTimes, askingTimes;
    for (int i = 0; i < kJobs; ++i) {
      plainTimes.push_back(Seconds("plain", &printed));
      askingTimes.push_back(Seconds("asking", &printed));
    }
    const double plain = Median(plainTimes), asking = Median(askingTimes);
    printf("  a 1 MB raw job that asks an answering agent, over the same job without SNMP (medians of %d): %.3f%s\n",
           kJobs, asking / plain, printed ? "" : " (a job failed)");
    PortEntry port = {};
    port.snmpPortNumber = agent.port();
    port.snmpDeviceIndex = 2;
    sockaddr_storage loopback = {};
    loopback.ss_family = AF_INET;
    reinterpret_cast<sockaddr_in&>(loopback).sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const PrinterAgent asked = PrinterAgentFor(port, loopback);
    PrinterState state;
    auto asks = [&](bool forJob) {
      for (int i = 0; i < 20; ++i) forJob ? PrinterStateAskForJob(kPath, asked, &state) : PrinterStateAsk(asked, 1000, &state);
    };
    double once = BenchBestSeconds(3, nullptr, [&] { asks(false); }, nullptr);
    double forJob = BenchBestSeconds(3, nullptr, [&] { asks(true); }, nullptr);
    printf("  one ask, over the job without SNMP: %.3f; with the silence memory: %.3f\n", once / 20 / plain,
           forJob / 20 / plain);
    double first = Seconds("silent", &printed);
    double later = Seconds("silent", &printed);
    printf("  an agent that does not answer: its first job %.2f times the job without SNMP, the next %.2f%s\n",
           first / plain, later / plain, printed ? "" : " (a job failed)");
    MonitorShutdown();
    closesocket(silent);
  }
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kPath);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kPath);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\PressmarkBench");
  WSACleanup();
}

PM_BENCHMARK("snmp", "what asking the printer over SNMP adds to a 1 MB job; an agent that does not answer",
             RunSnmpBench);

}  // namespace
