#include "dlgutil/messages.h"

namespace {

MessageBoxTarget messageBoxTarget = nullptr;

}  // namespace

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style) {
  if (messageBoxTarget) return messageBoxTarget(owner, text, caption, style);
  return MessageBoxA(owner, text, caption, style);
}

void SetMessageBoxTarget(MessageBoxTarget target) {
  messageBoxTarget = target;
}

const char* LoadResourceText(HINSTANCE instance, UINT id, char* text, int size, const char* fallback) {
  if (size <= 0) return text;
  if (LoadStringA(instance, id, text, size) > 0) return text;
  lstrcpynA(text, fallback, size);
  return text;
}
