// Message boxes and string resources: every message box of the program goes through
// ShowMessageBox, so that tests can answer it.
#pragma once

#include <windows.h>

// Shows a message box (MessageBoxA unless a test set another target) and answers its result.
int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT style);

// Replaces the message box; null restores MessageBoxA.
using MessageBoxTarget = int (*)(HWND owner, const char* text, const char* caption, UINT style);
void SetMessageBoxTarget(MessageBoxTarget target);

// Loads string `id` of `instance` into `text` (size bytes, at most size - 1 characters); when it
// cannot be loaded, copies `fallback` instead. Answers `text`.
const char* LoadResourceText(HINSTANCE instance, UINT id, char* text, int size, const char* fallback);

// Writes `format` with its first "%s" replaced by `argument` into `text` (size bytes), cut to fit;
// no other conversion is read, so a template from a resource can never be misread.
void FormatTemplateText(const char* format, const char* argument, char* text, size_t size);

// Writes the system's text for a Win32 error code into `text` (size bytes, cut to fit), followed
// by "(error N)"; just "error N" when the system has no text for it.
void FormatSystemError(DWORD error, char* text, size_t size);

// The notices to a user who may not change ports (no owner for the program's own operations):
// "You are denied access to add a port." and, for configure, that the settings can be viewed.
enum class DeniedAction { Add, Configure };
void ShowAccessDenied(HWND owner, DeniedAction action);
