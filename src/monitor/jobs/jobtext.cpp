#include "jobs/jobtext.h"

void JobSanitizeText(const char* text, char* out, size_t size) {
  if (size == 0) return;
  size_t used = 0;
  for (; text && *text && used + 1 < size; ++text) {
    unsigned char c = static_cast<unsigned char>(*text);
    if (c < 0x20 || c == 0x7F) c = ' ';
    if (c == '"') c = '\'';
    out[used++] = static_cast<char>(c);
  }
  out[used] = '\0';
}
