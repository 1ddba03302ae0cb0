#include "dlgutil/help.h"

#include <cstdlib>

#include "base/messages.h"
#include "base/module.h"
#include "base/scoped.h"

static std::string HelpFilePath();
// The topics of a help file's text, in file order; text outside a topic is ignored.
static std::vector<HelpTopic> HelpParse(const std::string& text);

namespace {

constexpr DWORD kMaxHelpFileSize = 1 << 20;  // far more than the file holds; guards a wrong file
constexpr char kBullet[] = "\x95  ";

std::string helpFileOverride;

// The one viewer of the process: its window, controls and the topics of the file it shows.
struct Viewer {
  HWND window = nullptr;
  HWND contents = nullptr;
  HWND title = nullptr;
  HWND body = nullptr;
  HFONT titleFont = nullptr;
  WNDPROC controlProc[2] = {};
  std::vector<HelpTopic> topics;
};
Viewer viewer;

std::string TrimRight(const std::string& line) {
  size_t end = line.find_last_not_of(" \t\r");
  return end == std::string::npos ? std::string() : line.substr(0, end + 1);
}

std::string TrimLeft(const std::string& line) {
  size_t start = line.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : line.substr(start);
}

// "@101 Title": answers whether the line is a well-formed topic header.
bool ParseTopicHeader(const std::string& line, HelpTopic* topic) {
  const char* digits = line.c_str() + 1;
  char* end = nullptr;
  unsigned long long context = strtoull(digits, &end, 10);
  if (end == digits || (*end != ' ' && *end != '\0') || context == 0 || context > 0xFFFFFFFFull) return false;
  topic->context = static_cast<DWORD>(context);
  topic->title = TrimLeft(end);
  return true;
}

// Builds a topic body from its blocks: blocks stand apart by an empty line, except that a list
// item follows the item before it, and any block follows its heading, on the next line.
class BodyBuilder {
public:
  const std::string& body() const { return body_; }

  void Text(const std::string& text) {
    if (kind_ == Kind::Paragraph) {
      body_ += ' ';
      body_ += text;
      return;
    }
    Start(Kind::Paragraph);
    body_ += text;
  }
  void Heading(const std::string& text) { Start(Kind::Heading); body_ += text; kind_ = Kind::None; }
  void Item(const std::string& text) { Start(Kind::Item); body_ += kBullet; body_ += text; }
  void Break() { if (kind_ == Kind::Paragraph) kind_ = Kind::None; }

private:
  enum class Kind { None, Paragraph, Heading, Item };

  void Start(Kind kind) {
    bool follows = (kind == Kind::Item && last_ == Kind::Item) || last_ == Kind::Heading;
    if (!body_.empty()) body_ += follows ? "\r\n" : "\r\n\r\n";
    kind_ = kind;
    last_ = kind;
  }

  std::string body_;
  Kind kind_ = Kind::None;
  Kind last_ = Kind::None;
};

bool ReadHelpFile(std::string* text) {
  ScopedHandle file(CreateFileA(HelpFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD size = GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE || size > kMaxHelpFileSize) return false;
  text->resize(size);
  DWORD read = 0;
  if (size && !ReadFile(file.get(), text->data(), size, &read, nullptr)) return false;
  text->resize(read);
  return true;
}

void ShowTopic(size_t index) {
  const HelpTopic& topic = viewer.topics[index];
  SetWindowTextA(viewer.title, topic.title.c_str());
  SetWindowTextA(viewer.body, topic.body.c_str());
  SendMessageA(viewer.contents, LB_SETCURSEL, index, 0);
}

void FillContents() {
  SendMessageA(viewer.contents, LB_RESETCONTENT, 0, 0);
  for (const HelpTopic& topic : viewer.topics) {
    SendMessageA(viewer.contents, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(topic.title.c_str()));
  }
}

// The contents pane is as wide as its longest title, but never more than half the window.
int ContentsWidth(HDC dc, int width) {
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  int widest = 0;
  for (const HelpTopic& topic : viewer.topics) {
    SIZE extent = {};
    GetTextExtentPoint32A(dc, topic.title.c_str(), static_cast<int>(topic.title.size()), &extent);
    if (extent.cx > widest) widest = extent.cx;
  }
  SelectObject(dc, old);
  int needed = widest + GetSystemMetrics(SM_CXVSCROLL) + 2 * GetSystemMetrics(SM_CXEDGE) + 8;
  int least = width / 4;
  int most = width / 2;
  return needed < least ? least : needed > most ? most : needed;
}

void Layout(int width, int height) {
  HDC dc = GetDC(viewer.window);
  TEXTMETRICA metrics = {};
  HGDIOBJ old = SelectObject(dc, viewer.titleFont);
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, old);
  int listWidth = ContentsWidth(dc, width);
  ReleaseDC(viewer.window, dc);

  int margin = 8;
  int titleHeight = metrics.tmHeight + 4;
  int right = margin + listWidth + margin;
  MoveWindow(viewer.contents, margin, margin, listWidth, height - 2 * margin, TRUE);
  MoveWindow(viewer.title, right, margin, width - right - margin, titleHeight, TRUE);
  MoveWindow(viewer.body, right, margin + titleHeight + 4, width - right - margin,
             height - 2 * margin - titleHeight - 4, TRUE);
}

// The controls hand Tab (between the contents and the text) and Escape (close) to the viewer,
// since no dialog manager runs for it while a modal dialog of the program owns the loop.
LRESULT CALLBACK ControlProc(HWND control, UINT msg, WPARAM wp, LPARAM lp) {
  int slot = control == viewer.contents ? 0 : 1;
  if (msg == WM_KEYDOWN && wp == VK_TAB) {
    SetFocus(slot == 0 ? viewer.body : viewer.contents);
    return 0;
  }
  if (msg == WM_KEYDOWN && wp == VK_ESCAPE) {
    PostMessageA(viewer.window, WM_CLOSE, 0, 0);
    return 0;
  }
  return CallWindowProcA(viewer.controlProc[slot], control, msg, wp, lp);
}

bool CreateControls(HWND window, HINSTANCE instance) {
  viewer.window = window;
  viewer.contents = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", nullptr,
                                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 0, 0, 0, 0,
                                    window, reinterpret_cast<HMENU>(IDC_HELP_CONTENTS), instance, nullptr);
  viewer.title = CreateWindowExA(0, "STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0,
                                 window, reinterpret_cast<HMENU>(IDC_HELP_TITLE), instance, nullptr);
  viewer.body = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", nullptr,
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                                0, 0, 0, 0, window, reinterpret_cast<HMENU>(IDC_HELP_BODY), instance, nullptr);
  if (!viewer.contents || !viewer.title || !viewer.body) return false;

  auto* guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTA title = {};
  GetObjectA(guiFont, sizeof title, &title);
  title.lfHeight = title.lfHeight * 3 / 2;
  title.lfWeight = FW_BOLD;
  viewer.titleFont = CreateFontIndirectA(&title);
  SendMessageA(viewer.contents, WM_SETFONT, reinterpret_cast<WPARAM>(guiFont), FALSE);
  SendMessageA(viewer.body, WM_SETFONT, reinterpret_cast<WPARAM>(guiFont), FALSE);
  SendMessageA(viewer.body, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(6, 6));
  SendMessageA(viewer.title, WM_SETFONT, reinterpret_cast<WPARAM>(viewer.titleFont ? viewer.titleFont : guiFont),
               FALSE);
  viewer.controlProc[0] = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(viewer.contents, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
  viewer.controlProc[1] = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(viewer.body, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
  return true;
}

LRESULT CALLBACK ViewerProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE: {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lp);
    return CreateControls(window, create->hInstance) ? 0 : -1;
  }
  case WM_SIZE:
    if (viewer.body) Layout(LOWORD(lp), HIWORD(lp));
    return 0;
  case WM_SETFOCUS:
    if (viewer.body) SetFocus(viewer.body);
    return 0;
  case WM_COMMAND:
    if (LOWORD(wp) == IDC_HELP_CONTENTS && HIWORD(wp) == LBN_SELCHANGE) {
      LRESULT index = SendMessageA(viewer.contents, LB_GETCURSEL, 0, 0);
      if (index >= 0 && static_cast<size_t>(index) < viewer.topics.size()) ShowTopic(static_cast<size_t>(index));
    }
    return 0;
  case WM_CTLCOLORSTATIC:
    // The title sits on the window's own background.
    SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  case WM_NCDESTROY:
    // The last message, after the controls (and their subclassing) are gone.
    if (viewer.titleFont) DeleteObject(viewer.titleFont);
    viewer = Viewer();
    break;
  }
  return DefWindowProcA(window, msg, wp, lp);
}

HINSTANCE ViewerInstance() {
  static HINSTANCE registered = nullptr;
  if (registered) return registered;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ViewerProc;
  windowClass.hInstance = ModuleInstance;
  windowClass.hIcon = LoadIconA(ModuleInstance, "PRESSMARK");
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kHelpWindowClass;
  if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  registered = ModuleInstance;
  return registered;
}

// The viewer is not owned by the window that asked for it: it outlives that dialog and stays
// until CloseHelp, the way a help application of its own would.
bool CreateViewer() {
  HINSTANCE instance = ViewerInstance();
  if (!instance) return false;
  int unit = HIWORD(GetDialogBaseUnits());
  int width = unit * 44;
  int height = unit * 32;
  RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  int x = work.right - width - unit * 2;
  if (x < work.left) x = work.left;
  int y = work.top + unit * 3;
  HWND window = CreateWindowExA(0, kHelpWindowClass, kHelpWindowCaption, WS_OVERLAPPEDWINDOW, x, y, width, height,
                                nullptr, nullptr, instance, nullptr);
  return window != nullptr;
}

}  // namespace

void SetHelpFile(const char* path) {
  helpFileOverride = path ? path : "";
}

std::string HelpFilePath() {
  if (!helpFileOverride.empty()) return helpFileOverride;
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(ModuleInstance, path, sizeof path);
  if (length == 0 || length >= sizeof path) return kHelpFileName;
  std::string directory(path, length);
  size_t slash = directory.find_last_of("\\/");
  directory.resize(slash == std::string::npos ? 0 : slash + 1);
  return directory + kHelpFileName;
}

std::vector<HelpTopic> HelpParse(const std::string& text) {
  std::vector<HelpTopic> topics;
  HelpTopic topic = {};
  bool inTopic = false;
  BodyBuilder builder;
  auto finish = [&] {
    if (!inTopic) return;
    topic.body = builder.body();
    topics.push_back(topic);
  };

  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = TrimRight(text.substr(start, end - start));
    start = end + 1;

    if (!line.empty() && line[0] == ';') continue;
    if (!line.empty() && line[0] == '@') {
      finish();
      inTopic = ParseTopicHeader(line, &topic);  // a malformed header drops the text up to the next one
      builder = BodyBuilder();
      continue;
    }
    if (!inTopic) continue;
    std::string content = TrimLeft(line);
    if (content.empty()) {
      builder.Break();
    } else if (content.rfind("- ", 0) == 0) {
      builder.Item(TrimLeft(content.substr(2)));
    } else if (content.rfind("== ", 0) == 0) {
      builder.Heading(TrimLeft(content.substr(3)));
    } else {
      builder.Text(content);
    }
  }
  finish();
  return topics;
}

bool OpenHelpTopic(DWORD context) {
  try {
    std::string text;
    if (!ReadHelpFile(&text)) return false;
    std::vector<HelpTopic> topics = HelpParse(text);
    size_t index = 0;
    while (index < topics.size() && topics[index].context != context) ++index;
    if (index == topics.size()) return false;

    if (!viewer.window && !CreateViewer()) return false;
    viewer.topics = std::move(topics);
    FillContents();
    ShowTopic(index);
    RECT client;
    GetClientRect(viewer.window, &client);
    Layout(client.right, client.bottom);  // the contents pane follows the titles of this file
    if (IsIconic(viewer.window)) ShowWindow(viewer.window, SW_RESTORE);
    ShowWindow(viewer.window, SW_SHOW);
    SetForegroundWindow(viewer.window);
    return true;
  } catch (...) {
    return false;  // out of memory: help is simply not available
  }
}

bool ShowHelpTopic(DWORD context) {
  if (OpenHelpTopic(context)) return true;
  ShowMessageBox(GetFocus(), "Unable to activate help", "", MB_OK | MB_ICONSTOP | MB_SYSTEMMODAL);
  return false;
}

void CloseHelp() {
  if (viewer.window) SendMessageA(viewer.window, WM_CLOSE, 0, 0);
}
