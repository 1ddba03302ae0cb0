#include "testregistry.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <winspool.h>

#include <string>

#include "base/scoped.h"
#include "model/portlist.h"

TestMonitorKey::TestMonitorKey(bool create) {
  static int counter = 0;
  char name[96];
  snprintf(name, sizeof name, "System\\PressmarkTests\\monitor-%lu-%d", GetCurrentProcessId(), ++counter);
  path_ = name;
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
  if (create) CreateKey("");
}

TestMonitorKey::~TestMonitorKey() {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\PressmarkTests");  // only when no other test holds a key
}

std::string TestMonitorKey::Below(const std::string& subkey) const {
  return subkey.empty() ? path_ : path_ + "\\" + subkey;
}

void TestMonitorKey::CreateKey(const std::string& subkey) const {
  ScopedKey key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, Below(subkey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, key.out(), nullptr));
}

void TestMonitorKey::SetValue(const std::string& subkey, const char* name, DWORD type, const void* data,
                              DWORD size) const {
  ScopedKey key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, Below(subkey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, key.out(), nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size));
}

void TestMonitorKey::SetDword(const std::string& subkey, const char* name, DWORD value) const {
  SetValue(subkey, name, REG_DWORD, &value, sizeof value);
}

void TestMonitorKey::SetString(const std::string& subkey, const char* name, const char* text) const {
  SetValue(subkey, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

bool TestMonitorKey::HasKey(const std::string& subkey) const {
  ScopedKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, Below(subkey).c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS;
}

bool TestMonitorKey::HasValue(const std::string& subkey, const char* name) const {
  return RegGetValueA(HKEY_LOCAL_MACHINE, Below(subkey).c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, nullptr, nullptr,
                      nullptr) == ERROR_SUCCESS;
}

DWORD TestMonitorKey::GetDword(const std::string& subkey, const char* name) const {
  DWORD value = 0;
  DWORD size = sizeof value;
  EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, Below(subkey).c_str(), name, RRF_RT_REG_DWORD, nullptr,
                                        &value, &size))
      << subkey << " " << name;
  return value;
}

std::string TestMonitorKey::GetString(const std::string& subkey, const char* name) const {
  char text[512] = {};
  DWORD size = sizeof text;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, Below(subkey).c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) !=
      ERROR_SUCCESS) {
    return "";
  }
  return text;
}

void TestMonitorKey::PlantPort(const char* portName, DWORD protocol) const {
  SetDword(std::string("Ports\\") + portName, "Protocol", protocol);
}

DWORD RunTool(const char* program, const std::string& arguments, std::string* output) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  while (length && path[length - 1] != '\\' && path[length - 1] != '/') --length;
  std::string commandLine = "\"" + std::string(path, length) + program + "\" " + arguments;
  std::string file = std::string(path, length) + program + "-out.txt";
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  ScopedHandle out(output ? CreateFileA(file.c_str(), GENERIC_WRITE | GENERIC_READ, FILE_SHARE_READ, &inherited,
                                        CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr) : nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = output ? STARTF_USESTDHANDLES : 0;
  startup.hStdOutput = startup.hStdError = out.get();
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, output != nullptr, 0, nullptr, nullptr, &startup,
                      &process)) {
    ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
    return ~0u;
  }
  ScopedHandle processHandle(process.hProcess);
  ScopedHandle threadHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = ~0u;
  GetExitCodeProcess(process.hProcess, &exitCode);
  char chunk[4096];
  DWORD read = 0;
  SetFilePointer(out.get(), 0, nullptr, FILE_BEGIN);
  while (output && ReadFile(out.get(), chunk, sizeof chunk, &read, nullptr) && read) output->append(chunk, read);
  if (output) std::erase(*output, '\r');
  return exitCode;
}

TestWritesDenied::TestWritesDenied(const char* keyPath) {
  static_assert((KEY_SET_VALUE | KEY_CREATE_SUB_KEY) == 0x6, "the denied rights in the descriptor below");
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, READ_CONTROL | WRITE_DAC, &key_));
  DWORD size = 0;
  RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
  saved_.resize(size);
  EXPECT_EQ(ERROR_SUCCESS, RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size));
  PSECURITY_DESCRIPTOR deny = nullptr;
  EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;0x6;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                   &deny, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, deny));
  LocalFree(deny);
}

TestWritesDenied::~TestWritesDenied() {
  RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
  RegCloseKey(key_);
}

std::vector<std::string> ListedPorts() {
  DWORD needed = 0;
  DWORD returned = 0;
  MonitorEnumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
  std::vector<BYTE> buffer(needed + 1);
  EXPECT_TRUE(MonitorEnumPorts(nullptr, 1, buffer.data(), needed, &needed, &returned));
  std::vector<std::string> names;
  for (DWORD i = 0; i < returned; ++i) names.push_back(reinterpret_cast<PORT_INFO_1A*>(buffer.data())[i].pName);
  return names;
}
