// Installs the monitor library for the print subsystem, or removes it again.
//
//   vtlpminst install   copies vtlpmmw4.dll and its companions (the help file, the VTLnet library
//                       vnetw.dll and its node file, the port UI library vtlpmui.dll that the
//                       printer's Ports tab loads) from beside this program into the system
//                       directory and registers the monitor "Vantrel Pressmark Printer"
//   vtlpminst update    replaces the installed copies with those beside this program; the
//                       monitor's registration, ports, options and VTLnet node file stay. A
//                       library the spooler holds is renamed aside, so the spooler must restart
//                       to load the new one
//   vtlpminst remove    unregisters the monitor (with its ports and options) and deletes the copies
//
// Each build installs into the system directory of its own kind, so a 32-bit build serves 32-bit
// programs; the registration is one for both, made by whichever build installs first. Exit
// codes: 0 done, 1 failed, 2 nothing to do (installed already, or not installed), 3 usage.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/messages.h"
#include "dlgutil/help.h"
#include "model/portentry.h"

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kNothingToDo = 2;
constexpr int kUsage = 3;

constexpr char kLibraryName[] = "vtlpmmw4.dll";
constexpr char kVnetLibraryName[] = "vnetw.dll";

// Files installed beside the monitor library, which looks for them in its own directory. The
// node file is the administrator's to edit: an installed one is never replaced.
struct Companion {
  const char* name;
  bool keepInstalled;
};
constexpr Companion kCompanions[] = {
    {kHelpFileName, false}, {kVnetLibraryName, false}, {"vnetnodes.txt", true}, {"vtlpmui.dll", false}};
const std::string kQuotedName = std::string("\"") + kMonitorName + "\"";

std::string ErrorText(DWORD error) {
  char text[512];
  FormatSystemError(error, text, sizeof text);
  return text;
}

int Report(int result, const std::string& message) {
  fprintf(result == kDone ? stdout : stderr, "%s\n", message.c_str());
  return result;
}

std::string ProgramDirectory() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return std::string();
  std::string directory(path, length);
  return directory.substr(0, directory.find_last_of("\\/") + 1);
}

// The system directory of this program's kind. A 32-bit program on a 64-bit system is sent from
// system32 to the 32-bit system directory anyway; naming that one keeps the messages true.
std::string SystemDirectory() {
  char path[MAX_PATH];
  UINT length = 0;
#if !defined(_WIN64)
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) length = GetSystemWow64DirectoryA(path, sizeof path);
#endif
  if (length == 0 || length >= sizeof path) length = GetSystemDirectoryA(path, sizeof path);
  if (length == 0 || length >= sizeof path) return std::string();
  return std::string(path, length) + "\\";
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether the print subsystem knows the monitor; false also when it cannot say.
bool IsRegistered() {
  DWORD needed = 0;
  DWORD count = 0;
  EnumMonitorsA(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed + 1);
  if (!EnumMonitorsA(nullptr, 1, buffer.data(), needed, &needed, &count)) return false;
  const auto* monitors = reinterpret_cast<const MONITOR_INFO_1A*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    if (monitors[i].pName && lstrcmpiA(monitors[i].pName, kMonitorName) == 0) return true;
  }
  return false;
}

// Runs a file operation until it succeeds. A program that enumerates ports holds the library for
// a moment, so a file in use is tried again for a few seconds. False with the system's code.
template <class Operation>
bool WhenFree(Operation operation) {
  ULONGLONG deadline = GetTickCount64() + 5000;
  for (;;) {
    if (operation()) return true;
    DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || GetTickCount64() > deadline) {
      SetLastError(error);
      return false;
    }
    Sleep(50);
  }
}

bool CopyInto(const std::string& source, const std::string& target) {
  return WhenFree([&] { return CopyFileA(source.c_str(), target.c_str(), FALSE); });
}

// Deletes the file when it is there.
bool RemoveFile(const std::string& path) {
  return WhenFree([&] { return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; });
}

// A library that a process has loaded cannot be overwritten, but it can be renamed: the old copy
// moves aside and is deleted now when nothing holds it, else at the next restart; the new copy
// takes its name. A failed copy puts the old one back.
bool ReplaceInto(const std::string& source, const std::string& target) {
  if (!FileExists(target)) return CopyInto(source, target);
  std::string aside = target + ".old-" + std::to_string(GetTickCount64());
  if (!MoveFileExA(target.c_str(), aside.c_str(), 0)) return false;
  if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
    DWORD error = GetLastError();
    MoveFileExA(aside.c_str(), target.c_str(), 0);
    SetLastError(error);
    return false;
  }
  if (!DeleteFileA(aside.c_str())) MoveFileExA(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

struct Paths {
  std::string source;  // this program's directory
  std::string system;  // the system directory of its kind
  std::string library() const { return system + kLibraryName; }
};

// Copies the library and the companions that are beside this program; without the help file the
// dialogs only offer no help, without the VTLnet library VTLnet names do not resolve (the answer
// says so). Answers a message for the user, empty on success; *failed tells a failure.
std::string CopyFiles(const Paths& paths, bool* failed) {
  *failed = true;
  std::string sourceLibrary = paths.source + kLibraryName;
  if (!FileExists(sourceLibrary)) return sourceLibrary + " is missing.";
  if (!ReplaceInto(sourceLibrary, paths.library())) {
    return "cannot copy the library to " + paths.library() + ": " + ErrorText(GetLastError());
  }
  *failed = false;
  std::string notes;
  for (const Companion& companion : kCompanions) {
    std::string source = paths.source + companion.name;
    std::string target = paths.system + companion.name;
    if (!FileExists(source) || (companion.keepInstalled && FileExists(target))) continue;
    if (!ReplaceInto(source, target)) notes += " Cannot copy " + target + ": " + ErrorText(GetLastError()) + ".";
  }
  if (!FileExists(paths.system + kVnetLibraryName)) {
    notes += " " + std::string(kVnetLibraryName) + " is not installed beside it: VTLnet names will not resolve.";
  }
  return notes;
}

// Deletes the copies an earlier update renamed aside ("NAME.old-N") once nothing holds them; one
// still held stays for the restart that removes it.
void RemoveSetAside(const std::string& system, const char* name) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((system + name + ".old-*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    DeleteFileA((system + found.cFileName).c_str());
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

bool RemoveFiles(const Paths& paths) {
  RemoveSetAside(paths.system, kLibraryName);
  if (!RemoveFile(paths.library())) return false;
  for (const Companion& companion : kCompanions) {
    RemoveSetAside(paths.system, companion.name);
    if (!RemoveFile(paths.system + companion.name)) return false;
  }
  return true;
}

int Install(const Paths& paths) {
  bool registered = IsRegistered();
  if (registered && FileExists(paths.library())) {
    return Report(kNothingToDo, "The monitor " + kQuotedName + " is installed already (" + paths.library() +
                                    "); nothing changed.");
  }
  bool failed = false;
  std::string notes = CopyFiles(paths, &failed);
  if (failed) return Report(kFailed, "Cannot install the monitor " + kQuotedName + ": " + notes);

  // Installed by the other kind of build, the monitor lacked only this kind's library.
  if (!registered) {
    MONITOR_INFO_2A monitor = {};
    monitor.pName = const_cast<char*>(kMonitorName);
    monitor.pDLLName = const_cast<char*>(kLibraryName);
    if (!AddMonitorA(nullptr, 2, reinterpret_cast<BYTE*>(&monitor))) {
      std::string error = ErrorText(GetLastError());
      RemoveFiles(paths);
      return Report(kFailed, "Cannot register the monitor " + kQuotedName + ": " + error);
    }
  }
  return Report(kDone, "Installed the monitor " + kQuotedName + " (" + paths.library() + ")." + notes);
}

int Update(const Paths& paths) {
  if (!IsRegistered()) {
    return Report(kNothingToDo, "The monitor " + kQuotedName + " is not installed; nothing changed.");
  }
  bool failed = false;
  std::string notes = CopyFiles(paths, &failed);
  if (failed) return Report(kFailed, "Cannot update the monitor " + kQuotedName + ": " + notes);
  return Report(kDone, "Updated the monitor " + kQuotedName + " (" + paths.library() + ")." + notes +
                           " Restart the print spooler to load the new library.");
}

int Remove(const Paths& paths) {
  bool registered = IsRegistered();
  if (!registered && !FileExists(paths.library())) {
    return Report(kNothingToDo, "The monitor " + kQuotedName + " is not installed (" + paths.library() +
                                    " is absent); nothing changed.");
  }
  if (registered && !DeleteMonitorA(nullptr, nullptr, const_cast<char*>(kMonitorName))) {
    return Report(kFailed, "Cannot unregister the monitor " + kQuotedName + ": " + ErrorText(GetLastError()));
  }
  if (!RemoveFiles(paths)) {
    return Report(kFailed, "The monitor " + kQuotedName + " is unregistered, but its files stay in " +
                               paths.system + ": " + ErrorText(GetLastError()));
  }
  return Report(kDone, "Removed the monitor " + kQuotedName + " (" + paths.library() + ").");
}

}  // namespace

int main(int argc, char** argv) {
  const char* command = argc == 2 ? argv[1] : "";
  int (*operation)(const Paths&) = !strcmp(command, "install")  ? Install
                                   : !strcmp(command, "update") ? Update
                                   : !strcmp(command, "remove") ? Remove
                                                                : nullptr;
  if (!operation) {
    fprintf(stderr, "Usage: vtlpminst install | update | remove\n");
    return kUsage;
  }
  std::string source = ProgramDirectory();
  std::string system = SystemDirectory();
  if (source.empty() || system.empty()) return Report(kFailed, "Cannot find this program's or the system's directory.");
  return operation(Paths{source, system});
}
