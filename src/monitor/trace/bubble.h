// Bubble: a trace facility of its own. Code that wants to trace opens a channel and sends it
// formatted lines; each line is appended to a trace file and shown live in a small window that
// runs in a thread of its own, where the user can scroll back, insert a mark line, clear the list
// or close the window. The program's own operations never open a channel.
#pragma once

#include <windows.h>

// Sent to the frame window, the text's address as lParam: adds the text to the list.
constexpr UINT kBubbleAddText = WM_USER + 3;

constexpr int kBubbleTextSize = 1000;  // a formatted text: at most 999 characters, longer is cut
constexpr int kBubbleLineSize = 200;   // a line of the window: at most 199 characters
constexpr int kBubbleTitleSize = 64;
constexpr int kBubbleTabSpaces = 6;

// Window-data slots of the frame window (class "Bubble"), pointer-sized on either target.
constexpr int kBubbleMainDialogSlot = 0;
constexpr int kBubbleChannelSlot = sizeof(LONG_PTR);

// One open channel, zero-filled by BubbleOpen and released by BubbleClose.
struct BubbleChannel {
  HINSTANCE classInstance;     // where the class "Bubble" is registered
  HINSTANCE resourceInstance;  // where the icon and the dialog templates come from
  HWND window;                 // the frame; null when none was made and once it is gone. The window
                               // thread sets and clears it, other threads read it: access it atomically
  HANDLE readyEvent;           // manual reset, signalled once the window thread made its windows or failed
  HANDLE windowThread;         // null without a window thread
  HANDLE traceFile;            // INVALID_HANDLE_VALUE without a trace file
  char title[kBubbleTitleSize];
  DWORD extentTracking;        // cleared when the list's extent tracker cannot be attached
  DWORD extentAttachPending;   // cleared once the tracker was attached (or could not be)
  DWORD windowThreadId;
};

// Opens a channel: the trace file `traceFileName` is created anew (shared for reading; none when
// null or when it cannot be created) and, when `window` is set, the window thread is started and
// awaited until it has made its windows or failed (channel->window tells which). Answers null
// with neither a file name nor a window, or without memory. The title is cut to 63 characters.
BubbleChannel* BubbleOpen(HINSTANCE instance, const char* traceFileName, BOOL window, const char* title);

// As BubbleOpen, but the trace file is kept and shared: it is created when missing, and each record
// is appended whole at its end while other channels, of this process or another, write to it too.
BubbleChannel* BubbleOpenShared(HINSTANCE instance, const char* traceFileName, BOOL window, const char* title);

// Formats with wvsprintfA's conversions into 1000 bytes (a longer text is cut), writes the text
// and CR LF to the trace file in one write, and adds the text to the window, returning once the
// window thread has shown it. Any thread may call it; a null channel does nothing.
void BubblePrintf(BubbleChannel* channel, const char* format, ...);

// Ends the window thread (its windows are destroyed and the class "Bubble" is released for a
// later channel), closes the trace file and releases the channel. Call it once, after every
// other use of the channel has ended.
void BubbleClose(BubbleChannel* channel);

// The window's splitting of a text into lines, one call a line: copies the next line at *cursor
// into `line` (kBubbleLineSize bytes; a tab becomes six spaces, characters past 199 are dropped,
// a line feed or the end of the text ends the line) and advances *cursor, to null after the
// last line. Answers false once *cursor is null. An empty text is one empty line, and a text that
// ends with a line feed ends with an empty line.
bool BubbleNextLine(const char** cursor, char* line);
