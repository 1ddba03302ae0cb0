// Bounded text copies, and the monitor's code page.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Copies source up to and including its NUL, at most `limit` bytes, and never pads. Answers
// destination when the NUL was copied; null when limit bytes held no NUL (the destination is then
// unterminated) or when limit is 0 (nothing is copied).
char* CopyBounded(char* destination, const char* source, size_t limit);

// A caller's text in the monitor's code page (null reads as empty); false when a character would
// not carry exactly, since a best-fit character could name another port, printer or server.
bool ExactAnsi(const WCHAR* wide, std::string* text);
