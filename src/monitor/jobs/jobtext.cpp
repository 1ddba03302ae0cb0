#include "jobs/jobtext.h"

#include <winsock2.h>

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

const char* JobReasonText(DWORD error) {
  switch (error) {
  case WSAECONNREFUSED: return "the printer refused the connection";
  case WSAETIMEDOUT: return "the printer took nothing within the port's send timeout";
  case WSAECONNRESET:
  case WSAECONNABORTED:
  case WSAESHUTDOWN: return "the printer closed the connection";
  case WSAHOST_NOT_FOUND: return "the printer's name does not resolve and the port has no address for it";
  case WSAENETUNREACH:
  case WSAEHOSTUNREACH: return "there is no route to the printer";
  case ERROR_MOD_NOT_FOUND: return "the VTLnet library with its transport is not installed";
  case ERROR_BAD_NETPATH: return "the VTLnet library has no transport to the printer's node";
  case ERROR_INVALID_ADDRESS: return "the printer's VTLnet name does not resolve and the port has no address for it";
  default: return "a network or file error";
  }
}
