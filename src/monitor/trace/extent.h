// Horizontal extent of list boxes: a list box scrolls sideways only as far as its horizontal
// extent, which it does not work out by itself. A tracked list box keeps the pixel widths of its
// strings, widest first, in a local-heap block reached through its window property "XTList", and
// its extent follows the widest. A list box without that property is simply not tracked.
#pragma once

#include <windows.h>

#include <cstddef>

constexpr char kExtentProperty[] = "XTList";

// The block behind "XTList" (movable, zero-filled local memory): two 16-bit header fields, then
// `capacity` 16-bit width slots in descending order; slots from `count` on are unused.
struct ExtentTracker {
  WORD count;
  WORD capacity;
};
static_assert(sizeof(ExtentTracker) == 4, "the widths follow four header bytes");

constexpr WORD kExtentStepSlots = 128;
// The block's size is a 16-bit byte count: one more step of 128 slots would pass 65,535 bytes.
constexpr WORD kExtentMaxSlots = 32640;

constexpr UINT ExtentBlockSize(UINT capacity) {
  return sizeof(ExtentTracker) + capacity * sizeof(WORD);
}
static_assert(ExtentBlockSize(kExtentMaxSlots) <= 0xFFFF &&
              ExtentBlockSize(kExtentMaxSlots + kExtentStepSlots) > 0xFFFF,
              "the ceiling is the last whole step below 64 KB");

inline WORD* ExtentWidths(ExtentTracker* tracker) {
  return reinterpret_cast<WORD*>(tracker + 1);
}

// Arithmetic on the width slots, no window needed.

// Operations on a list box.

// Creates a fresh tracker (count 0, 128 slots) and attaches it as "XTList", replacing one that
// is there. FALSE, with nothing attached, when the block cannot be allocated, locked or attached.
BOOL AttachExtentTracker(HWND list);
// Frees the list box's tracker and removes the property; nothing when there is none.
void DetachExtentTracker(HWND list);
// Detaches, attaches a fresh tracker and sets the extent to 0. Empty the list box first.
void ResetExtentTracker(HWND list);

// Records the width of a string the caller adds to the list box itself. Answers the new extent
// when the string became the widest, 0 when not, -1 when nothing was recorded (no tracker, no
// memory, or all 32,640 slots in use).
int TrackAddString(HWND list, const char* text);
// Forgets the width of item `index`, which must still be in the list box: call it before deleting
// the item. Answers the new extent when the widest went (the list box is also scrolled to its left
// edge), 0 when not, -1 when nothing changed (no tracker, empty tracker, no such item, no memory).
int TrackDeleteString(HWND list, int index);

// The width of `text` in the list box's font plus that font's average character width, at most
// 65,535 pixels; a failed measurement counts as 0.
WORD MeasureListString(HWND list, const char* text);
