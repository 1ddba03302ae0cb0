// Bitmap buttons and window centring, shared by every window of the program.
//
// A bitmap button is an owner-drawn push button whose text names three bitmap resources, separated
// by single spaces: normal, focus and pressed ("ACCSUP ACCSUPF ACCSUPS"). It sizes itself to its
// bitmap, and when it fills its dialog, the dialog too.
#pragma once

#include <windows.h>

// Picks the bitmap name for a button text and item state (ODS_SELECTED, ODS_FOCUS) into `name`
// (size bytes, longer names are cut). A text that begins with anything but an uppercase letter
// shows its focus and pressed bitmaps only while Shift is held. A text with fewer than three
// names uses its last name for the states it does not name. False for an empty text.
bool PickButtonBitmap(const char* text, UINT itemState, bool shiftDown, char* name, int size);

// Draws the owner-draw request of a bitmap button of `dialog` with a bitmap of `instance`.
// Requests for other controls, and buttons whose bitmap cannot be loaded, are left alone.
// Answers whether it drew.
bool DrawBitmapButton(HINSTANCE instance, HWND dialog, const DRAWITEMSTRUCT* item);

// The top-left corner that centres a window on the desktop; negative where the window is larger.
POINT CenteredPosition(SIZE desktop, SIZE window);

// Moves the window to the middle of the desktop, keeping its size and z-order, without activating it.
void CenterOnDesktop(HWND window);
