#include "base/text.h"

char* CopyBounded(char* destination, const char* source, size_t limit) {
  for (size_t i = 0; i < limit; ++i) {
    destination[i] = source[i];
    if (source[i] == '\0') return destination;
  }
  return nullptr;
}
