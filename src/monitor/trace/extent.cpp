#include "trace/extent.h"

#include <cstring>

#include "base/scoped.h"

// Answers the position from 0 to count at which `width` keeps `widths` (descending) in order;
// when `width` is stored, the position of one of its equal entries. The position `count` counts
// as a width of 0 and is never read.
static WORD FindWidthPosition(const WORD* widths, WORD width, WORD count);
// Moves the slots from `position` on one up and puts `width` at `position`; the caller makes
// sure there is a free slot at `count`.
static void InsertWidthAt(WORD* widths, WORD count, WORD position, WORD width);
// Drops the width at `position` (nothing when position >= count) and moves the later ones down.
static void RemoveWidthAt(WORD* widths, WORD count, WORD position);
// Regrows *block to hold capacity + 128 slots (grow) or capacity - 128 (shrink), new bytes zeroed;
// *block may change. FALSE, with the block as it was, when it cannot be reallocated.
static BOOL ResizeExtentTracker(HLOCAL* block, WORD capacity, bool grow);

namespace {

HLOCAL TrackerBlock(HWND list) {
  return static_cast<HLOCAL>(GetPropA(list, kExtentProperty));
}

ExtentTracker* LockTracker(HLOCAL block) {
  return block ? static_cast<ExtentTracker*>(LocalLock(block)) : nullptr;
}

// Drops the list box's tracker after its block could not be locked again behind a resize: its
// header may no longer match the block, so the list box goes untracked rather than trust it.
void AbandonTracker(HWND list, HLOCAL block) {
  RemovePropA(list, kExtentProperty);
  LocalFree(block);
}

// Resizes the list box's block by one step and keeps the property on the block's handle.
bool ResizeAttached(HWND list, HLOCAL* block, WORD capacity, bool grow) {
  HLOCAL before = *block;
  if (!ResizeExtentTracker(block, capacity, grow)) return false;
  if (*block != before && !SetPropA(list, kExtentProperty, *block)) {
    AbandonTracker(list, *block);
    return false;
  }
  return true;
}

// The width of item `index` as it stands in the list box; false when there is no such item.
bool MeasureItem(HWND list, int index, WORD* width) {
  LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == LB_ERR) return false;
  HLOCAL textBlock = LocalAlloc(LMEM_MOVEABLE, static_cast<SIZE_T>(length) + 2);
  if (!textBlock) return false;
  bool measured = false;
  if (auto* text = static_cast<char*>(LocalLock(textBlock))) {
    if (SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)) != LB_ERR) {
      *width = MeasureListString(list, text);
      measured = true;
    }
    LocalUnlock(textBlock);
  }
  LocalFree(textBlock);
  return measured;
}

}  // namespace

WORD FindWidthPosition(const WORD* widths, WORD width, WORD count) {
  if (count == 0) return 0;
  auto at = [&](unsigned position) -> WORD { return position < count ? widths[position] : 0; };
  unsigned low = 0;
  unsigned high = count + 1u;
  unsigned middle = 0;
  for (;;) {
    unsigned previous = middle;
    middle = (low + high) / 2;
    if (middle == previous) return static_cast<WORD>(middle + 1);
    if (at(middle) > width) {
      low = middle;
    } else {
      high = middle;
    }
    if (low == high) return static_cast<WORD>(middle);
    if (at(middle) == width) return static_cast<WORD>(middle);
  }
}

void InsertWidthAt(WORD* widths, WORD count, WORD position, WORD width) {
  if (position > count) position = count;
  memmove(widths + position + 1, widths + position, (count - position) * sizeof(WORD));
  widths[position] = width;
}

void RemoveWidthAt(WORD* widths, WORD count, WORD position) {
  if (position >= count) return;
  memmove(widths + position, widths + position + 1, (count - position - 1) * sizeof(WORD));
}

BOOL AttachExtentTracker(HWND list) {
  HLOCAL block = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, ExtentBlockSize(kExtentStepSlots));
  if (!block) return FALSE;
  ExtentTracker* tracker = LockTracker(block);
  if (!tracker) {
    LocalFree(block);
    return FALSE;
  }
  tracker->count = 0;
  tracker->capacity = kExtentStepSlots;
  LocalUnlock(block);
  DetachExtentTracker(list);
  if (!SetPropA(list, kExtentProperty, block)) {
    LocalFree(block);
    return FALSE;
  }
  return TRUE;
}

void DetachExtentTracker(HWND list) {
  if (HLOCAL block = static_cast<HLOCAL>(RemovePropA(list, kExtentProperty))) LocalFree(block);
}

void ResetExtentTracker(HWND list) {
  DetachExtentTracker(list);
  AttachExtentTracker(list);
  SendMessageA(list, LB_SETHORIZONTALEXTENT, 0, 0);
}

int TrackAddString(HWND list, const char* text) {
  HLOCAL block = TrackerBlock(list);
  ExtentTracker* tracker = LockTracker(block);
  if (!tracker) return -1;
  WORD count = tracker->count;
  WORD capacity = tracker->capacity;
  if (count >= capacity) {
    LocalUnlock(block);
    if (capacity > kExtentMaxSlots - kExtentStepSlots) return -1;  // the block cannot pass 64 KB
    if (!ResizeAttached(list, &block, capacity, true)) return -1;
    capacity += kExtentStepSlots;
    // The header still holds the old capacity, so an unlockable block only costs a step.
    tracker = LockTracker(block);
    if (!tracker) return -1;
  }

  WORD width = MeasureListString(list, text);
  WORD* widths = ExtentWidths(tracker);
  WORD position = FindWidthPosition(widths, width, count);
  InsertWidthAt(widths, count, position, width);
  tracker->count = count + 1;
  tracker->capacity = capacity;
  LocalUnlock(block);

  if (position != 0) return 0;
  SendMessageA(list, LB_SETHORIZONTALEXTENT, width, 0);
  return width;
}

int TrackDeleteString(HWND list, int index) {
  HLOCAL block = TrackerBlock(list);
  ExtentTracker* tracker = LockTracker(block);
  if (!tracker) return -1;
  WORD count = tracker->count;
  WORD capacity = tracker->capacity;
  WORD width = 0;
  if (count == 0 || !MeasureItem(list, index, &width)) {
    LocalUnlock(block);
    return -1;
  }

  // A whole step of free slots goes back to the heap. A block that cannot shrink keeps its size:
  // the width is forgotten all the same.
  if (capacity - count >= kExtentStepSlots && capacity > kExtentStepSlots) {
    LocalUnlock(block);
    if (ResizeAttached(list, &block, capacity, false)) {
      capacity -= kExtentStepSlots;
      tracker = LockTracker(block);
      if (!tracker) {
        AbandonTracker(list, block);  // its header still counts the slots that went
        return -1;
      }
    } else {
      if (!TrackerBlock(list)) return -1;
      tracker = LockTracker(block);
      if (!tracker) return -1;
    }
  }

  WORD* widths = ExtentWidths(tracker);
  WORD position = FindWidthPosition(widths, width, count);
  RemoveWidthAt(widths, count, position);
  --count;
  tracker->count = count;
  tracker->capacity = capacity;
  WORD widest = count ? widths[0] : 0;
  LocalUnlock(block);

  if (position != 0) return 0;
  SendMessageA(list, WM_HSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
  SendMessageA(list, LB_SETHORIZONTALEXTENT, widest, 0);
  return widest;
}

WORD MeasureListString(HWND list, const char* text) {
  ScopedWindowDC dc(list);
  if (!dc) return 0;
  auto* font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0));
  ScopedSelect selected(dc.get(), font);
  TEXTMETRICA metrics = {};
  LONG average = GetTextMetricsA(dc.get(), &metrics) ? metrics.tmAveCharWidth : 0;
  if (!text) text = "";
  SIZE size = {};
  LONG measured = GetTextExtentPoint32A(dc.get(), text, lstrlenA(text), &size) ? size.cx : 0;
  LONG width = measured + average;
  if (width < 0) return 0;
  return width > 0xFFFF ? 0xFFFF : static_cast<WORD>(width);
}

BOOL ResizeExtentTracker(HLOCAL* block, WORD capacity, bool grow) {
  UINT newCapacity;
  if (grow) {
    if (capacity > kExtentMaxSlots - kExtentStepSlots) return FALSE;
    newCapacity = capacity + kExtentStepSlots;
  } else {
    if (capacity <= kExtentStepSlots) return FALSE;
    newCapacity = capacity - kExtentStepSlots;
  }
  HLOCAL resized = LocalReAlloc(*block, ExtentBlockSize(newCapacity), LMEM_MOVEABLE | LMEM_ZEROINIT);
  if (!resized) return FALSE;
  *block = resized;
  return TRUE;
}
