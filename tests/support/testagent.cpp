#include "testagent.h"

#include <gtest/gtest.h>
#include <winsock2.h>

#include <cstdio>

namespace {

void PutFile(const std::string& path, const std::string& text) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(nullptr, file) << path;
  fputs(text.c_str(), file);
  fclose(file);
}

// Binds a UDP socket to 127.0.0.1's `port` (0: any) for a moment; answers the port bound, 0 when none.
unsigned short BindUdp(unsigned short port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  int length = sizeof address;
  SOCKET probe = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  bool bound = bind(probe, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
               getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  closesocket(probe);
  return bound ? ntohs(address.sin_port) : 0;
}

std::string UnixName(const std::string& windowsName) {
  using ToUnix = char*(CDECL*)(const WCHAR*);
  auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
  char* unixName = toUnix ? toUnix(std::wstring(windowsName.begin(), windowsName.end()).c_str()) : nullptr;
  std::string name = unixName ? unixName : "";
  HeapFree(GetProcessHeap(), 0, unixName);
  return name;
}

}  // namespace

TestAgent::TestAgent(const std::string& configuration) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  Start(configuration);
}

void TestAgent::Start(const std::string& configuration) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  static int counter = 0;
  directory_ = temp + ("pmagent-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter));
  CreateDirectoryA(directory_.c_str(), nullptr);
  const std::string unixDir = UnixName(directory_), port = std::to_string(port_ = BindUdp(0));
  ASSERT_FALSE(unixDir.empty() || port_ == 0);
  PutFile(directory_ + "\\agent.conf", "rocommunity public 127.0.0.1\nrocommunity6 public ::1\n"
          "pass_persist .1.3.6.1.2.1.43.10.2.1.4 /bin/sh " + unixDir + "/pages.sh\n" + configuration + "\n");
  // The page counter read afresh at every request (the agent keeps what a plain "pass" program said);
  // always a number, even while the test rewrites the file, since the agent waits for one.
  PutFile(directory_ + "\\pages.sh", "while read -r command; do\n  case $command in\n  PING) echo PONG ;;\n"
          "  get) read -r oid; [ \"$oid\" = .1.3.6.1.2.1.43.10.2.1.4.1.1 ] || { echo NONE; continue; }\n"
          "    read -r pages < '" + unixDir + "/pages'; printf '%s\\ncounter\\n%s\\n' \"$oid\" \"${pages:-0}\" ;;\n"
          "  *) read -r oid; echo NONE ;;\n  esac\ndone\n");
  // The agent runs while the guard file is there, two minutes at most; then its directory goes.
  PutFile(directory_ + "\\agent.sh", "d='" + unixDir + "'\nSNMP_PERSISTENT_DIR=\"$d/state\" timeout 120 "
          "/usr/sbin/snmpd -f -Lf \"$d/log\" -C -c \"$d/agent.conf\" -I -hr_device,hr_print,hr_system udp:127.0.0.1:" +
          port + ",udp6:[::1]:" + port + " &\nagent=$!\n"
          "while [ -e \"$d/guard\" ] && kill -0 $agent 2>/dev/null; do sleep 0.05; done\n"
          "kill $agent 2>/dev/null; wait; rm -rf \"$d\"\n");
  PutFile(directory_ + "\\guard", "");
  SetPageCount(0);
  // Under Wine a Unix program runs when named by its Windows name; its handle does not follow it.
  std::string commandLine = "Z:\\bin\\sh " + unixDir + "/agent.sh";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process));
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int waits = 0; waits < 200 && BindUdp(port_); ++waits) Sleep(50);  // ready once the port is taken
  ASSERT_EQ(0, BindUdp(port_)) << "the agent did not start";
}

TestAgent::~TestAgent() {
  DeleteFileA((directory_ + "\\guard").c_str());
  for (int waits = 0; waits < 200 && GetFileAttributesA(directory_.c_str()) != INVALID_FILE_ATTRIBUTES; ++waits) {
    Sleep(50);
  }
  WSACleanup();
}

void TestAgent::SetPageCount(DWORD count) const { PutFile(directory_ + "\\pages", std::to_string(count) + "\n"); }
