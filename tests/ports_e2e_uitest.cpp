// vtlpmcfg.exe run as a process of its own and driven from outside as an automation client drives
// it. Shift and Escape go in as real input, since the program reads GetKeyState on its own thread.
// The program works under the machine-wide default monitor key: each test saves it and the event
// source key, and puts them back. Every refill calls the spooler's EnumPortsA, so these tests take
// the spooler lock beside the desktop lock.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/scoped.h"
#include "diag/eventlog.h"
#include "model/portentry.h"
#include "resource.h"
#include "testregistry.h"

namespace {

using Names = std::vector<std::string>;

constexpr char kAddCaption[] = "Add Port - Vantrel Pressmark Printer";

// Bounded polls that serve this thread's messages and stop early when the program ends.
bool WaitUntil(HANDLE process, const std::function<bool()>& condition) {
  for (int poll = 0; poll < 750; ++poll) {
    if (condition()) return true;
    DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, 20, QS_ALLINPUT);
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&msg);
    if (woken == WAIT_OBJECT_0) break;
  }
  return condition();
}

// A program that stops answering fails the test instead of hanging it.
LRESULT Send(HWND window, UINT message, WPARAM wp = 0, LPARAM lp = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wp, lp, SMTO_NORMAL, 10000, &result)) {
    ADD_FAILURE() << "window " << window << " did not answer message " << message;
    return -1;
  }
  return static_cast<LRESULT>(result);
}

std::string TextOf(HWND window) {
  char text[256] = {};
  Send(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

// The top-level windows, topmost first: of one process and visible, or all of them.
std::vector<HWND> TopWindows(DWORD processId = 0) {
  std::vector<HWND> found;
  for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (!processId || (owner == processId && IsWindowVisible(window))) found.push_back(window);
  }
  return found;
}

// Z-order position among the top-level windows, 0 topmost.
size_t ZPosition(HWND window) {
  std::vector<HWND> windows = TopWindows();
  return static_cast<size_t>(std::find(windows.begin(), windows.end(), window) - windows.begin());
}

bool CopyKey(HKEY from, const char* toPath) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, toPath);
  ScopedKey to;
  return RegCreateKeyExA(HKEY_LOCAL_MACHINE, toPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, to.out(), nullptr) ==
             ERROR_SUCCESS &&
         (!from || RegCopyTreeA(from, nullptr, to.get()) == ERROR_SUCCESS);
}

// Keeps what a machine-wide key held: copied aside at the start and back at the end. In between
// the key is absent, or exists and is empty (`createEmpty`).
class SavedKey {
public:
  SavedKey(const char* path, bool createEmpty) : path_(path) {
    ScopedKey existing;
    hadKey_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_, 0, KEY_READ, existing.out()) == ERROR_SUCCESS;
    if (hadKey_ && !CopyKey(existing.get(), backup_.c_str())) {
      ADD_FAILURE() << "cannot save " << path_ << "; it is left alone";
      return;
    }
    existing.Close();
    owned_ = true;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_);
    ready_ = !createEmpty || CopyKey(nullptr, path_);
  }

  ~SavedKey() {
    if (!owned_) return;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_);
    ScopedKey backup;
    if (hadKey_ && (RegOpenKeyExA(HKEY_LOCAL_MACHINE, backup_.c_str(), 0, KEY_READ, backup.out()) != ERROR_SUCCESS ||
                    !CopyKey(backup.get(), path_))) {
      ADD_FAILURE() << path_ << " could not be restored; its copy stays in " << backup_;
      return;
    }
    backup.Close();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, backup_.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\PressmarkTests");  // only when no other test holds a key
  }

  SavedKey(const SavedKey&) = delete;
  SavedKey& operator=(const SavedKey&) = delete;

  bool ready() const { return owned_ && ready_; }

private:
  inline static int counter_ = 0;
  const char* path_;
  std::string backup_ = "System\\PressmarkTests\\saved-" + std::to_string(GetCurrentProcessId()) + "-" +
                        std::to_string(++counter_);
  bool hadKey_ = false;
  bool owned_ = false;
  bool ready_ = false;
};

std::string PortKey(const char* portName) {
  return std::string(kDefaultMonitorKeyPath) + "\\Ports\\" + portName;
}

void PlantPort(const char* portName) {
  DWORD protocol = kProtocolTcp;
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, PortKey(portName).c_str(), "Protocol", REG_DWORD,
                                           &protocol, sizeof protocol));
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, PortKey(portName).c_str(), "TCP/IP Name", REG_SZ,
                                           "localhost", sizeof "localhost"));
}

// A port's value as text: a string as stored, a number in decimal; "" when absent.
std::string PortValue(const char* portName, const char* valueName) {
  char data[256] = {};
  DWORD size = sizeof data, type = REG_NONE;
  LONG result = RegGetValueA(HKEY_LOCAL_MACHINE, PortKey(portName).c_str(), valueName, RRF_RT_REG_SZ | RRF_RT_REG_DWORD,
                             &type, data, &size);
  return result ? "" : type == REG_DWORD ? std::to_string(*reinterpret_cast<DWORD*>(data)) : std::string(data);
}

// A copy of the program; ended outright if it still runs when the test lets it go.
class ProgramProcess {
public:
  ~ProgramProcess() { if (Running()) TerminateProcess(handle_.get(), 1); }

  // Found first in this program's own directory.
  bool Start() {
    char commandLine[] = "vtlpmcfg.exe";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
      ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
      return false;
    }
    CloseHandle(started.hThread);
    handle_.reset(started.hProcess);
    return true;
  }

  HANDLE get() const { return handle_.get(); }
  DWORD id() const { return GetProcessId(handle_.get()); }
  bool Running() const { return handle_ && WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT; }

  // The exit code; ~0 when the process did not end in time.
  DWORD WaitForExit() const {
    DWORD exitCode = ~0u;
    if (WaitUntil(handle_.get(), [this] { return !Running(); })) GetExitCodeProcess(handle_.get(), &exitCode);
    return exitCode;
  }

private:
  ScopedHandle handle_;
};

// Real input, taken by the thread that owns the foreground.
bool SendInputs(std::vector<INPUT> inputs) {
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

INPUT Input(DWORD type, DWORD flags, WORD key = 0) {
  INPUT input = {};
  input.type = type;
  if (type == INPUT_KEYBOARD) input.ki = {key, 0, flags, 0, 0};
  else input.mi.dwFlags = flags;
  return input;
}

bool PressKey(WORD key) {
  return SendInputs({Input(INPUT_KEYBOARD, 0, key), Input(INPUT_KEYBOARD, KEYEVENTF_KEYUP, key)});
}

class PortsProgramTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(monitor.ready() && eventSource.ready()) << "the keys cannot be set up"; }

  // Closed with its Close button, which must end it with 0; after a failure it is ended outright.
  void TearDown() override {
    if (!program.Running() || HasFailure()) return;
    Click(IDC_PORTS_CLOSE);
    EXPECT_EQ(0u, program.WaitForExit()) << "Close must end the program with exit code 0";
  }

  // Starts the program and waits until the Ports window has filled its list once.
  bool Start(size_t expectedPorts) {
    if (!program.Start()) return false;
    bool shown = Wait([&] {
      window = FindWindowA("PressmarkPorts", "Vantrel Pressmark Printer Ports");
      return window && IsWindowVisible(window) && Send(List(), LB_GETCOUNT) == static_cast<LRESULT>(expectedPorts);
    });
    if (!shown) ADD_FAILURE() << "the Ports window did not come up with " << expectedPorts << " ports";
    return shown;
  }

  HWND List() const { return GetDlgItem(window, IDC_PORTS_LIST); }
  LRESULT Selection() const { return Send(List(), LB_GETCURSEL); }
  int EnabledSelectionButtons() const {
    return !!IsWindowEnabled(GetDlgItem(window, IDC_PORTS_MODIFY)) +
           !!IsWindowEnabled(GetDlgItem(window, IDC_PORTS_DELETE));
  }
  bool Wait(const std::function<bool()>& condition) const { return WaitUntil(program.get(), condition); }

  Names Listed() const {
    Names names;
    LRESULT count = Send(List(), LB_GETCOUNT);
    for (LRESULT index = 0; index < count; ++index) {
      // Wide: Wine hands a list item across processes as UTF-16 whichever way it is asked for.
      wchar_t wide[kPortNameSize] = {};
      char name[kPortNameSize * 2] = {};
      if (Send(List(), LB_GETTEXTLEN, static_cast<WPARAM>(index)) >= static_cast<LRESULT>(kPortNameSize) ||
          !SendMessageTimeoutW(List(), LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide),
                               SMTO_NORMAL, 10000, nullptr)) {
        ADD_FAILURE() << "item " << index << " cannot be read";
        break;
      }
      WideCharToMultiByte(CP_ACP, 0, wide, -1, name, sizeof name, nullptr, nullptr);
      names.push_back(name);
    }
    return names;
  }

  ::testing::AssertionResult WaitForList(const Names& names) const {
    if (Wait([&] { return Listed() == names; })) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the list shows " << ::testing::PrintToString(Listed());
  }

  // Selects an item as a click would leave it: the selection, then the list box's notification.
  void Select(int index) const {
    Send(List(), LB_SETCURSEL, static_cast<WPARAM>(index));
    Send(window, WM_COMMAND, MAKEWPARAM(IDC_PORTS_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(List()));
  }

  // Posted, since a button may open a modal dialog that the click must not wait for.
  static void Click(HWND parent, int id) { PostMessageA(GetDlgItem(parent, id), BM_CLICK, 0, 0); }
  void Click(int id) const { Click(window, id); }

  HWND WaitForDialog(const char* caption) const {
    HWND dialog = nullptr;
    bool shown = Wait([&] { return (dialog = FindWindowA("#32770", caption)) && IsWindowVisible(dialog); });
    return shown ? dialog : nullptr;
  }

  bool WaitUntilGone(HWND gone) const { return Wait([gone] { return !IsWindow(gone); }); }

  // A left click on a list item through the input queue.
  ::testing::AssertionResult ClickItem(int index) const {
    LRESULT height = Send(List(), LB_GETITEMHEIGHT);
    POINT point = {8, static_cast<LONG>((index - Send(List(), LB_GETTOPINDEX)) * height + height / 2)};
    ClientToScreen(List(), &point);
    if (!SetCursorPos(point.x, point.y) || WindowFromPoint(point) != List()) {
      return ::testing::AssertionFailure() << "the list item at " << point.x << "," << point.y << " cannot be reached";
    }
    bool sent = SendInputs({Input(INPUT_MOUSE, MOUSEEVENTF_LEFTDOWN), Input(INPUT_MOUSE, MOUSEEVENTF_LEFTUP)});
    return sent ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "the click was refused";
  }

  SavedKey monitor{kDefaultMonitorKeyPath, true};
  SavedKey eventSource{kEventSourceKey, false};
  ProgramProcess program;
  HWND window = nullptr;
};

TEST_F(PortsProgramTest, NewModifyAndDeleteReachTheRegistryAndRefillTheList) {
  for (const char* name : {"beta", "alpha", "gamma"}) PlantPort(name);
  ASSERT_TRUE(Start(3));
  EXPECT_EQ(0, EnabledSelectionButtons());

  // Field by field, as a user types: the dialog completes a field when the focus leaves it.
  Click(IDC_PORTS_NEW);
  HWND dialog = WaitForDialog(kAddCaption);
  ASSERT_NE(nullptr, dialog) << "New did not open the port dialog";
  for (auto [id, text] : std::initializer_list<std::pair<int, const char*>>{
           {IDC_PORT_TCP_NAME, "localhost"}, {IDC_PORT_NAME_EDIT, "delta"}, {IDOK, ""}}) {
    Send(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
    if (*text) Send(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  }
  Click(dialog, IDOK);
  ASSERT_TRUE(WaitUntilGone(dialog)) << "OK did not close the port dialog";
  EXPECT_TRUE(WaitForList({"gamma", "delta", "beta", "alpha"}));
  EXPECT_EQ(0, EnabledSelectionButtons());
  EXPECT_EQ(std::to_string(kProtocolTcp), PortValue("delta", "Protocol"));
  EXPECT_EQ("localhost", PortValue("delta", "TCP/IP Name"));

  Select(3);  // alpha
  ASSERT_EQ(2, EnabledSelectionButtons());
  Click(IDC_PORTS_MODIFY);
  dialog = WaitForDialog("Configure Port - Vantrel Pressmark Printer");
  ASSERT_NE(nullptr, dialog) << "Modify did not open the port dialog";
  EXPECT_EQ("alpha", TextOf(GetDlgItem(dialog, IDC_PORT_NAME_TEXT)));
  Click(dialog, IDC_PORT_OPTIONS);
  HWND options = WaitForDialog("Vantrel Pressmark Printer Options");
  ASSERT_NE(nullptr, options) << "Options did not open the printer options";
  Send(GetDlgItem(options, IDC_OPT_BANNER), BM_CLICK);
  Click(options, IDOK);
  ASSERT_TRUE(WaitUntilGone(options));
  Click(dialog, IDOK);
  ASSERT_TRUE(WaitUntilGone(dialog)) << "OK did not close the port dialog";
  EXPECT_TRUE(Wait([] { return PortValue("alpha", "Banner") == "True"; }));
  EXPECT_EQ("", PortValue("beta", "Banner"));
  EXPECT_TRUE(WaitForList({"gamma", "delta", "beta", "alpha"}));
  EXPECT_EQ(LB_ERR, Selection());
  EXPECT_EQ(0, EnabledSelectionButtons());

  // A question would hold the deletion back, so the list would never change.
  Select(2);  // beta
  ASSERT_EQ(2, EnabledSelectionButtons());
  Click(IDC_PORTS_DELETE);
  EXPECT_TRUE(WaitForList({"gamma", "delta", "alpha"}));
  EXPECT_EQ((std::vector<HWND>{window}), TopWindows(program.id()));
  EXPECT_EQ("", PortValue("beta", "Protocol"));
  EXPECT_EQ(0, EnabledSelectionButtons());
}

TEST_F(PortsProgramTest, EscapeDoesNothingAndAShiftClickClearsTheSelection) {
  for (const char* name : {"alpha", "beta", "gamma"}) PlantPort(name);
  ASSERT_TRUE(Start(3));
  SetForegroundWindow(window);
  ASSERT_TRUE(Wait([&] { return GetForegroundWindow() == window; })) << "the Ports window stays behind";
  ASSERT_TRUE(ClickItem(1));
  ASSERT_TRUE(Wait([&] { return Selection() == 1 && EnabledSelectionButtons() == 2; }));

  // The program takes both keys in order: once Down has moved the selection, Escape was handled.
  ASSERT_TRUE(PressKey(VK_ESCAPE) && PressKey(VK_DOWN));
  EXPECT_TRUE(Wait([&] { return Selection() == 2; })) << "selection " << Selection();
  EXPECT_EQ((std::vector<HWND>{window}), TopWindows(program.id()));

  ASSERT_TRUE(SendInputs({Input(INPUT_KEYBOARD, 0, VK_SHIFT)}));
  ::testing::AssertionResult clicked = ClickItem(0);
  SendInputs({Input(INPUT_KEYBOARD, KEYEVENTF_KEYUP, VK_SHIFT)});  // let go on every path
  ASSERT_TRUE(clicked);
  EXPECT_TRUE(Wait([&] { return Selection() == LB_ERR; })) << "selection " << Selection();
  EXPECT_EQ(0, EnabledSelectionButtons());
}

TEST_F(PortsProgramTest, SecondCopyHandsOverAndAPortWrittenMeanwhileAppearsAtTheNextRefill) {
  PlantPort("alpha");
  ASSERT_TRUE(Start(1));
  Select(0);
  // Written without raising "Update": the refill must raise it for the program's copy to reload.
  PlantPort("beta");
  Click(IDC_PORTS_NEW);
  HWND dialog = WaitForDialog(kAddCaption);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ((Names{"alpha"}), Listed());

  // A window of the test's own holds the foreground until the second copy takes it away.
  std::unique_ptr<HWND__, decltype(&DestroyWindow)> holding(
      CreateWindowExA(0, "STATIC", "holder", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr),
      &DestroyWindow);
  HWND holder = holding.get();
  ASSERT_NE(nullptr, holder);
  SetForegroundWindow(holder);
  ASSERT_TRUE(Wait([&] { return GetForegroundWindow() == holder; }));
  ASSERT_LT(ZPosition(holder), ZPosition(window));

  ProgramProcess second;
  ASSERT_TRUE(second.Start());
  EXPECT_EQ(0u, second.WaitForExit()) << "the second copy must end with exit code 0";
  EXPECT_TRUE(Wait([&] { return GetForegroundWindow() == dialog; })) << "foreground: " << TextOf(GetForegroundWindow());
  EXPECT_LT(ZPosition(dialog), ZPosition(holder));
  EXPECT_LT(ZPosition(window), ZPosition(holder));
  holding.reset();
  // Cancel too ends with a refill, which drops the selection.
  Click(dialog, IDCANCEL);
  ASSERT_TRUE(WaitUntilGone(dialog));
  EXPECT_TRUE(WaitForList({"beta", "alpha"}));
  EXPECT_EQ(0, EnabledSelectionButtons());

  ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(Wait([&] { return IsIconic(window) != FALSE; }));
  ProgramProcess third;
  ASSERT_TRUE(third.Start());
  EXPECT_EQ(0u, third.WaitForExit()) << "the third copy must end with exit code 0";
  EXPECT_TRUE(Wait([&] { return !IsIconic(window) && IsWindowVisible(window); })) << "the window stays minimised";
}

// With the monitor installed, vtlpmport adds a port through the print system's Xcv interface; the
// Ports window shows it at its next refill.
TEST_F(PortsProgramTest, APortAddedByThePortToolShowsAtTheNextRefill) {
  PlantPort("alpha");
  ASSERT_TRUE(Start(1));
  struct Installed {
    ~Installed() { EXPECT_EQ(0u, RunTool("vtlpminst.exe", "remove")); }
  };
  ASSERT_EQ(0u, RunTool("vtlpminst.exe", "install"));
  Installed installed;
  ASSERT_EQ(0u, RunTool("vtlpmport.exe", "add tooled --tcp --tcp-address 10.0.0.3"));
  EXPECT_EQ((Names{"alpha"}), Listed());
  Click(IDC_PORTS_NEW);
  HWND dialog = WaitForDialog(kAddCaption);
  ASSERT_NE(nullptr, dialog);
  Click(dialog, IDCANCEL);
  ASSERT_TRUE(WaitUntilGone(dialog));
  EXPECT_TRUE(WaitForList({"tooled", "alpha"}));
}

}  // namespace
