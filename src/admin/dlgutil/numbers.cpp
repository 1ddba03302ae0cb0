#include "dlgutil/numbers.h"

#include <cstdint>

namespace {

// Reads the digits at *text, which must run to its end; false on none or beyond `limit`.
bool ParseDigits(const char* text, uint64_t limit, uint64_t* number) {
  if (*text < '0' || *text > '9') return false;
  uint64_t result = 0;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return false;
    result = result * 10 + static_cast<uint64_t>(*text - '0');
    if (result > limit) return false;
  }
  *number = result;
  return true;
}

const char* SkipBlanks(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  return text;
}

}  // namespace

bool ParseWholeNumber(const char* text, LONG* value) {
  text = SkipBlanks(text);
  bool negative = *text == '-';
  if (negative) ++text;
  uint64_t magnitude = 0;
  if (!ParseDigits(text, negative ? 2147483648u : 2147483647u, &magnitude)) return false;
  *value = negative ? static_cast<LONG>(-static_cast<int64_t>(magnitude)) : static_cast<LONG>(magnitude);
  return true;
}

bool ParseUnsignedNumber(const char* text, DWORD* value) {
  uint64_t number = 0;
  if (!ParseDigits(SkipBlanks(text), 0xFFFFFFFFu, &number)) return false;
  *value = static_cast<DWORD>(number);
  return true;
}

bool ReadWholeNumberField(HWND dialog, int id, LONG* value) {
  char text[128] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return ParseWholeNumber(text, value);
}
