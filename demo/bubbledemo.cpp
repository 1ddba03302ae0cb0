// bubbledemo [trace file] [--close-after SECONDS]: opens a Bubble channel with a trace file and a
// window and sends it lines a person can watch arrive: a tab, a line longer than the window keeps,
// a text of several lines, and lines from several threads at once. It then waits until the window
// is closed (Exit, or the system menu), or until SECONDS have passed, and closes the channel.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "trace/bubble.h"

namespace {

constexpr int kWorkers = 3;
constexpr int kWorkerLines = 6;
constexpr DWORD kPace = 250;  // milliseconds between lines, so that they can be seen arriving

BubbleChannel* channel = nullptr;

DWORD WINAPI Worker(void* parameter) {
  auto number = static_cast<int>(reinterpret_cast<INT_PTR>(parameter));
  for (int step = 1; step <= kWorkerLines; ++step) {
    BubblePrintf(channel, "worker %d (thread %lu): step %d of %d", number, GetCurrentThreadId(), step,
                 kWorkerLines);
    Sleep(kPace * (number + 1));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* traceFile = "bubbledemo.log";
  DWORD closeAfter = INFINITE;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--close-after") == 0 && i + 1 < argc) {
      closeAfter = static_cast<DWORD>(atoi(argv[++i])) * 1000;
    } else {
      traceFile = argv[i];
    }
  }

  channel = BubbleOpen(GetModuleHandleA(nullptr), traceFile, TRUE, "Bubble demonstration");
  if (!channel) {
    fprintf(stderr, "bubbledemo: the channel could not be opened\n");
    return 1;
  }
  printf("bubbledemo: tracing to %s%s\n", traceFile,
         channel->window ? " and to the window \"Bubble demonstration\"" : " only: no window could be made");
  fflush(stdout);

  BubblePrintf(channel, "Bubble demonstration: each line goes to %s and to this window", traceFile);
  Sleep(kPace);
  BubblePrintf(channel, "columns:\tone\ttwo\tthree (each tab shows as six spaces; the file keeps it)");
  Sleep(kPace);
  std::string longLine = "a long line, cut at 199 characters in the window and whole in the file: ";
  while (longLine.size() < 300) longLine += "0123456789";
  BubblePrintf(channel, "%s", longLine.c_str());
  Sleep(kPace);
  BubblePrintf(channel, "a text of three lines:\nsecond line\nthird line");
  Sleep(kPace);

  HANDLE workers[kWorkers];
  for (int i = 0; i < kWorkers; ++i) {
    workers[i] = CreateThread(nullptr, 0, Worker, reinterpret_cast<void*>(static_cast<INT_PTR>(i + 1)), 0, nullptr);
  }
  WaitForMultipleObjects(kWorkers, workers, TRUE, INFINITE);
  for (HANDLE worker : workers) CloseHandle(worker);

  BubblePrintf(channel, "Mark... adds a mark line (to the window only), Clear empties the list, Exit closes.");
  if (channel->windowThread) {
    if (closeAfter != INFINITE) printf("bubbledemo: closing by itself after %lu s\n", closeAfter / 1000);
    else printf("bubbledemo: close the window to end\n");
    fflush(stdout);
    WaitForSingleObject(channel->windowThread, closeAfter);
  }
  BubbleClose(channel);
  printf("bubbledemo: done; the trace is in %s\n", traceFile);
  return 0;
}
