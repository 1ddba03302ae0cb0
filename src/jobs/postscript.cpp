#include "jobs/postscript.h"

#include <cstdio>
#include <cstring>

#include "jobs/jobtext.h"

namespace {

constexpr char kUniversalExit[] = "\x1B%-12345X";
constexpr size_t kUniversalExitLength = sizeof kUniversalExit - 1;
constexpr size_t kTextSize = 128;  // a name on the banner or in the header, cut to 127 bytes

bool StartsWith(const BYTE* data, size_t size, const char* prefix) {
  size_t length = strlen(prefix);
  return size >= length && memcmp(data, prefix, length) == 0;
}

// A text inside a PostScript string literal: the sanitised text with its parentheses and
// backslashes escaped and the bytes above 0x7E as octal escapes.
std::string PsString(const char* text) {
  char clean[kTextSize];
  JobSanitizeText(text, clean, sizeof clean);
  std::string literal = "(";
  for (const char* c = clean; *c; ++c) {
    unsigned char byte = static_cast<unsigned char>(*c);
    if (byte == '(' || byte == ')' || byte == '\\') {
      literal += '\\';
      literal += static_cast<char>(byte);
    } else if (byte > 0x7E) {
      char octal[5];
      snprintf(octal, sizeof octal, "\\%03o", byte);
      literal += octal;
    } else {
      literal += static_cast<char>(byte);
    }
  }
  return literal + ")";
}

// A text at the end of a comment line: sanitised, so it cannot end the line.
std::string PsComment(const char* text) {
  char clean[kTextSize];
  JobSanitizeText(text, clean, sizeof clean);
  return clean;
}

// A page device request that a printer without the feature ignores instead of ending the job.
std::string PageDevice(const std::string& request) {
  return "mark { << " + request + " >> setpagedevice } stopped cleartomark\n";
}

std::string MediaPosition(DWORD tray) {
  return PageDevice("/MediaPosition " + std::to_string(tray));
}

std::string BannerPage(const PsJobOptions& options) {
  std::string page = "%%Page: banner 0\nsave\n";
  if (options.setBannerTray) page += MediaPosition(options.bannerTrayNumber);
  page += "/Helvetica-Bold findfont 18 scalefont setfont\n"
          "72 720 moveto (Vantrel Pressmark Printer) show\n"
          "/Helvetica findfont 12 scalefont setfont\n"
          "72 690 moveto (Document: ) show " + PsString(options.documentName) + " show\n"
          "72 672 moveto (Port: ) show " + PsString(options.portName) + " show\n"
          "72 654 moveto (Time: ) show " + PsString(options.time) + " show\n"
          "showpage\nrestore\n";
  return page;
}

}  // namespace

long PsProgramStart(const BYTE* data, size_t size) {
  if (StartsWith(data, size, "%!")) return 0;
  if (!StartsWith(data, size, kUniversalExit)) return -1;
  size_t offset = kUniversalExitLength;
  while (StartsWith(data + offset, size - offset, "@PJL")) {
    const void* lineEnd = memchr(data + offset, '\n', size - offset);
    if (!lineEnd) return -1;
    offset = static_cast<size_t>(static_cast<const BYTE*>(lineEnd) - data) + 1;
  }
  return StartsWith(data + offset, size - offset, "%!") ? static_cast<long>(offset) : -1;
}

std::string PsJobHeader(const PsJobOptions& options) {
  std::string header = "%!PS-Adobe-3.0\n"
                       "%%Title: " + PsComment(options.documentName) + "\n"
                       "%%Creator: Vantrel Pressmark Printer monitor, port " + PsComment(options.portName) + "\n"
                       "%%EndComments\n"
                       "mark { << /JobName " + PsString(options.documentName) +
                       " >> setuserparams } stopped cleartomark\n";
  if (options.banner) header += BannerPage(options);
  if (options.setInputTray) header += MediaPosition(options.inputTrayNumber);
  if (options.setOutputTray) header += PageDevice("/OutputType (" + std::to_string(options.outputTrayNumber) + ")");
  return header;
}

std::string PsJobTrailer() {
  // The line feed ends a last line that the document left open; Ctrl-D ends the job at the printer.
  return "\n%%EOF\n\x04";
}
