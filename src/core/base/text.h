// Bounded text copies.
#pragma once

#include <cstddef>

// Copies source up to and including its NUL, at most `limit` bytes, and never pads. Answers
// destination when the NUL was copied; null when limit bytes held no NUL (the destination is then
// unterminated) or when limit is 0 (nothing is copied).
char* CopyBounded(char* destination, const char* source, size_t limit);
