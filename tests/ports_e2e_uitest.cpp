// vtlpmcfg.exe as a process of its own: start-up, the hand-over to a running copy, real input, the refill
// after each command, the exit code. It installs the monitor into the spooler: it takes the spooler lock too.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "base/scoped.h"
#include "diag/eventlog.h"
#include "model/portentry.h"
#include "resource.h"
#include "testregistry.h"

namespace {

// Bounded polls that serve this thread's messages and stop early when the process ends.
bool WaitUntil(HANDLE process, const std::function<bool()>& condition) {
  for (int poll = 0; poll < 750; ++poll) {
    if (condition()) return true;
    DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, 20, QS_ALLINPUT);
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&msg);
    if (woken == WAIT_OBJECT_0) break;
  }
  return condition();
}

bool Running(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

// Answers the exit code once the process has ended; one that does not end is ended outright.
DWORD ExitCode(HANDLE process) {
  DWORD code = STILL_ACTIVE;
  if (!WaitUntil(process, [process] { return !Running(process); })) TerminateProcess(process, 1);
  GetExitCodeProcess(process, &code);
  return code;
}

// A copy of the program, found first in this program's own directory; null when none starts.
HANDLE StartProgram() {
  char command[] = "vtlpmcfg.exe";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, 0, 0, nullptr, nullptr, &startup, &started)) return nullptr;
  CloseHandle(started.hThread);
  return started.hProcess;
}

DWORD RunAnotherCopy() {
  ScopedHandle copy(StartProgram());
  return copy ? ExitCode(copy.get()) : ~0u;
}

// A program that stops answering answers -2 instead of hanging the test.
LRESULT Send(HWND window, UINT message, WPARAM wp = 0) {
  DWORD_PTR result = static_cast<DWORD_PTR>(-2);
  SendMessageTimeoutA(window, message, wp, 0, SMTO_NORMAL, 10000, &result);
  return static_cast<LRESULT>(result);
}

bool KeyExists(const std::string& path) {
  ScopedKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS;
}

std::string PortKey(const char* portName) { return std::string(kDefaultMonitorKeyPath) + "\\Ports\\" + portName; }

// A TCP/IP port written as another program would: "Update" not raised, the protocol as text.
void PlantPort(const char* port) {
  for (auto [name, text] : {std::pair{"Protocol", "2"}, {"TCP/IP Name", "localhost"}}) {
    ASSERT_EQ(0, RegSetKeyValueA(HKEY_LOCAL_MACHINE, PortKey(port).c_str(), name, REG_SZ, text, lstrlenA(text) + 1));
  }
}

// Real input, taken by the thread that owns the foreground: a key or a mouse button going down or up.
bool SendReal(DWORD type, DWORD flags, WORD key = 0) {
  INPUT input = {};
  input.type = type;
  if (type == INPUT_KEYBOARD) input.ki = {key, 0, flags, 0, 0};
  else input.mi.dwFlags = flags;
  return SendInput(1, &input, sizeof input) == 1;
}

bool PressKey(WORD key) { return SendReal(INPUT_KEYBOARD, 0, key) && SendReal(INPUT_KEYBOARD, KEYEVENTF_KEYUP, key); }

class PortsProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(KeyExists(kDefaultMonitorKeyPath)) << "this prefix has the monitor; remove it with vtlpminst remove";
    ownsKeys = true;
    hadEventSource = KeyExists(kEventSourceKey);
  }

  // A program left running has failed the test: it ends before the library it may hold is removed.
  void TearDown() override {
    if (program && Running(program.get()) && TerminateProcess(program.get(), 1)) ExitCode(program.get());
    EXPECT_TRUE(!installed || RunTool("vtlpminst.exe", "remove") == 0);
    if (ownsKeys) RegDeleteTreeA(HKEY_LOCAL_MACHINE, kDefaultMonitorKeyPath);
    if (ownsKeys && !hadEventSource) RegDeleteTreeA(HKEY_LOCAL_MACHINE, kEventSourceKey);
  }

  // Starts the program and waits until its first paint has filled the list.
  bool Start(LRESULT expectedPorts) {
    program.reset(StartProgram());
    return program && Wait([&] {
      window = FindWindowA("PressmarkPorts", "Vantrel Pressmark Printer Ports");
      return window && IsWindowVisible(window) && Count() == expectedPorts;
    });
  }

  bool Wait(const std::function<bool()>& condition) const { return WaitUntil(program.get(), condition); }
  HWND List() const { return GetDlgItem(window, IDC_PORTS_LIST); }
  LRESULT Count() const { return Send(List(), LB_GETCOUNT); }
  LRESULT Selection() const { return Send(List(), LB_GETCURSEL); }
  int EnabledButtons() const {
    return !!IsWindowEnabled(GetDlgItem(window, IDC_PORTS_MODIFY)) +
           !!IsWindowEnabled(GetDlgItem(window, IDC_PORTS_DELETE));
  }

  // Posted, since a button may open a modal dialog that the click must not wait for.
  static void Click(HWND parent, int id) { PostMessageA(GetDlgItem(parent, id), BM_CLICK, 0, 0); }

  HWND WaitForDialog(const char* caption) const {
    HWND dialog = nullptr;
    bool shown = Wait([&] { return (dialog = FindWindowA("#32770", caption)) && IsWindowVisible(dialog); });
    return shown ? dialog : nullptr;
  }

  // A left click on a list item through the input queue.
  bool ClickItem(int index) const {
    LRESULT height = Send(List(), LB_GETITEMHEIGHT);
    POINT point = {8, static_cast<LONG>((index - Send(List(), LB_GETTOPINDEX)) * height + height / 2)};
    ClientToScreen(List(), &point);
    return SetCursorPos(point.x, point.y) && WindowFromPoint(point) == List() &&
           SendReal(INPUT_MOUSE, MOUSEEVENTF_LEFTDOWN) && SendReal(INPUT_MOUSE, MOUSEEVENTF_LEFTUP);
  }

  bool ownsKeys = false;
  bool hadEventSource = false;
  bool installed = false;
  ScopedHandle program;
  HWND window = nullptr;
};

// One flow from start-up to Close, each step taking the program as the step before left it.
TEST_F(PortsProgramTest, TakesRealInputHandsOverToItselfAndRefillsAfterEveryCommand) {
  for (const char* name : {"alpha", "beta", "gamma"}) PlantPort(name);
  ASSERT_TRUE(Start(3)) << "the first paint did not fill the list";  // gamma, beta, alpha
  ASSERT_TRUE(SetForegroundWindow(window) && Wait([&] { return GetForegroundWindow() == window; }));
  // The program takes the keys in order: once Down has moved the selection, Escape was handled.
  ASSERT_TRUE(ClickItem(1) && PressKey(VK_ESCAPE) && PressKey(VK_DOWN));
  EXPECT_TRUE(Wait([&] { return Selection() == 2 && EnabledButtons() == 2; })) << "selection " << Selection();
  Click(window, IDC_PORTS_MODIFY);
  HWND dialog = WaitForDialog("Configure Port - Vantrel Pressmark Printer");
  ASSERT_TRUE(dialog) << "Modify did not open the port dialog";

  // A window of the test's own holds the foreground until a second copy hands it to the dialog.
  HWND held = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(held && SetForegroundWindow(held) && Wait([&] { return GetForegroundWindow() == held; }));
  EXPECT_EQ(0u, RunAnotherCopy()) << "the second copy must end with 0";
  EXPECT_TRUE(Wait([&] { return GetForegroundWindow() == dialog; })) << "the port dialog is not in front";

  // The settings go to the selected port: the store has written alpha's protocol as a number.
  Click(dialog, IDOK);
  EXPECT_TRUE(Wait([&] { return !IsWindow(dialog) && Selection() == LB_ERR && EnabledButtons() == 0; }));
  EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, PortKey("alpha").c_str(), "Protocol", RRF_RT_REG_DWORD,
                                        nullptr, nullptr, nullptr));

  // Installed, the monitor's copy in the spooler takes "Update" when the refill enumerates: the refill
  // must raise it again for the program's copy to show a port written meanwhile without it.
  ASSERT_EQ(0u, RunTool("vtlpminst.exe", "install"));
  installed = true;
  PlantPort("delta");
  Click(window, IDC_PORTS_NEW);
  ASSERT_TRUE(dialog = WaitForDialog("Add Port - Vantrel Pressmark Printer")) << "New did not open the port dialog";
  Click(dialog, IDCANCEL);
  EXPECT_TRUE(Wait([&] { return Count() == 4; })) << Count() << " ports listed";  // gamma, delta, beta, alpha

  ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(Wait([&] { return IsIconic(window) != FALSE; }));
  EXPECT_EQ(0u, RunAnotherCopy()) << "the third copy must end with 0";
  EXPECT_TRUE(Wait([&] { return !IsIconic(window) && IsWindowVisible(window); })) << "the window stays minimised";
  Click(window, IDC_PORTS_CLOSE);
  EXPECT_EQ(0u, ExitCode(program.get())) << "Close must end the program with 0";
}

}  // namespace
