// vtlpmcfg.exe end to end: the program runs as a process of its own and is driven from outside as
// an automation client drives it. Its windows are found by class and caption, buttons are pressed
// with BM_CLICK, fields filled with WM_SETTEXT, list and button states read back by message, and
// the store is read from the registry. Where a behaviour depends on the program's own thread seeing
// a key held (Shift-click, Escape) the keys and the clicks go in as real input through SendInput,
// with the Ports window in the foreground: the program's thread then takes them from its own input
// queue, and GetKeyState there reports Shift down while the list box notifies.
//
// The program works under the default monitor key, which belongs to the whole machine: each test
// saves whatever is there, creates the key afresh as an installer would, and puts the saved key
// back; the same for the event source key that the program registers. Every refill of the Ports
// window also calls the spooler's EnumPortsA, so these tests take the spooler lock beside the
// desktop lock.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/scoped.h"
#include "diag/eventlog.h"
#include "model/portentry.h"
#include "resource.h"

namespace {

constexpr char kProgram[] = "vtlpmcfg.exe";
constexpr char kPortsCaption[] = "Vantrel Pressmark Printer Ports";
constexpr char kPortsClass[] = "PressmarkPorts";
constexpr char kAddCaption[] = "Add Port - Vantrel Pressmark Printer";
constexpr char kConfigureCaption[] = "Configure Port - Vantrel Pressmark Printer";
constexpr char kOptionsCaption[] = "Vantrel Pressmark Printer Options";
constexpr char kDialogClass[] = "#32770";

// Waiting: short polls, each a wait on the program's process (which ends the wait early when the
// program dies) while this thread's own messages are served, bounded in number.
constexpr DWORD kPollMs = 20;
constexpr int kPolls = 750;

void ServeOwnMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

bool WaitUntil(HANDLE process, const std::function<bool()>& condition) {
  for (int poll = 0; poll < kPolls; ++poll) {
    if (condition()) return true;
    DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, kPollMs, QS_ALLINPUT);
    ServeOwnMessages();
    if (woken == WAIT_OBJECT_0) break;  // the process ended: nothing more will change
  }
  return condition();
}

// Messages to the program's windows; a program that stops answering fails the test instead of
// hanging it.
LRESULT Send(HWND window, UINT message, WPARAM wp = 0, LPARAM lp = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wp, lp, SMTO_NORMAL, 10000, &result)) {
    ADD_FAILURE() << "window " << window << " did not answer message " << message;
    return -1;
  }
  return static_cast<LRESULT>(result);
}

std::string TextOf(HWND window) {
  LRESULT length = Send(window, WM_GETTEXTLENGTH);
  if (length <= 0) return "";
  std::string text(static_cast<size_t>(length) + 1, '\0');
  LRESULT copied = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The visible top-level windows of one process, topmost first.
std::vector<HWND> VisibleWindowsOf(DWORD processId) {
  std::vector<HWND> found;
  for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && IsWindowVisible(window)) found.push_back(window);
  }
  return found;
}

HWND FindVisibleWindow(DWORD processId, const char* className, const char* caption) {
  for (HWND window : VisibleWindowsOf(processId)) {
    if (ClassOf(window) == className && TextOf(window) == caption) return window;
  }
  return nullptr;
}

int CountWindowsOfClass(const char* className) {
  int count = 0;
  for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
    if (ClassOf(window) == className) ++count;
  }
  return count;
}

// Z-order position among the top-level windows, 0 topmost; -1 when not found.
int ZPosition(HWND wanted) {
  int position = 0;
  for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT), ++position) {
    if (window == wanted) return position;
  }
  return -1;
}

// ---- keys the program writes

// Keeps whatever a machine-wide key held while it lives: copied aside at the start and copied back
// at the end, so that a machine with the monitor installed keeps its ports. In between the key is
// absent, or exists and is empty (`createEmpty`), as an installer leaves the monitor key.
class SavedKey {
public:
  SavedKey(const char* path, bool createEmpty) : path_(path) {
    static int counter = 0;
    backup_ = "System\\PressmarkTests\\saved-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(++counter);
    ScopedKey existing;
    hadKey_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path_, 0, KEY_READ, existing.out()) == ERROR_SUCCESS;
    if (hadKey_) {
      ScopedKey backup;
      RegDeleteTreeA(HKEY_LOCAL_MACHINE, backup_.c_str());
      if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, backup_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, backup.out(),
                          nullptr) != ERROR_SUCCESS ||
          RegCopyTreeA(existing.get(), nullptr, backup.get()) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot save " << path_ << "; it is left alone";
        return;
      }
    }
    existing.Close();
    owned_ = true;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_);
    ScopedKey created;
    ready_ = !createEmpty || RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             created.out(), nullptr) == ERROR_SUCCESS;
  }

  ~SavedKey() {
    if (!owned_) return;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_);
    if (!hadKey_) return;
    ScopedKey restored;
    ScopedKey backup;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, restored.out(),
                        nullptr) != ERROR_SUCCESS ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, backup_.c_str(), 0, KEY_READ, backup.out()) != ERROR_SUCCESS ||
        RegCopyTreeA(backup.get(), nullptr, restored.get()) != ERROR_SUCCESS) {
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
  const char* path_;
  std::string backup_;
  bool hadKey_ = false;
  bool owned_ = false;
  bool ready_ = false;
};

std::string PortKey(const char* portName) {
  return std::string(kDefaultMonitorKeyPath) + "\\Ports\\" + portName;
}

void PlantPort(const char* portName, const char* tcpName = nullptr) {
  DWORD protocol = kProtocolTcp;
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, PortKey(portName).c_str(), "Protocol", REG_DWORD,
                                           &protocol, sizeof protocol));
  if (tcpName) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_LOCAL_MACHINE, PortKey(portName).c_str(), "TCP/IP Name", REG_SZ,
                                             tcpName, static_cast<DWORD>(strlen(tcpName) + 1)));
  }
}

bool HasPortKey(const char* portName) {
  ScopedKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, PortKey(portName).c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS;
}

std::string PortString(const char* portName, const char* valueName) {
  char text[256] = {};
  DWORD size = sizeof text;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, PortKey(portName).c_str(), valueName, RRF_RT_REG_SZ, nullptr, text, &size)) {
    return "";
  }
  return text;
}

DWORD PortDword(const char* portName, const char* valueName) {
  DWORD value = ~0u;
  DWORD size = sizeof value;
  RegGetValueA(HKEY_LOCAL_MACHINE, PortKey(portName).c_str(), valueName, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

// ---- the program

std::string ProgramDirectory() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  while (length && path[length - 1] != '\\' && path[length - 1] != '/') --length;
  return std::string(path, length);
}

// A process the test started, ended outright when it still runs as the test lets it go, so that
// no test leaves one behind. Its output goes nowhere: a tool's report does not mix with the test's.
class ChildProcess {
public:
  ChildProcess() = default;
  ~ChildProcess() {
    if (Running()) TerminateProcess(handle_.get(), 1);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(std::string commandLine) {
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    ScopedHandle nowhere(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inherited, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nowhere.get();
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started)) {
      ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
      return false;
    }
    CloseHandle(started.hThread);
    handle_.reset(started.hProcess);
    id_ = started.dwProcessId;
    return true;
  }

  // One of the test's own programs, from the test's directory.
  bool StartTool(const char* program) { return Start("\"" + ProgramDirectory() + program + "\""); }

  HANDLE get() const { return handle_.get(); }
  DWORD id() const { return id_; }
  bool Running() const { return handle_ && WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT; }

  // Waits for the end; answers the exit code, ~0 when the process did not end in time.
  DWORD WaitForExit() const {
    DWORD exitCode = ~0u;
    if (!WaitUntil(handle_.get(), [this] { return !Running(); })) return exitCode;
    GetExitCodeProcess(handle_.get(), &exitCode);
    return exitCode;
  }

private:
  ScopedHandle handle_;
  DWORD id_ = 0;
};

// One running copy of the program. It is closed with its Close button at the end and must then
// end with exit code 0; after a failure it is ended outright, so no test leaves it behind.
class PortsProgram {
public:
  PortsProgram() = default;
  PortsProgram(const PortsProgram&) = delete;
  PortsProgram& operator=(const PortsProgram&) = delete;

  // Starts the program and waits until its Ports window is shown and has filled its list once
  // (the first paint fills it and leaves Modify and Delete disabled).
  bool Start(size_t expectedPorts) {
    if (!process_.StartTool(kProgram)) return false;
    bool shown = WaitUntil(process_.get(), [&] {
      window_ = FindVisibleWindow(process_.id(), kPortsClass, kPortsCaption);
      return window_ && Send(List(), LB_GETCOUNT) == static_cast<LRESULT>(expectedPorts);
    });
    if (!shown) ADD_FAILURE() << "the Ports window did not come up with " << expectedPorts << " ports";
    return shown;
  }

  HANDLE process() const { return process_.get(); }
  bool Running() const { return process_.Running(); }
  DWORD id() const { return process_.id(); }
  HWND window() const { return window_; }
  HWND Control(int id) const { return GetDlgItem(window_, id); }
  HWND List() const { return Control(IDC_PORTS_LIST); }

  std::vector<std::string> Listed() const {
    std::vector<std::string> names;
    LRESULT count = Send(List(), LB_GETCOUNT);
    for (LRESULT index = 0; index < count; ++index) {
      LRESULT length = Send(List(), LB_GETTEXTLEN, static_cast<WPARAM>(index));
      if (length < 0) break;
      // Wide: Wine hands a list item across processes as UTF-16 whichever way it is asked for.
      std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
      DWORD_PTR copied = 0;
      if (!SendMessageTimeoutW(List(), LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide.data()),
                               SMTO_NORMAL, 10000, &copied) ||
          copied != static_cast<DWORD_PTR>(length)) {
        ADD_FAILURE() << "item " << index << " cannot be read";
        break;
      }
      char name[kPortNameSize * 2] = {};
      WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, name, sizeof name, nullptr, nullptr);
      names.push_back(name);
    }
    return names;
  }

  LRESULT Selection() const { return Send(List(), LB_GETCURSEL); }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
  bool SelectionButtonsEnabled() const { return Enabled(IDC_PORTS_MODIFY) && Enabled(IDC_PORTS_DELETE); }
  bool SelectionButtonsDisabled() const { return !Enabled(IDC_PORTS_MODIFY) && !Enabled(IDC_PORTS_DELETE); }

  // Waits until the list shows `names` in that order.
  ::testing::AssertionResult WaitForList(const std::vector<std::string>& names) const {
    if (WaitUntil(process_.get(), [&] { return Listed() == names; })) return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "the list shows";
    for (const std::string& name : Listed()) failure << " \"" << name << "\"";
    return failure;
  }

  // Selects an item as a click would leave it: the selection, then the list box's notification.
  void Select(int index) const {
    Send(List(), LB_SETCURSEL, static_cast<WPARAM>(index));
    Send(window_, WM_COMMAND, MAKEWPARAM(IDC_PORTS_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(List()));
  }

  // Posted, since a button may open a modal dialog that this click must not wait for.
  void Click(int id) const { PostMessageA(Control(id), BM_CLICK, 0, 0); }

  HWND WaitForDialog(const char* caption) const {
    HWND dialog = nullptr;
    WaitUntil(process_.get(), [&] { return (dialog = FindVisibleWindow(process_.id(), kDialogClass, caption)) != nullptr; });
    return dialog;
  }

  bool WaitUntilGone(HWND window) const {
    return WaitUntil(process_.get(), [window] { return !IsWindow(window); });
  }

  // Closes the program with its Close button; answers its exit code, or ~0 when it did not end.
  DWORD Close() {
    Click(IDC_PORTS_CLOSE);
    return process_.WaitForExit();
  }

private:
  ChildProcess process_;
  HWND window_ = nullptr;
};

// Moves the focus in a dialog of the program, as Tab or a click would move it.
void FocusOn(HWND dialog, int id) {
  Send(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
}

void TypeInto(HWND dialog, int id, const char* text) {
  FocusOn(dialog, id);
  Send(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

// ---- real input

bool SendInputs(std::vector<INPUT> inputs) {
  return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

INPUT KeyInput(WORD key, bool down) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  return input;
}

INPUT ButtonInput(DWORD flag) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flag;
  return input;
}

bool PressKey(WORD key) {
  return SendInputs({KeyInput(key, true), KeyInput(key, false)});
}

// Holds Shift down for the desktop while it lives, and lets it go on every path.
class ShiftHeld {
public:
  ShiftHeld() : held_(SendInputs({KeyInput(VK_SHIFT, true)})) {}
  ~ShiftHeld() {
    if (held_) SendInputs({KeyInput(VK_SHIFT, false)});
  }
  ShiftHeld(const ShiftHeld&) = delete;
  ShiftHeld& operator=(const ShiftHeld&) = delete;

  explicit operator bool() const { return held_; }

private:
  bool held_;
};

// The screen point in the middle of a list item's left part, for a click.
POINT ItemPoint(HWND list, int index) {
  LRESULT height = Send(list, LB_GETITEMHEIGHT);
  LRESULT top = Send(list, LB_GETTOPINDEX);
  POINT point = {8, static_cast<LONG>((index - top) * height + height / 2)};
  ClientToScreen(list, &point);
  return point;
}

// A left click at a screen point through the input queue.
::testing::AssertionResult ClickAt(POINT point, HWND expectedTarget) {
  if (!SetCursorPos(point.x, point.y)) return ::testing::AssertionFailure() << "the cursor cannot be moved";
  if (WindowFromPoint(point) != expectedTarget) {
    return ::testing::AssertionFailure() << "another window lies at " << point.x << "," << point.y;
  }
  if (!SendInputs({ButtonInput(MOUSEEVENTF_LEFTDOWN), ButtonInput(MOUSEEVENTF_LEFTUP)})) {
    return ::testing::AssertionFailure() << "the click was refused";
  }
  return ::testing::AssertionSuccess();
}

// ---- the tests

class PortsProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(monitor.ready()) << "the monitor key cannot be created";
    ASSERT_TRUE(eventSource.ready());
  }

  void TearDown() override {
    if (!program.Running()) return;
    if (HasFailure()) return;  // the program's destructor ends it outright
    EXPECT_EQ(0u, program.Close()) << "Close must end the program with exit code 0";
  }

  // Puts the Ports window in the foreground, so that real key strokes reach the program's thread.
  ::testing::AssertionResult BringProgramForward() {
    SetForegroundWindow(program.window());
    if (WaitUntil(program.process(), [&] { return GetForegroundWindow() == program.window(); })) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the Ports window does not come to the foreground";
  }

  ::testing::AssertionResult ClickItem(int index) {
    return ClickAt(ItemPoint(program.List(), index), program.List());
  }

  SavedKey monitor{kDefaultMonitorKeyPath, true};
  SavedKey eventSource{kEventSourceKey, false};  // the program registers its event source
  PortsProgram program;
};

TEST_F(PortsProgramTest, ListsNothingAndDisablesModifyAndDeleteWithAnEmptyStore) {
  ASSERT_TRUE(program.Start(0));
  EXPECT_TRUE(program.Listed().empty());
  EXPECT_TRUE(program.SelectionButtonsDisabled());
}

TEST_F(PortsProgramTest, NewPortFromTheDialogIsStoredAndListedInReverseAlphabeticalOrder) {
  PlantPort("beta");
  PlantPort("alpha");
  PlantPort("gamma");
  ASSERT_TRUE(program.Start(3));
  EXPECT_EQ((std::vector<std::string>{"gamma", "beta", "alpha"}), program.Listed());
  EXPECT_TRUE(program.SelectionButtonsDisabled());

  program.Click(IDC_PORTS_NEW);
  HWND dialog = program.WaitForDialog(kAddCaption);
  ASSERT_NE(nullptr, dialog) << "New did not open the port dialog";
  EXPECT_EQ(BST_CHECKED, Send(GetDlgItem(dialog, IDC_PORT_TCP), BM_GETCHECK));
  // Field by field, as a user types: the dialog completes a field when the focus leaves it.
  TypeInto(dialog, IDC_PORT_TCP_NAME, "localhost");
  TypeInto(dialog, IDC_PORT_NAME_EDIT, "delta");
  FocusOn(dialog, IDOK);
  PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  ASSERT_TRUE(program.WaitUntilGone(dialog)) << "OK did not close the port dialog";

  EXPECT_TRUE(program.WaitForList({"gamma", "delta", "beta", "alpha"}));
  EXPECT_TRUE(program.SelectionButtonsDisabled());
  EXPECT_EQ(kProtocolTcp, PortDword("delta", "Protocol"));
  EXPECT_EQ("localhost", PortString("delta", "TCP/IP Name"));
}

TEST_F(PortsProgramTest, ModifyStoresTheChangedOptionsOfTheSelectedPort) {
  PlantPort("alpha", "localhost");
  PlantPort("beta", "localhost");
  ASSERT_TRUE(program.Start(2));
  program.Select(1);  // alpha
  ASSERT_TRUE(program.SelectionButtonsEnabled());

  program.Click(IDC_PORTS_MODIFY);
  HWND dialog = program.WaitForDialog(kConfigureCaption);
  ASSERT_NE(nullptr, dialog) << "Modify did not open the port dialog";
  EXPECT_EQ("alpha", TextOf(GetDlgItem(dialog, IDC_PORT_NAME_TEXT)));
  PostMessageA(GetDlgItem(dialog, IDC_PORT_OPTIONS), BM_CLICK, 0, 0);
  HWND options = program.WaitForDialog(kOptionsCaption);
  ASSERT_NE(nullptr, options) << "Options did not open the printer options";
  EXPECT_EQ(BST_UNCHECKED, Send(GetDlgItem(options, IDC_OPT_BANNER), BM_GETCHECK));
  Send(GetDlgItem(options, IDC_OPT_BANNER), BM_CLICK);
  PostMessageA(GetDlgItem(options, IDOK), BM_CLICK, 0, 0);
  ASSERT_TRUE(program.WaitUntilGone(options));
  PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  ASSERT_TRUE(program.WaitUntilGone(dialog)) << "OK did not close the port dialog";

  EXPECT_TRUE(WaitUntil(program.process(), [] { return PortString("alpha", "Banner") == "True"; }));
  EXPECT_TRUE(HasPortKey("beta"));
  EXPECT_EQ("", PortString("beta", "Banner"));  // the other port stays as it was
  EXPECT_TRUE(program.WaitForList({"beta", "alpha"}));
  EXPECT_EQ(LB_ERR, program.Selection());
  EXPECT_TRUE(program.SelectionButtonsDisabled());
}

TEST_F(PortsProgramTest, DeleteRemovesTheSelectedPortAtOnceWithoutAsking) {
  PlantPort("alpha");
  PlantPort("beta");
  PlantPort("gamma");
  ASSERT_TRUE(program.Start(3));
  program.Select(1);  // beta
  ASSERT_TRUE(program.SelectionButtonsEnabled());

  program.Click(IDC_PORTS_DELETE);
  // A question would hold the deletion back until answered, so the list would never change.
  EXPECT_TRUE(program.WaitForList({"gamma", "alpha"}));
  EXPECT_EQ((std::vector<HWND>{program.window()}), VisibleWindowsOf(program.id()));
  EXPECT_FALSE(HasPortKey("beta"));
  EXPECT_TRUE(HasPortKey("alpha") && HasPortKey("gamma"));
  EXPECT_TRUE(program.SelectionButtonsDisabled());
}

TEST_F(PortsProgramTest, ClickWithShiftHeldClearsTheSelection) {
  PlantPort("alpha");
  PlantPort("beta");
  PlantPort("gamma");
  ASSERT_TRUE(program.Start(3));
  ASSERT_TRUE(BringProgramForward());

  // A plain click selects: the input reaches the list box.
  ASSERT_TRUE(ClickItem(0));
  ASSERT_TRUE(WaitUntil(program.process(), [&] { return program.Selection() == 0 && program.SelectionButtonsEnabled(); }));

  {
    ShiftHeld shift;
    ASSERT_TRUE(shift);
    ASSERT_TRUE(ClickItem(2));
  }
  EXPECT_TRUE(WaitUntil(program.process(), [&] { return program.Selection() == LB_ERR; }))
      << "selection " << program.Selection();
  EXPECT_TRUE(program.SelectionButtonsDisabled());
  EXPECT_EQ((std::vector<std::string>{"gamma", "beta", "alpha"}), program.Listed());
}

TEST_F(PortsProgramTest, EscapeLeavesTheWindowAndItsSelectionAlone) {
  PlantPort("alpha");
  PlantPort("beta");
  PlantPort("gamma");
  ASSERT_TRUE(program.Start(3));
  ASSERT_TRUE(BringProgramForward());
  ASSERT_TRUE(ClickItem(1));
  ASSERT_TRUE(WaitUntil(program.process(), [&] { return program.Selection() == 1; }));

  // Down moves the selection on from where Escape left it; the program takes both keys in order,
  // so once the selection has moved, Escape has been handled.
  ASSERT_TRUE(PressKey(VK_ESCAPE));
  ASSERT_TRUE(PressKey(VK_DOWN));
  EXPECT_TRUE(WaitUntil(program.process(), [&] { return program.Selection() == 2; }))
      << "selection " << program.Selection();
  EXPECT_TRUE(IsWindowVisible(program.window()));
  EXPECT_TRUE(program.SelectionButtonsEnabled());
  EXPECT_EQ((std::vector<std::string>{"gamma", "beta", "alpha"}), program.Listed());
  EXPECT_EQ((std::vector<HWND>{program.window()}), VisibleWindowsOf(program.id()));
}

TEST_F(PortsProgramTest, PortWrittenByAnotherProgramAppearsAtTheNextRefill) {
  PlantPort("alpha");
  PlantPort("gamma");
  ASSERT_TRUE(program.Start(2));

  // The system's own registry tool, as an administrator would use it: it leaves "Update" alone,
  // so the refill must raise the flag itself for the program's copy to reload.
  char system[MAX_PATH];
  ASSERT_NE(0u, GetSystemDirectoryA(system, MAX_PATH));
  std::string commandLine = std::string("\"") + system + "\\reg.exe\" add \"HKLM\\" + PortKey("beta") +
                            "\" /v Protocol /t REG_DWORD /d 2 /f";
  ChildProcess writer;
  ASSERT_TRUE(writer.Start(commandLine));
  ASSERT_EQ(0u, writer.WaitForExit()) << "reg.exe failed or did not end";
  ASSERT_TRUE(HasPortKey("beta"));
  EXPECT_EQ((std::vector<std::string>{"gamma", "alpha"}), program.Listed());  // nothing refills by itself

  // New, then Cancel: every command ends with a refill.
  program.Click(IDC_PORTS_NEW);
  HWND dialog = program.WaitForDialog(kAddCaption);
  ASSERT_NE(nullptr, dialog);
  PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  ASSERT_TRUE(program.WaitUntilGone(dialog));
  EXPECT_TRUE(program.WaitForList({"gamma", "beta", "alpha"}));
  EXPECT_TRUE(program.SelectionButtonsDisabled());
}

// A window of the test's own that holds the foreground until a second copy takes it away.
class ForegroundHolder {
public:
  ForegroundHolder() {
    window_ = CreateWindowExA(0, "STATIC", "holder", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                              nullptr, nullptr, nullptr);
  }
  ~ForegroundHolder() {
    if (window_) DestroyWindow(window_);
  }
  ForegroundHolder(const ForegroundHolder&) = delete;
  ForegroundHolder& operator=(const ForegroundHolder&) = delete;

  HWND get() const { return window_; }

private:
  HWND window_;
};

TEST_F(PortsProgramTest, SecondCopyBringsTheWindowAndThePortDialogToTheFrontAndEnds) {
  PlantPort("alpha");
  ASSERT_TRUE(program.Start(1));
  program.Click(IDC_PORTS_NEW);
  HWND dialog = program.WaitForDialog(kAddCaption);
  ASSERT_NE(nullptr, dialog);

  ForegroundHolder holder;
  ASSERT_NE(nullptr, holder.get());
  SetForegroundWindow(holder.get());
  ASSERT_TRUE(WaitUntil(program.process(), [&] { return GetForegroundWindow() == holder.get(); }));
  ASSERT_LT(ZPosition(holder.get()), ZPosition(program.window()));

  ChildProcess second;
  ASSERT_TRUE(second.StartTool(kProgram));
  ASSERT_EQ(0u, second.WaitForExit()) << "the second copy must end with exit code 0";
  EXPECT_EQ(1, CountWindowsOfClass(kPortsClass));

  EXPECT_TRUE(WaitUntil(program.process(), [&] { return GetForegroundWindow() == dialog; }))
      << "foreground: " << TextOf(GetForegroundWindow());
  EXPECT_LT(ZPosition(dialog), ZPosition(holder.get()));
  EXPECT_LT(ZPosition(program.window()), ZPosition(holder.get()));

  PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  EXPECT_TRUE(program.WaitUntilGone(dialog));
}

TEST_F(PortsProgramTest, SecondCopyRestoresAMinimisedWindow) {
  ASSERT_TRUE(program.Start(0));
  ShowWindow(program.window(), SW_MINIMIZE);
  ASSERT_TRUE(WaitUntil(program.process(), [&] { return IsIconic(program.window()) != FALSE; }));

  ChildProcess second;
  ASSERT_TRUE(second.StartTool(kProgram));
  ASSERT_EQ(0u, second.WaitForExit()) << "the second copy must end with exit code 0";
  EXPECT_TRUE(WaitUntil(program.process(), [&] { return !IsIconic(program.window()); }));
  EXPECT_TRUE(IsWindowVisible(program.window()));
}

}  // namespace
