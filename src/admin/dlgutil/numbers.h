// Reading the whole-number fields of the dialogs.
#pragma once

#include <windows.h>

// Optional leading blanks, an optional minus sign, decimal digits and nothing else, fitting a
// signed 32-bit value.
bool ParseWholeNumber(const char* text, LONG* value);

// Optional leading blanks, decimal digits and nothing else, fitting 32 bits.
bool ParseUnsignedNumber(const char* text, DWORD* value);

// The text of control `id` (at most 127 characters) read as ParseWholeNumber does.
bool ReadWholeNumberField(HWND dialog, int id, LONG* value);
