#include "jobs/postscript.h"

#include <cstdio>
#include <cstring>

#include "jobs/jobtext.h"

namespace {

constexpr char kUniversalExit[] = "\x1B%-12345X";
constexpr size_t kUniversalExitLength = sizeof kUniversalExit - 1;
constexpr size_t kTextSize = 128;  // a name on the banner or in the header, cut to 127 bytes

constexpr char kCommandPrefix[] = "@PJL";
constexpr BYTE kCtrlD = 0x04;

enum Match { kNoMatch, kMatch, kMatchSoFar };

// Whether `data` begins with `prefix`; kMatchSoFar when it ends first and agrees so far.
Match Begins(const BYTE* data, size_t size, const char* prefix) {
  size_t length = strlen(prefix);
  if (memcmp(data, prefix, size < length ? size : length) != 0) return kNoMatch;
  return size >= length ? kMatch : kMatchSoFar;
}

// The "%!" at the start of `data`, after one Ctrl-D when there is one: its offset plus `offset`.
long OpeningAt(const BYTE* data, size_t size, size_t offset) {
  size_t ctrlD = size > 0 && data[0] == kCtrlD ? 1 : 0;
  switch (Begins(data + ctrlD, size - ctrlD, "%!")) {
  case kMatch: return static_cast<long>(offset + ctrlD);
  case kMatchSoFar: return kPsUndecided;
  default: return -1;
  }
}

long ProgramStart(const BYTE* data, size_t size) {
  Match exit = Begins(data, size, kUniversalExit);
  if (exit != kMatch) return exit == kMatchSoFar ? kPsUndecided : OpeningAt(data, size, 0);
  size_t offset = kUniversalExitLength;
  for (Match command; (command = Begins(data + offset, size - offset, kCommandPrefix)) != kNoMatch;) {
    const void* lineEnd = memchr(data + offset, '\n', size - offset);
    if (command == kMatchSoFar || !lineEnd) return kPsUndecided;
    offset = static_cast<size_t>(static_cast<const BYTE*>(lineEnd) - data) + 1;
  }
  return OpeningAt(data + offset, size - offset, offset);
}

// Where PsEndWrite stands in the document: in its PostScript, or inside a job-language block.
enum EndState { kInPostScript, kInExit, kInCommand, kInCommandLine, kBetweenCommands };

// Moves the block on by one byte; false, back in PostScript, when the byte is no job language.
bool Continues(PsEnd* end, BYTE byte) {
  switch (end->state) {
  case kInExit:
    if (byte != static_cast<BYTE>(kUniversalExit[end->matched])) break;
    if (++end->matched == kUniversalExitLength) end->state = kBetweenCommands;
    return true;
  case kInCommand:
    if (byte != static_cast<BYTE>(kCommandPrefix[end->matched])) break;
    if (++end->matched == sizeof kCommandPrefix - 1) end->state = kInCommandLine;
    return true;
  case kInCommandLine:
    if (byte == '\n') end->state = kBetweenCommands;
    return true;
  case kBetweenCommands:
    if (byte != static_cast<BYTE>(kUniversalExit[0]) && byte != static_cast<BYTE>(kCommandPrefix[0])) break;
    end->state = byte == static_cast<BYTE>(kUniversalExit[0]) ? kInExit : kInCommand;
    end->matched = 1;
    return true;
  }
  end->state = kInPostScript;
  return false;
}

// Carries a block held from an earlier write on with the first bytes of `data`; *next is where
// the rest begins. A block that ends, or grows too long to be a closing one, goes out first.
DWORD GoOnHeldBlock(PsEnd* end, const BYTE* data, size_t size, size_t* next, const PsSink& send) {
  if (end->heldSize == 0) return 0;
  while (*next < size && end->heldSize < kPsEndBytes && Continues(end, data[*next])) {
    end->held[end->heldSize++] = data[(*next)++];
  }
  if (*next == size) return 0;
  end->holding = false;
  DWORD error = send(end->held, end->heldSize);
  end->heldSize = 0;
  return error;
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
  size_t seen = size < kPsLookAheadBytes ? size : kPsLookAheadBytes;
  long start = ProgramStart(data, seen);
  return start == kPsUndecided && seen == kPsLookAheadBytes ? -1 : start;
}

DWORD PsEndWrite(PsEnd* end, const BYTE* data, size_t size, const PsSink& send) {
  size_t next = 0;
  DWORD error = GoOnHeldBlock(end, data, size, &next, send);
  if (error || next == size) return error;
  size_t passed = next;
  size_t blockStart = size;  // where a block held from this write began
  while (next < size) {
    if (end->state == kInPostScript) {
      const void* exit = memchr(data + next, kUniversalExit[0], size - next);
      if (!exit) break;
      next = static_cast<size_t>(static_cast<const BYTE*>(exit) - data);
      end->state = kInExit;
      end->matched = 0;
      end->holding = true;
      blockStart = next;
    }
    if (!Continues(end, data[next])) {
      end->holding = false;  // a block in the middle: it goes out with the PostScript around it
      continue;              // the byte is looked at again, as PostScript
    }
    ++next;
    if (end->holding && next - blockStart > kPsEndBytes) end->holding = false;
  }
  size_t heldFrom = end->holding ? blockStart : size;
  error = heldFrom > passed ? send(data + passed, heldFrom - passed) : 0;
  if (error) return error;
  memcpy(end->held, data + heldFrom, size - heldFrom);
  end->heldSize = size - heldFrom;
  return 0;
}

bool PsEndIsClosingBlock(const PsEnd& end) {
  return end.holding && (end.state == kBetweenCommands || end.state == kInCommandLine);
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

std::string PsJobTrailer() {
  // The line feed ends a last line that the document left open; Ctrl-D ends the job at the printer.
  return "\n%%EOF\n\x04";
}
