// The administration's costs as the store grows: one change through the monitor's Xcv commands
// against the same change at the smallest size; list and export against a plain read of the same
// port keys; an import into an empty store against Wine's regedit importing the same ports. The
// commands run as the monitor library runs them for the print system, under monitor keys of the
// benchmark's own, so the spooler's own ports (which every add checks a new name against) do not
// grow with the sizes.
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench.h"
#include "benchkey.h"
#include "model/portlist.h"
#include "rules/validate.h"
#include "textform/xcvtext.h"
#include "xcv/xcv.h"

namespace {

// Best of several runs; the smaller stores' runs are short, so they get more.
int Repeats(int ports) {
  return std::max(3, 3000 / ports);
}

std::vector<BYTE> Wire(const std::string& text) {
  std::wstring wide(text.begin(), text.end());  // the benchmark's texts are ASCII
  const auto* bytes = reinterpret_cast<const BYTE*>(wide.c_str());
  return std::vector<BYTE>(bytes, bytes + (wide.size() + 1) * sizeof(WCHAR));
}

// Runs one command as the print system passes it on; the answer, if any, is asked for as the
// administrator's side does: its size first, then the text.
DWORD Command(const WCHAR* command, const std::string& input, std::string* output = nullptr) {
  XcvHandle handle{SERVER_ACCESS_ADMINISTER};
  std::vector<BYTE> data = input.empty() ? std::vector<BYTE>() : Wire(input);
  std::vector<BYTE> buffer(output ? kXcvImportAnswerBytes : 0);
  DWORD needed = 0;
  DWORD status = XcvRunCommand(handle, command, data.data(), static_cast<DWORD>(data.size()), buffer.data(),
                               static_cast<DWORD>(buffer.size()), &needed);
  if (status == ERROR_INSUFFICIENT_BUFFER && output) {
    buffer.assign(needed, 0);
    status = XcvRunCommand(handle, command, data.data(), static_cast<DWORD>(data.size()), buffer.data(), needed,
                           &needed);
  }
  if (output && needed <= buffer.size()) {
    const auto* wide = reinterpret_cast<const WCHAR*>(buffer.data());
    output->clear();
    for (size_t i = 0; i < needed / sizeof(WCHAR) && wide[i]; ++i) *output += static_cast<char>(wide[i]);
  }
  return status;
}

std::string PortSection(const std::string& name, const std::string& settings) {
  return std::string(kXcvVersionLine) + "\n[" + kXcvPortsPrefix + name + "]\n" + settings;
}

// A failed command ends the benchmark: its figures would mean nothing.
bool failed = false;
void Expect(DWORD status, const char* what) {
  if (status == ERROR_SUCCESS || failed) return;
  printf("  %s failed with %lu\n", what, static_cast<unsigned long>(status));
  failed = true;
}

struct ChangeCosts {
  double add, set, remove, options;
};

ChangeCosts MeasureChanges(int size) {
  const std::string added = PortSection("BenchNew", "Protocol=2\nTCP/IP Address=10.2.0.1\nBanner=True\n");
  const std::string target = BenchMonitorKey::PortName(size / 2);
  int flip = 0;
  auto add = [&] { Expect(Command(kXcvAddPort, added), "add"); };
  auto remove = [&] { Expect(Command(kXcvDeletePort, "BenchNew"), "delete"); };
  auto set = [&] {
    Expect(Command(kXcvSetPort, PortSection(target, ++flip % 2 ? "Banner=False\n" : "Banner=True\n")), "set");
  };
  auto options = [&] {
    std::string level = ++flip % 2 ? "2" : "1";
    Expect(Command(kXcvSetOptions, std::string(kXcvVersionLine) + "\n[Options]\nLogging Level=" + level + "\n"),
           "options");
  };
  int repeats = Repeats(size) * 3;
  ChangeCosts costs;
  costs.add = BenchBestSeconds(repeats, nullptr, add, remove);
  costs.set = BenchBestSeconds(repeats, nullptr, set, nullptr);
  costs.remove = BenchBestSeconds(repeats, add, remove, nullptr);
  costs.options = BenchBestSeconds(repeats, nullptr, options, nullptr);
  return costs;
}

// Every port and the options as `list` reads them: asked for, then read in the text form.
size_t ListPorts() {
  std::string text;
  std::vector<XcvSection> sections;
  Expect(Command(kXcvGetPorts, std::string(), &text), "list");
  Expect(XcvParseText(text, &sections), "reading the list");
  return sections.size();
}

// The same as `export` writes it to a file.
void ExportPorts(const std::string& path) {
  std::string text;
  std::vector<XcvSection> sections;
  Expect(Command(kXcvGetPorts, std::string(), &text), "export");
  Expect(XcvParseText(text, &sections), "reading the export");
  FILE* file = fopen(path.c_str(), "wb");
  if (!file || fwrite(text.data(), 1, text.size(), file) != text.size()) Expect(ERROR_WRITE_FAULT, "writing");
  if (file) fclose(file);
}

std::string TempFile(const char* name) {
  char directory[MAX_PATH];
  DWORD length = GetTempPathA(sizeof directory, directory);
  return std::string(directory, length) + name + std::to_string(GetCurrentProcessId());
}

// The ports of the store in the text form, the options left out, as an import takes them.
std::string PortsText() {
  std::string text;
  std::vector<XcvSection> sections;
  Expect(Command(kXcvGetPorts, std::string(), &text), "reading the ports");
  Expect(XcvParseText(text, &sections), "reading the ports");
  sections.erase(std::remove_if(sections.begin(), sections.end(),
                                [](const XcvSection& section) { return section.key == kXcvOptionsKey; }),
                 sections.end());
  return XcvFormatText(sections);
}

// The same ports as a .reg file for regedit, under the empty monitor key: every value the store holds.
bool WriteRegFile(const std::string& path, const std::string& keyPath, int size) {
  std::string text = "Windows Registry Editor Version 5.00\r\n";
  for (int i = 0; i < size; ++i) {
    std::string port = "HKEY_LOCAL_MACHINE\\" + keyPath + "\\Ports\\" + BenchMonitorKey::PortName(i);
    std::string address = "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250);
    text += "\r\n[" + port + "]\r\n\"Protocol\"=dword:00000002\r\n\"TCP/IP Address\"=\"" + address +
            "\"\r\n\"Banner\"=\"True\"\r\n";
  }
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
  return fclose(file) == 0 && written;
}

// Wine's regedit, started as a process of the same prefix, importing the file silently.
void RunRegedit(const std::string& path) {
  std::string commandLine = "regedit.exe /s \"" + path + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    Expect(GetLastError(), "starting regedit");
    return;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

int CountPorts(const char* keyPath) {
  return BenchReadPortKeys(keyPath);
}

// An import of the store's ports into an empty monitor key, against regedit importing the same.
double ImportOverRegedit(const BenchMonitorKey& empty, int size) {
  std::string ports = PortsText();
  std::string regFile = TempFile("pmbench-admin.reg");
  if (!WriteRegFile(regFile, empty.path(), size)) Expect(ERROR_WRITE_FAULT, "writing the .reg file");
  std::string portsKey = std::string(empty.path()) + "\\Ports";
  auto clear = [&] { RegDeleteTreeA(HKEY_LOCAL_MACHINE, portsKey.c_str()); };
  int repeats = size >= 10000 ? 1 : 3;
  MonitorInitialize(empty.path());
  std::string answer;
  double import = BenchBestSeconds(repeats, clear, [&] { Expect(Command(kXcvImport, ports, &answer), "import"); },
                                   nullptr);
  int imported = CountPorts(empty.path());
  double regedit = BenchBestSeconds(repeats, clear, [&] { RunRegedit(regFile); }, nullptr);
  if (imported != size || CountPorts(empty.path()) != size) Expect(ERROR_INVALID_DATA, "an import missed ports");
  clear();
  DeleteFileA(regFile.c_str());
  return import / regedit;
}

void RunAdminBench() {
  BenchMonitorKey monitor;
  BenchMonitorKey empty("import");
  if (!monitor || !empty) {
    printf("  no monitor key could be made\n");
    return;
  }
  failed = false;
  std::string exportFile = TempFile("pmbench-admin.txt");
  std::vector<std::vector<double>> changeRows, readRows;
  ChangeCosts base = {};
  double readBase = 0, listBase = 0, exportBase = 0, enumerate = 0;
  for (int size : BenchSizes()) {
    if (!monitor.GrowTo(size, true) || !MonitorInitialize(monitor.path())) {
      printf("  %d ports could not be stored\n", size);
      break;
    }
    ChangeCosts costs = MeasureChanges(size);
    if (size == BenchSizes().front()) {
      base = costs;
      enumerate = BenchBestSeconds(Repeats(size), nullptr, [] { ReadSpoolerPortNames(); }, nullptr);
    }
    int repeats = size >= 10000 ? 3 : Repeats(size);
    double read = BenchBestSeconds(repeats, nullptr, [&] { BenchReadPortKeys(monitor.path()); }, nullptr) / size;
    double list = BenchBestSeconds(repeats, nullptr, [] { ListPorts(); }, nullptr) / size;
    double exported = BenchBestSeconds(repeats, nullptr, [&] { ExportPorts(exportFile); }, nullptr) / size;
    if (readBase == 0) {
      readBase = read;
      listBase = list;
      exportBase = exported;
    }
    double imported = ImportOverRegedit(empty, size);
    if (failed) break;
    changeRows.push_back({costs.add / base.add, costs.set / base.set, costs.remove / base.remove,
                          costs.options / base.options});
    readRows.push_back({list / read, exported / read, read / readBase, list / listBase, exported / exportBase,
                        imported});
  }
  DeleteFileA(exportFile.c_str());
  MonitorShutdown();
  BenchPrintHeading("ports", {"add", "set", "delete", "options"});
  for (size_t i = 0; i < changeRows.size(); ++i) BenchPrintRow(BenchSizes()[i], changeRows[i]);
  printf("  (one change against the same at %d ports; 1.00 is a constant cost. The spooler's port list,\n"
         "   which an add asks for once, is %.0f%% of an add here)\n",
         BenchSizes().front(), base.add > 0 ? 100 * enumerate / base.add : 0.0);
  BenchPrintHeading("ports", {"list/read", "export/read", "read/port", "list/port", "export/port", "import/regedit"});
  for (size_t i = 0; i < readRows.size(); ++i) BenchPrintRow(BenchSizes()[i], readRows[i]);
  printf("  (per-port columns: cost of one port against the same at %d ports; 1.00 is linear)\n",
         BenchSizes().front());
}

}  // namespace

PM_BENCHMARK("admin",
             "Xcv changes, list, export and import as the store grows, against a plain read and regedit",
             RunAdminBench);
