// The wrapping of a PostScript job for a Pressmark printer, as plain functions over bytes: what
// goes before the document's own PostScript (a header that names the job, the banner page, the
// trays) and what goes after it. The document's own bytes are never changed.
#pragma once

#include <windows.h>

#include <cstddef>
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

// Where the job's PostScript begins: the offset of its "%!", which either opens the job or
// follows a job-language header (a universal exit, ESC "%-12345X", then "@PJL" lines, each
// ended by a line feed). Answers -1 when the job is not PostScript.
long PsProgramStart(const BYTE* data, size_t size);

// The bytes that go in front of the document's PostScript; throws std::bad_alloc.
std::string PsJobHeader(const PsJobOptions& options);

// The bytes that go after the document.
std::string PsJobTrailer();
