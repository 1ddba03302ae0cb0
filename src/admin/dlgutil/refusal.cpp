#include "dlgutil/refusal.h"

#include <cstdio>

#include "base/messages.h"
#include "base/module.h"
#include "resource.h"

namespace {

// Shown when a message or prompt id has no string, and when IDS_ERROR_TITLE cannot be loaded.
constexpr char kInvalidInformation[] = "The information is invalid.";
constexpr char kEnterValidInformation[] = "Please enter valid information.";
constexpr char kErrorTitle[] = "Error Message";  // IDS_ERROR_TITLE

constexpr int kMessageTextSize = 127;

}  // namespace

void ShowValidationError(HWND dialog, UINT messageId, UINT promptId) {
  char message[kMessageTextSize];
  char prompt[kMessageTextSize];
  char title[kMessageTextSize];
  LoadResourceText(ModuleInstance, messageId, message, sizeof message, kInvalidInformation);
  LoadResourceText(ModuleInstance, promptId, prompt, sizeof prompt, kEnterValidInformation);
  LoadResourceText(ModuleInstance, IDS_ERROR_TITLE, title, sizeof title, kErrorTitle);
  char body[2 * kMessageTextSize + 2];
  snprintf(body, sizeof body, "%s\n\n%s", message, prompt);
  ShowMessageBox(dialog, body, title, MB_OK | MB_ICONSTOP);
}

void RefuseField(HWND dialog, int field, UINT messageId, UINT promptId) {
  ShowValidationError(dialog, messageId, promptId);
  SetFocus(GetDlgItem(dialog, field));
}
