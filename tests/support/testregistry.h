// A monitor key of a test's own under HKEY_LOCAL_MACHINE, with helpers to plant and inspect raw
// registry values; the key and everything beneath it are removed when the owner goes away.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TestMonitorKey {
public:
  // Creates the monitor key (unless `create` is false); its path is unique to the process and call.
  explicit TestMonitorKey(bool create = true);
  ~TestMonitorKey();
  TestMonitorKey(const TestMonitorKey&) = delete;
  TestMonitorKey& operator=(const TestMonitorKey&) = delete;

  const char* path() const { return path_.c_str(); }
  // The path of a key beneath the monitor key, for example "Ports\\alpha".
  std::string Below(const std::string& subkey) const;

  void CreateKey(const std::string& subkey) const;
  void SetValue(const std::string& subkey, const char* name, DWORD type, const void* data, DWORD size) const;
  void SetDword(const std::string& subkey, const char* name, DWORD value) const;
  void SetString(const std::string& subkey, const char* name, const char* text) const;

  bool HasKey(const std::string& subkey) const;
  bool HasValue(const std::string& subkey, const char* name) const;
  DWORD GetDword(const std::string& subkey, const char* name) const;
  std::string GetString(const std::string& subkey, const char* name) const;

  // Plants a minimal usable port: "Protocol" and nothing else.
  void PlantPort(const char* portName, DWORD protocol = 2) const;

private:
  std::string path_;
};

// Denies everyone setting values and creating subkeys under the key while it lives, as an
// administrator does for a user who may only look; reading stays allowed.
class TestWritesDenied {
public:
  explicit TestWritesDenied(const char* keyPath);
  ~TestWritesDenied();
  TestWritesDenied(const TestWritesDenied&) = delete;
  TestWritesDenied& operator=(const TestWritesDenied&) = delete;

private:
  HKEY key_ = nullptr;
  std::vector<BYTE> saved_;
};

// The port names this process's copy of the monitor hands out at level 1, in order.
std::vector<std::string> ListedPorts();

// Runs a program from the test's own directory with the given arguments and answers its exit code;
// with `output`, what it wrote to its standard output and error is added there, its lines ended by LF.
DWORD RunTool(const char* program, const std::string& arguments, std::string* output = nullptr);
