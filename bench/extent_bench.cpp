// Filling a list box whose extent is tracked, against filling the same list box untracked, with
// port names of varied length. The tracked fill pays one device context, one measurement and a
// binary search with a slot move per string; the ratio shows what that costs next to the list
// box's own work, and the per-string columns show whether the cost grows with the list.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench.h"
#include "trace/extent.h"

namespace {

constexpr int kRepeats = 3;

std::vector<std::string> PortNames(int count) {
  std::vector<std::string> names;
  names.reserve(count);
  unsigned seed = 12345;
  for (int i = 0; i < count; ++i) {
    seed = seed * 1103515245 + 12345;
    std::string name = "pm" + std::to_string(i) + "_" + std::string((seed >> 16) % 40, 'w');
    names.push_back(name);
  }
  return names;
}

// The list box's window is not shown: a shown list box redraws its scroll bar at every add, and
// that drawing would swamp both the list box's own work and the tracker's.
class ListWindow {
public:
  ListWindow() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    parent_ = CreateWindowExA(0, "STATIC", "pmbench", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                              nullptr, instance, nullptr);
    list_ = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL |
                            LBS_NOINTEGRALHEIGHT, 8, 8, 300, 240, parent_, nullptr, instance, nullptr);
    SendMessageA(list_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  }
  ~ListWindow() { DestroyWindow(parent_); }
  ListWindow(const ListWindow&) = delete;
  ListWindow& operator=(const ListWindow&) = delete;

  HWND list() const { return list_; }
  explicit operator bool() const { return list_ != nullptr; }

private:
  HWND parent_ = nullptr;
  HWND list_ = nullptr;
};

void Fill(HWND list, const std::vector<std::string>& names, bool tracked) {
  for (const std::string& name : names) {
    if (tracked) TrackAddString(list, name.c_str());
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
}

double FillSeconds(HWND list, const std::vector<std::string>& names, bool tracked) {
  auto empty = [list, tracked] {
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    if (tracked) ResetExtentTracker(list);
  };
  return BenchBestSeconds(kRepeats, empty, [&] { Fill(list, names, tracked); }, empty);
}

void RunExtentBench() {
  ListWindow window;
  if (!window || !AttachExtentTracker(window.list())) {
    printf("  no list box could be made\n");
    return;
  }
  BenchPrintHeading("strings", {"tracked/untracked", "untracked/string", "tracked/string"});
  double untrackedBase = 0;
  double trackedBase = 0;
  for (int size : BenchSizes()) {
    std::vector<std::string> names = PortNames(size);
    double untracked = FillSeconds(window.list(), names, false) / size;
    double tracked = FillSeconds(window.list(), names, true) / size;
    if (untrackedBase == 0) {
      untrackedBase = untracked;
      trackedBase = tracked;
    }
    BenchPrintRow(size, {tracked / untracked, untracked / untrackedBase, tracked / trackedBase});
  }
  printf("  (per-string columns: cost of one string against the same at %d strings; 1.00 is linear)\n",
         BenchSizes().front());
  DetachExtentTracker(window.list());
}

}  // namespace

PM_BENCHMARK("extent", "filling a list box with its horizontal extent tracked, against untracked",
             RunExtentBench);
