#include "base/text.h"

char* CopyBounded(char* destination, const char* source, size_t limit) {
  for (size_t i = 0; i < limit; ++i) {
    destination[i] = source[i];
    if (source[i] == '\0') return destination;
  }
  return nullptr;
}

bool ExactAnsi(const WCHAR* wide, std::string* text) {
  text->clear();
  if (!wide || !*wide) return true;
  BOOL lossy = FALSE;
  bool utf8 = GetACP() == CP_UTF8;  // UTF-8 carries every character but takes no default one
  DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  int length = WideCharToMultiByte(CP_ACP, flags, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return false;
  std::string converted(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide, -1, converted.data(), length, nullptr, utf8 ? nullptr : &lossy);
  if (lossy) return false;
  converted.pop_back();  // the NUL
  *text = std::move(converted);
  return true;
}
