// Texts taken from a job or a port into what a printer receives: a job header, a banner page or
// an LPR control file; and the words in which a job's error is told.
#pragma once

#include <windows.h>

#include <cstddef>

// Copies `text` into `out` (`size` bytes, always terminated, cut to fit): every control character
// (below 0x20, and 0x7F) becomes a space and a double quote an apostrophe, so that the copy can
// neither end a line nor close a quoted field. A null text copies as the empty one.
void JobSanitizeText(const char* text, char* out, size_t size);

// The account of a job's error in the words of its events: what the printer did, or what kept the
// job from reaching it.
const char* JobReasonText(DWORD error);
