// vtlpmport.exe: the monitor's ports and logging options from the command line, through the
// print system's Xcv interface, so that it serves this machine and other print servers alike.
// The monitor checks every change with the dialogs' rules; a refusal prints the dialog's text.
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/messages.h"
#include "base/module.h"
#include "client/xcvclient.h"
#include "model/settings.h"
#include "xcv/xcv.h"

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr char kHelpCommands[] =
    "Administers the ports of the print monitor \"Vantrel Pressmark Printer\".\n"
    "\n"
    "vtlpmport [--server \\\\NAME] COMMAND [ARGUMENTS]\n"
    "\n"
    "  list [--json]        every port: name, protocol, printer, banner and trays\n"
    "  show PORT            every setting of the port, in the text form below\n"
    "  add PORT SETTINGS    a new port; --tcp or --vtlnet is required\n"
    "  set PORT SETTINGS    changes the settings given; the others stay\n"
    "  delete PORT\n"
    "  options [OPTIONS]    shows the logging options, or sets those given\n"
    "  export FILE          writes every port and the logging options to FILE\n"
    "  import FILE          adds or changes every port in FILE and sets its logging options\n"
    "  status [PORT] [--json]\n"
    "                       how the port's printer is, or every port's: whether it answers, its LPR\n"
    "                       queue, its state over SNMP\n"
    "  test PORT            prints the port's test page; exit code 1 when it was not printed\n"
    "  --help               this text\n"
    "\n"
    "  --server \\\\NAME      the print server to administer; this machine without it\n"
    "\n";

constexpr char kHelpExitCodes[] =
    "\n"
    "Changes need the right to administer the print server. Exit codes: 0 done, 1 refused or\n"
    "failed (the reason is printed), 2 wrong usage.\n";

constexpr size_t kHelpWidth = 96;

// The --help lines of the table's options, of the rows the dialogs show or of the others.
std::string OptionLines(SettingTable table, bool shown) {
  std::string lines;
  for (const Setting& setting : table) {
    const SettingOption& option = setting.option;
    if (option.form == OptionForm::None || setting.shown != shown) continue;
    std::string form = std::string(option.name) + (*option.argument ? " " : "") + option.argument;
    char line[256];
    snprintf(line, sizeof line, "  %-32s %s\n", form.c_str(), option.help);
    lines += line;
  }
  return lines;
}

// "A, B and C": the names of the table's settings.
std::string SettingNames(SettingTable table) {
  std::string names;
  for (size_t i = 0; i < table.size(); ++i) {
    names += (i == 0 ? "" : i + 1 == table.size() ? " and " : ", ") + std::string(table[i].name);
  }
  return names;
}

// The text in lines of at most kHelpWidth characters, broken at spaces.
std::string Wrapped(const std::string& text) {
  std::string wrapped, line;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find(' ', start), text.size());
    std::string word = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.size() + 1 + word.size() > kHelpWidth) {
      wrapped += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  return wrapped + line + "\n";
}

std::string HelpText() {
  std::string textForm =
      "The text form (export, import, show) is one setting per line under the registry's value names, after the "
      "line \"Version=1\": a section [Ports\\NAME] per port with " + SettingNames(kPortSettings) +
      "; a section [Options] with " + SettingNames(kLogSettings) +
      ". Protocol is 1 for VTLnet, 2 for TCP/IP; flags are True or False. In a text, <HH> (two hexadecimal "
      "digits) stands for the byte HH: a TAB is <09>. Blank lines and lines beginning with ';' are skipped. An "
      "import is checked whole first: one section refused, nothing is stored.";
  return kHelpCommands + std::string("Port settings:\n") + OptionLines(kPortSettings, true) +
         "Port settings the dialogs do not show:\n" + OptionLines(kPortSettings, false) +
         "  --setting \"NAME=VALUE\"           any setting of the text form by its name\n"
         "Logging options:\n" + OptionLines(kLogSettings, true) + "\n" + Wrapped(textForm) + kHelpExitCodes;
}

int Report(int result, const std::string& message) {
  fprintf(result == kDone ? stdout : stderr, "%s\n", message.c_str());
  return result;
}

int Usage(const std::string& problem) {
  return Report(kUsage, problem + "\nvtlpmport --help tells the commands and settings.");
}

// The text for a status the monitor answered: a refusal in the dialog's words, else the system's.
std::string StatusText(DWORD status) {
  char text[512];
  if (UINT message = XcvRefusalMessage(status)) {
    return LoadResourceText(ModuleInstance, message, text, sizeof text, "The information is invalid.");
  }
  FormatSystemError(status, text, sizeof text);
  return text;
}

using Monitor = XcvConnection;

std::string Section(const std::string& key, const std::vector<std::string>& lines) {
  std::string text = std::string(kXcvVersionLine) + "\n[" + key + "]\n";
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::string Value(const XcvSection& section, const char* name) {
  for (const XcvSetting& setting : section.settings) {
    if (setting.name == name) return setting.value;
  }
  return std::string();
}

bool ReadYesNo(const std::string& word, const char** flag) {
  if (word == "yes" || word == "on") *flag = "True";
  else if (word == "no" || word == "off") *flag = "False";
  else return false;
  return true;
}

// The row whose option that is, in either table; null for none.
const Setting* FindOption(const std::string& option) {
  for (SettingTable table : {SettingTable(kPortSettings), SettingTable(kLogSettings)}) {
    for (const Setting& setting : table) {
      if (setting.option.form != OptionForm::None && option == setting.option.name) return &setting;
    }
  }
  return nullptr;
}

// The lines of the text form that the row's option and its value stand for; false with the problem.
bool OptionSettingLines(const Setting& setting, const std::string& value, std::vector<std::string>* lines,
                        std::string* problem) {
  const char* word = nullptr;
  switch (setting.option.form) {
  case OptionForm::YesNo:
    if (!ReadYesNo(value, &word)) {
      *problem = std::string(setting.option.name) + " takes yes or no.";
      return false;
    }
    lines->push_back(std::string(setting.name) + "=" + word);
    return true;
  case OptionForm::NumberOrNo:
    lines->push_back(std::string(setting.flag) + "=" + (value != "no" ? "True" : "False"));
    if (value != "no") lines->push_back(std::string(setting.name) + "=" + value);
    return true;
  default:
    lines->push_back(std::string(setting.name) + "=" + XcvEscape(value));  // taken as typed
    return true;
  }
}

// Turns the options after a port or "options" into lines of the text form; false with the problem.
bool ReadSettings(int argc, char** argv, int first, std::vector<std::string>* lines, std::string* problem) {
  for (int i = first; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--tcp" || option == "--vtlnet") {
      lines->push_back(option == "--tcp" ? "Protocol=2" : "Protocol=1");
      continue;
    }
    if (i + 1 >= argc) {
      *problem = "Unknown option, or no value after it: " + option;
      return false;
    }
    std::string value = argv[++i];
    if (option == "--setting") {
      lines->push_back(value);
      continue;
    }
    const Setting* setting = FindOption(option);
    if (!setting) {
      *problem = "Unknown option: " + option;
      return false;
    }
    if (!OptionSettingLines(*setting, value, lines, problem)) return false;
  }
  return true;
}

int Done(DWORD status, const std::string& success) {
  return status == ERROR_SUCCESS ? Report(kDone, success) : Report(kFailed, StatusText(status));
}

// Reads the monitor's whole configuration.
DWORD ReadAll(Monitor& monitor, std::vector<XcvSection>* sections, std::string* text = nullptr) {
  std::string all;
  DWORD status = monitor.Run(kXcvGetPorts, std::string(), &all);
  if (status != ERROR_SUCCESS) return status;
  if (text) *text = all;
  return XcvParseText(all, sections);
}

std::string JsonText(const std::string& text) {
  std::string json = "\"";
  for (WCHAR c : Widen(text)) {
    if (c == L'"' || c == L'\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      json += static_cast<char>(c);
    } else {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      json += escaped;
    }
  }
  return json + "\"";
}

// Numbers and flags as JSON numbers and booleans, texts as strings, by the setting's kind.
std::string JsonValue(const XcvSection& section, const XcvSetting& setting) {
  switch (XcvSettingKind(section, setting.name)) {
  case SettingType::Flag:
    return lstrcmpiA(setting.value.c_str(), "True") == 0 || setting.value == "1" ? "true" : "false";
  case SettingType::Number: return setting.value;
  case SettingType::Text: break;
  }
  return JsonText(setting.value);
}

int List(Monitor& monitor, bool json) {
  std::vector<XcvSection> sections;
  DWORD status = ReadAll(monitor, &sections);
  if (status != ERROR_SUCCESS) return Report(kFailed, StatusText(status));
  std::string out = json ? "[" : "";
  if (!json) {
    char line[256];
    snprintf(line, sizeof line, "%-24s %-8s %-24s %-6s %s\n", "Port", "Protocol", "Printer", "Banner",
             "Trays (banner/input/output)");
    out += line;
  }
  bool first = true;
  for (const XcvSection& section : sections) {
    std::string port;
    if (!XcvSectionPort(section, &port)) continue;
    if (json) {
      out += std::string(first ? "" : ",") + "\n  {\"Port\": " + JsonText(port);
      for (const XcvSetting& setting : section.settings)
        out += ", " + JsonText(setting.name) + ": " + JsonValue(section, setting);
      out += "}";
      first = false;
      continue;
    }
    bool tcp = Value(section, "Protocol") == "2";
    std::string printer = tcp ? Value(section, "TCP/IP Name") : Value(section, "VTLnet Name");
    std::string address = tcp ? Value(section, "TCP/IP Address") : Value(section, "VTLnet Address");
    if (printer.empty()) printer = address;
    std::string trays;
    for (const char* tray : {"Banner Tray", "Input Tray", "Output Tray"}) {
      bool set = Value(section, (std::string("Set ") + tray).c_str()) == "True";
      trays += (trays.empty() ? "" : "/") + (set ? Value(section, (std::string(tray) + " Number").c_str()) : "-");
    }
    char line[512];
    snprintf(line, sizeof line, "%-24s %-8s %-24s %-6s %s\n", XcvEscape(port).c_str(), tcp ? "TCP/IP" : "VTLnet",
             XcvEscape(printer).c_str(),
             Value(section, "Banner") == "True" ? "yes" : "no", trays.c_str());
    out += line;
  }
  if (json) out += first ? "]\n" : "\n]\n";
  fputs(out.c_str(), stdout);
  return kDone;
}

bool ReadTextFile(const std::string& path, std::string* text) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  char chunk[4096];
  for (size_t read; (read = fread(chunk, 1, sizeof chunk, file)) > 0;) text->append(chunk, read);
  bool failed = ferror(file) != 0;
  fclose(file);
  return !failed;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
  return fclose(file) == 0 && written;
}

int Export(Monitor& monitor, const std::string& path) {
  std::vector<XcvSection> sections;
  std::string text;
  DWORD status = ReadAll(monitor, &sections, &text);
  if (status != ERROR_SUCCESS) return Report(kFailed, StatusText(status));
  if (!WriteTextFile(path, text)) return Report(kFailed, "Cannot write " + path + ": " + strerror(errno));
  return Report(kDone,
                "Exported " + std::to_string(sections.size() - 1) + " ports and the logging options to " + path + ".");
}

// The value of the answer's line "NAME=VALUE"; empty when it has none.
std::string AnswerValue(const std::string& answer, const std::string& name) {
  size_t at = answer.find(name + "=");
  if (at == std::string::npos) return std::string();
  at += name.size() + 1;
  return answer.substr(at, answer.find_first_of("\r\n", at) - at);
}

// The whole file goes to the monitor in one request, which checks every section first (one
// refused, nothing is stored), then adds each port, or changes it when the server has it (its name
// in any case), and sets the logging options, in the file's order; every section is tried, and the
// answer fails when one failed. The monitor's answer names that section.
int Import(Monitor& monitor, const std::string& path) {
  std::string text;
  if (!ReadTextFile(path, &text)) return Report(kFailed, "Cannot read " + path + ": " + strerror(errno));
  std::vector<XcvSection> sections;
  DWORD status = XcvParseText(text, &sections);
  if (status != ERROR_SUCCESS) return Report(kFailed, path + " is not a port list of version 1: " + StatusText(status));
  std::string answer;
  status = monitor.Run(kXcvImport, text, &answer, kXcvImportAnswerBytes);
  std::string stored = AnswerValue(answer, "Stored");
  if (status == ERROR_SUCCESS) return Report(kDone, "Imported " + stored + " sections from " + path + ".");
  size_t line = answer.find('[');
  std::string section = line == std::string::npos ? "" : answer.substr(line, answer.find('\r', line) - line) + ": ";
  std::string outcome = stored.empty() || stored == "0"
                            ? "Nothing was imported."
                            : "Imported " + stored + " of " + std::to_string(sections.size()) + " sections.";
  return Report(kFailed, section + StatusText(status) + "\n" + outcome);
}

// The one section of a status's or a test page's answer.
DWORD ReadReport(const std::string& text, XcvSection* section) {
  std::vector<XcvSection> sections;
  DWORD status = XcvParseAnswer(text, &sections);
  if (status == ERROR_SUCCESS && sections.size() != 1) status = ERROR_INVALID_DATA;
  if (status == ERROR_SUCCESS) *section = std::move(sections[0]);
  return status;
}

bool Has(const XcvSection& section, const char* name) {
  for (const XcvSetting& setting : section.settings) {
    if (setting.name == name) return true;
  }
  return false;
}

// A count with its thousands apart: "2,345".
std::string Grouped(const std::string& digits) {
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string Counted(const std::string& count, const char* unit) {
  return Grouped(count) + " " + unit + (count == "1" ? "" : "s");
}

std::string QueueLine(const XcvSection& status) {
  std::string line = Value(status, "Queue State");
  std::string said = line.empty() ? "" : " \"" + XcvEscape(line) + "\"";
  std::string state = Value(status, "Queue Exists") == "True" ? "answers" + said
                       : line.empty()                          ? "the printer answered nothing"
                                                               : "does not exist:" + said;
  return "  LPR queue " + XcvEscape(Value(status, "LPR Queue")) + ": " + state + "\n";
}

std::string SnmpLine(const XcvSection& status) {
  std::string state = Value(status, "SNMP") != "True" ? "off"
                      : !Has(status, "SNMP State")    ? "no answer"
                                                      : XcvEscape(Value(status, "SNMP State"));
  if (Has(status, "Page Count")) state += "; " + Counted(Value(status, "Page Count"), "page");
  return "  SNMP: " + state + "\n";
}

// A port's status for people: the printer and whether it answers, then its queue and SNMP.
std::string StatusBlock(const std::string& port, const XcvSection& status) {
  std::string block = XcvEscape(port) + "  " + XcvEscape(Value(status, "Printer")) + ": ";
  if (Value(status, "Answers") == "True") {
    block += "answers";
    if (Value(status, "Addresses") != "1" && Has(status, "Address")) block += " at " + Value(status, "Address");
  } else {
    block += "does not answer: " + Value(status, "Reason") + " (" + Value(status, "Error") + ")";
  }
  block += "\n";
  if (Has(status, "LPR Queue")) block += QueueLine(status);
  if (Has(status, "SNMP") && Value(status, "Addresses") != "0") block += SnmpLine(status);
  return block;
}

// A status or test page section as a JSON object of plain keys, flags and numbers as such.
std::string JsonReport(const std::string& port, const XcvSection& section) {
  static const std::vector<std::string> flags = {"Answers", "Queue Exists", "SNMP", "Printed"};
  static const std::vector<std::string> numbers = {"Addresses", "Error", "Device Status", "Printer Status",
                                                   "Errors", "Page Count", "Bytes", "Pages"};
  std::string json = "{\"Port\": " + JsonText(port);
  for (const XcvSetting& setting : section.settings) {
    bool flag = std::count(flags.begin(), flags.end(), setting.name) > 0;
    bool number = std::count(numbers.begin(), numbers.end(), setting.name) > 0;
    json += ", " + JsonText(setting.name) + ": " +
            (flag ? (setting.value == "True" ? "true" : "false") : number ? setting.value : JsonText(setting.value));
  }
  return json + "}";
}

// Every port's status in list order, or the one port's.
int Status(Monitor& monitor, const std::string& onlyPort, bool json) {
  std::vector<std::string> ports = {onlyPort};
  if (onlyPort.empty()) {
    std::vector<XcvSection> sections;
    DWORD status = ReadAll(monitor, &sections);
    if (status != ERROR_SUCCESS) return Report(kFailed, StatusText(status));
    ports.clear();
    for (const XcvSection& section : sections) {
      std::string port;
      if (XcvSectionPort(section, &port)) ports.push_back(port);
    }
  }
  std::string out;
  for (const std::string& port : ports) {
    std::string text;
    XcvSection section;
    DWORD status = monitor.Run(kXcvGetStatus, port, &text, kXcvReportAnswerBytes);
    if (status == ERROR_SUCCESS) status = ReadReport(text, &section);
    if (status != ERROR_SUCCESS) return Report(kFailed, out + port + ": " + StatusText(status));
    out += json ? std::string(out.empty() ? "[\n  " : ",\n  ") + JsonReport(port, section) : StatusBlock(port, section);
  }
  if (json) out += out.empty() ? "[]\n" : "\n]\n";
  fputs(out.c_str(), stdout);
  return kDone;
}

int TestPage(Monitor& monitor, const std::string& port) {
  std::string text;
  XcvSection page;
  DWORD status = monitor.Run(kXcvPrintTestPage, port, &text, kXcvReportAnswerBytes);
  if (status == ERROR_SUCCESS) status = ReadReport(text, &page);
  if (status != ERROR_SUCCESS) return Report(kFailed, StatusText(status));
  std::string state = Has(page, "State") ? "\nThe printer says: " + XcvEscape(Value(page, "State")) + "." : "";
  if (Value(page, "Printed") != "True") {
    return Report(kFailed, "The test page was not printed: " + Value(page, "Reason") + " (" + Value(page, "Error") +
                               ")." + state);
  }
  // A printer counts a page once it is out, which may be after it took the job's last byte.
  std::string pages = !Has(page, "Pages")            ? ""
                      : Value(page, "Pages") == "0" ? "; the printer's page counter has not moved yet"
                                                    : ", " + Counted(Value(page, "Pages"), "page") + " by the printer's count";
  return Report(kDone, "The test page went to " + XcvEscape(Value(page, "Printer")) + ": " +
                           Counted(Value(page, "Bytes"), "byte") + pages + "." + state);
}

int Run(const std::string& server, int argc, char** argv) {
  std::string command = argv[0];
  std::string argument = argc > 1 ? argv[1] : "";
  bool change = command == "add" || command == "set" || command == "delete" || command == "import" ||
                command == "test" || (command == "options" && argc > 1);
  std::vector<std::string> lines;
  std::string problem;
  if (command == "list" && (argc > 2 || (argc == 2 && argument != "--json"))) return Usage("list takes only --json.");
  bool statusJson = command == "status" && argc > 1 && std::string(argv[argc - 1]) == "--json";
  std::string statusPort = command == "status" && argc > (statusJson ? 2 : 1) ? argument : "";
  if (command == "status" && argc > (statusJson ? 1 : 0) + (statusPort.empty() ? 1 : 2)) {
    return Usage("status takes a port and --json, both optional.");
  }
  if (command == "options" && !ReadSettings(argc, argv, 1, &lines, &problem)) return Usage(problem);
  if ((command == "add" || command == "set") && argc >= 2 && !ReadSettings(argc, argv, 2, &lines, &problem)) {
    return Usage(problem);
  }
  bool oneArgument =
      command == "show" || command == "delete" || command == "export" || command == "import" || command == "test";
  if (!oneArgument && command != "list" && command != "options" && command != "add" && command != "set" &&
      command != "status") {
    return Usage("Unknown command: " + command);
  }
  if ((oneArgument || command == "add" || command == "set") && argc < 2) return Usage(command + " needs an argument.");
  if (oneArgument && argc > 2) return Usage(command + " takes one argument.");

  Monitor monitor(server, change);
  DWORD openError = monitor.openError();
  DWORD unreached = openError != ERROR_SUCCESS && !server.empty() ? XcvReachServer(server) : ERROR_SUCCESS;
  if (unreached != ERROR_SUCCESS) {
    return Report(kFailed, "The print server " + server + " cannot be reached: " + StatusText(unreached));
  }
  if (openError == ERROR_UNKNOWN_PORT || openError == ERROR_INVALID_PRINTER_NAME) {
    return Report(kFailed, std::string("The monitor \"") + kMonitorName + "\" is not installed on " +
                               (server.empty() ? "this machine." : server + "."));
  }
  if (openError != ERROR_SUCCESS) return Report(kFailed, StatusText(openError));

  std::string text;
  DWORD status = ERROR_SUCCESS;
  if (command == "list") return List(monitor, argc == 2);
  if (command == "status") return Status(monitor, statusPort, statusJson);
  if (command == "test") return TestPage(monitor, argument);
  if (command == "options") {
    if (change)
      return Done(monitor.Run(kXcvSetOptions, Section(kXcvOptionsKey, lines)), "The logging options are set.");
    status = monitor.Run(kXcvGetOptions, std::string(), &text);
  } else if (command == "add" || command == "set") {
    bool add = command == "add";
    return Done(monitor.Run(add ? kXcvAddPort : kXcvSetPort, Section(kXcvPortsPrefix + argument, lines)),
                (add ? "Added the port " : "Changed the port ") + argument + ".");
  } else if (command == "delete") {
    return Done(monitor.Run(kXcvDeletePort, argument), "Deleted the port " + argument + ".");
  } else if (command == "export") {
    return Export(monitor, argument);
  } else if (command == "import") {
    return Import(monitor, argument);
  } else {
    status = monitor.Run(kXcvGetPort, argument, &text);
  }
  if (status != ERROR_SUCCESS) return Report(kFailed, StatusText(status));
  fputs(text.c_str(), stdout);
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  std::string server;
  if (argc > 2 && !strcmp(argv[1], "--server")) {
    server = argv[2];
    first = 3;
  }
  if (first >= argc) return Usage("No command given.");
  if (!strcmp(argv[first], "--help")) {
    fputs(HelpText().c_str(), stdout);
    return kDone;
  }
  if (!server.empty() && server.compare(0, 2, "\\\\") != 0) return Usage("--server takes a name of the form \\\\NAME.");
  try {
    return Run(server, argc - first, argv + first);
  } catch (...) {
    return Report(kFailed, "Not enough memory.");
  }
}
