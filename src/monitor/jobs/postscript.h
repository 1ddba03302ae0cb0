// The wrapping of a PostScript job for a Pressmark printer, as plain functions over bytes: what
// goes before the document's own PostScript (a header that names the job, the banner page, the
// trays) and what goes after it. The document's own bytes are never changed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

// What the wrapping says; texts are taken as they are and sanitised here.
struct PsJobOptions {
  const char* documentName;
  const char* portName;
  const char* time;  // the job's start, shown on the banner page
  DWORD banner;
  DWORD setBannerTray;
  DWORD bannerTrayNumber;
  DWORD setInputTray;
  DWORD inputTrayNumber;
  DWORD setOutputTray;
  DWORD outputTrayNumber;
};

// The first bytes of a job that PsProgramStart looks at; a job undecided by then is not PostScript.
constexpr size_t kPsLookAheadBytes = 8192;
// The longest closing job-language block that PsEndWrite holds back.
constexpr size_t kPsEndBytes = 512;
constexpr long kPsUndecided = -2;

// Where the job's PostScript begins: the offset of its "%!", which either opens the job or
// follows a job-language header (a universal exit, ESC "%-12345X", then "@PJL" lines, each
// ended by a line feed); one Ctrl-D, which ends any job before this one, may stand before it.
// Answers -1 when the job is not PostScript, kPsUndecided when its first bytes end before they
// tell (fewer than kPsLookAheadBytes; the job's next bytes may still make it PostScript).
long PsProgramStart(const BYTE* data, size_t size);

// A job's first bytes, held until PsProgramStart decides on them.
struct PsLookAhead {
  BYTE bytes[kPsLookAheadBytes];
  size_t size;
};

// Takes a document's bytes on their way; answers 0 or an error that stops them.
using PsSink = std::function<DWORD(const BYTE* data, size_t size)>;

// The end of a wrapped document, held back while it may be the document's closing job-language
// block: a universal exit that leaves the PostScript, followed only by "@PJL" lines and universal
// exits. The trailer belongs in front of such a block, while the printer still reads PostScript.
// Zeroed, it stands at the start of the document's PostScript.
struct PsEnd {
  BYTE held[kPsEndBytes];
  size_t heldSize;
  int state;       // where the bytes so far leave off: in PostScript, or in a job-language block
  size_t matched;  // the bytes of a universal exit or of "@PJL" matched so far
  bool holding;    // the block begun last is held: it is no longer than kPsEndBytes so far
};

// Passes the document's next bytes to `send`, every byte once and in order, except those that may
// begin its closing block, which stay in end->held. Answers the first error of `send`.
DWORD PsEndWrite(PsEnd* end, const BYTE* data, size_t size, const PsSink& send);

// Whether the held bytes are the document's closing block, once the document has no more bytes.
bool PsEndIsClosingBlock(const PsEnd& end);

// The bytes that go in front of the document's PostScript; throws std::bad_alloc.
std::string PsJobHeader(const PsJobOptions& options);

// A text inside a PostScript string literal: the text sanitised and cut to 127 bytes, its
// parentheses and backslashes escaped and the bytes above 0x7E as octal escapes.
std::string PsString(const char* text);

// The bytes that go after the document.
std::string PsJobTrailer();
