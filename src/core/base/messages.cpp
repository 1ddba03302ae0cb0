#include "base/messages.h"

#include <shlwapi.h>

#include <cstring>

#include "base/module.h"
#include "resource.h"

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

void FormatTemplateText(const char* format, const char* argument, char* text, size_t size) {
  if (size == 0) return;
  text[0] = '\0';
  const char* mark = strstr(format, "%s");
  size_t before = mark ? static_cast<size_t>(mark - format) : strlen(format);
  size_t used = 0;
  auto append = [&](const char* part, size_t length) {
    size_t room = size - 1 - used;
    if (length > room) length = room;
    memcpy(text + used, part, length);
    used += length;
    text[used] = '\0';
  };
  append(format, before);
  if (!mark) return;
  append(argument, strlen(argument));
  append(mark + 2, strlen(mark + 2));
}

void FormatSystemError(DWORD error, char* text, size_t size) {
  if (size == 0) return;
  char reason[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason,
                                sizeof reason, nullptr);
  while (length && strchr("\r\n .", reason[length - 1])) --length;
  reason[length] = '\0';
  int room = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
  if (length) {
    wnsprintfA(text, room, "%s (error %lu)", reason, error);
  } else {
    wnsprintfA(text, room, "error %lu", error);
  }
  text[size - 1] = '\0';
}

void ShowAccessDenied(HWND owner, DeniedAction action) {
  static const char kAddDenied[] = "You are denied access to add a port.";
  static const char kConfigureDenied[] =
      "You are denied access to configure the port. You will be able to view the settings.";
  bool add = action == DeniedAction::Add;
  char text[256];
  char caption[128];
  LoadResourceText(ModuleInstance, add ? IDS_ADD_DENIED : IDS_CONFIGURE_DENIED, text, sizeof text,
                   add ? kAddDenied : kConfigureDenied);
  LoadResourceText(ModuleInstance, IDS_ACCESS_DENIED_TITLE, caption, sizeof caption, "Access Denied");
  ShowMessageBox(owner, text, caption, MB_ICONINFORMATION | MB_OK);
}
