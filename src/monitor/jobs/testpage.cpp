// The test page and its job through the monitor's own entry points.
#include "jobs/testpage.h"

#include <winspool.h>

#include <cstdio>
#include <utility>

#include "jobs/jobtext.h"
#include "jobs/postscript.h"
#include "model/portlist.h"
#include "printer/printerstate.h"

namespace {

// The page's document name, as the spooler would pass it.
constexpr char kDocumentName[] = "Test page";

std::string Tray(DWORD set, DWORD number) {
  return set ? std::to_string(number) : "default";
}

std::string Printer(const PortEntry& port) {
  bool tcp = port.protocol == kProtocolTcp;
  std::string name = tcp ? port.tcpName : port.vnetName;
  std::string address = tcp ? port.tcpAddress : port.vnetAddress;
  return (name.empty() ? "-" : name) + " (" + (address.empty() ? "no address" : address) + ")";
}

std::string Protocol(const PortEntry& port) {
  if (port.protocol != kProtocolTcp) return "VTLnet";
  std::string tcpPort = port.tcpPortNumber ? std::to_string(port.tcpPortNumber)
                                           : port.lprQueue[0] ? "515" : "9100";
  return std::string(port.lprQueue[0] ? "TCP/IP, LPR queue " + std::string(port.lprQueue) : "TCP/IP, raw") +
         ", TCP port " + tcpPort;
}

// The community stays off the paper: it is the printer's password for SNMP.
std::string Snmp(const PortEntry& port) {
  if (port.protocol != kProtocolTcp || !port.snmpStatus) return "off";
  DWORD udpPort = port.snmpPortNumber ? port.snmpPortNumber : kSnmpDefaultPort;
  DWORD device = port.snmpDeviceIndex ? port.snmpDeviceIndex : kSnmpDefaultDeviceIndex;
  return "on, UDP port " + std::to_string(udpPort) + ", device " + std::to_string(device);
}

}  // namespace

std::string TestPageProgram(const PortEntry& port, const char* time) {
  std::string banner = port.banner ? "yes" : "no";
  std::string trays = Tray(port.setBannerTray, port.bannerTrayNumber) + " / " +
                      Tray(port.setInputTray, port.inputTrayNumber) + " / " +
                      Tray(port.setOutputTray, port.outputTrayNumber);
  const std::pair<const char*, std::string> lines[] = {
      {"Port", port.portName},     {"Printer", Printer(port)},
      {"Protocol", Protocol(port)}, {"Banner page", banner},
      {"Trays (banner / input / output)", trays}, {"SNMP", Snmp(port)},
      {"Time", time}};
  std::string page = "%!PS-Adobe-3.0\n%%Title: Test page\n%%Pages: 1\n%%EndComments\n%%Page: 1 1\n"
                     "/Helvetica-Bold findfont 18 scalefont setfont\n"
                     "72 720 moveto (Vantrel Pressmark Printer: test page) show\n"
                     "/Helvetica findfont 12 scalefont setfont\n";
  int y = 690;
  for (const auto& [label, value] : lines) {
    page += "72 " + std::to_string(y) + " moveto " + PsString(label) + " show 280 " + std::to_string(y) + " moveto " +
            PsString(value.c_str()) + " show\n";
    y -= 18;
  }
  return page + "showpage\n%%EOF\n";
}

void TestPagePrint(const char* portName, JobOutcome* outcome) {
  *outcome = JobOutcome{};
  HANDLE port = nullptr;
  if (!MonitorOpenPort(portName, &port)) {
    outcome->error = GetLastError();
    lstrcpynA(outcome->reason, JobReasonText(outcome->error), sizeof outcome->reason);
    return;
  }
  SYSTEMTIME now;
  GetLocalTime(&now);
  char time[20];
  snprintf(time, sizeof time, "%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute);
  DOC_INFO_1A info = {const_cast<char*>(kDocumentName), nullptr, const_cast<char*>("RAW")};
  DWORD written = 0;
  if (MonitorStartDocPort(port, nullptr, 0, 1, reinterpret_cast<BYTE*>(&info))) {
    // The port as the job took it from the store.
    std::string page = TestPageProgram(static_cast<OpenPort*>(port)->port, time);
    MonitorWritePort(port, reinterpret_cast<BYTE*>(page.data()), static_cast<DWORD>(page.size()), &written);
    MonitorEndDocPort(port);  // a write that failed fails here too
  }
  MonitorJobOutcome(port, outcome);
  MonitorClosePort(port);
}
