// Writes one port into a monitor's store and raises "Update", as another program changing the
// configuration would. Usage: pm_writeport <monitor key path> <port name> <protocol>
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  std::string portKey = std::string(argv[1]) + "\\Ports\\" + argv[2];
  DWORD protocol = static_cast<DWORD>(strtoul(argv[3], nullptr, 10));
  if (RegSetKeyValueA(HKEY_LOCAL_MACHINE, portKey.c_str(), "Protocol", REG_DWORD, &protocol, sizeof protocol)) return 1;
  if (RegSetKeyValueA(HKEY_LOCAL_MACHINE, argv[1], "Update", REG_SZ, "True", 5)) return 1;
  return 0;
}
