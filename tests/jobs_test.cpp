// What a job puts around a document, as plain functions.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "jobs/jobtext.h"
#include "jobs/postscript.h"

namespace {

long Start(const std::string& job) {
  return PsProgramStart(reinterpret_cast<const BYTE*>(job.data()), job.size());
}

// First bytes that end before they tell leave the decision to the next ones, up to the look-ahead.
TEST(JobsTest, PostScriptIsFoundAfterAJobLanguageHeaderOrACtrlDOnly) {
  const std::string exit = "\x1B%-12345X", pjl = exit + "@PJL JOB NAME=\"a\"\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n";
  for (auto [job, start] : std::initializer_list<std::pair<std::string, long>>{
           {"%!PS-Adobe-3.0\n", 0}, {exit + "%!", 9}, {pjl + "%!PS", 60}, {"\x04%!", 1}, {pjl + "\x04%!", 61},
           {" %!PS", -1}, {exit + "@PJL JOB\n\x1B" "E", -1}, {"\x1B" "E%!", -1}, {"\x04\x04%!", -1},
           {exit + "@PJL " + std::string(kPsLookAheadBytes, '-'), -1}, {"", kPsUndecided}, {"%", kPsUndecided},
           {"\x04", kPsUndecided}, {exit.substr(0, 4), kPsUndecided}, {pjl.substr(0, 12), kPsUndecided},
           {pjl + "\x04%", kPsUndecided}}) {
    EXPECT_EQ(start, Start(job)) << job;
  }
}

// However the document's bytes come, they all pass in order, and the trailer ("|" here) can go in
// front of a closing job-language block: not one in the middle, nor one too long to hold.
TEST(JobsTest, TheTrailerGoesBeforeTheDocumentsClosingJobLanguageBlock) {
  const std::string exit = "\x1B%-12345X", mid = exit + "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n%!PS\n";
  const std::string tooLong = exit + "@PJL COMMENT " + std::string(kPsEndBytes, '-') + "\r\n" + exit;
  for (auto [body, block] : std::initializer_list<std::pair<std::string, std::string>>{
           {"%!PS\nshowpage\n", exit + "@PJL EOJ\r\n" + exit}, {"%!\n" + mid, exit}, {"%!\n\x1B", exit + "@PJL"},
           {"%!\n" + exit + "\r\n", ""}, {"%!\n" + exit.substr(0, 8), ""}, {"%!\n" + tooLong, ""}}) {
    const std::string document = body + block;
    for (size_t piece : {document.size(), size_t{1}}) {
      PsEnd end = {};
      std::string sent;
      for (size_t at = 0; at < document.size(); at += piece) {
        auto* bytes = reinterpret_cast<const BYTE*>(document.data() + at);
        ASSERT_EQ(0, PsEndWrite(&end, bytes, std::min(piece, document.size() - at), [&](const BYTE* data, size_t size) {
          sent.append(reinterpret_cast<const char*>(data), size);
          return 0;
        }));
      }
      std::string held(reinterpret_cast<const char*>(end.held), end.heldSize);
      EXPECT_EQ(body + "|" + block, sent + (PsEndIsClosingBlock(end) ? "|" + held : held + "|")) << piece;
      int sends = 0;  // the first send of the bytes that follow fails, whether held bytes go with it or not
      auto failsOnce = [&](const BYTE*, size_t) { return sends++ ? 0 : 5; };
      EXPECT_EQ(5u, PsEndWrite(&end, reinterpret_cast<const BYTE*>("\n%"), 2, failsOnce)) << piece;
    }
  }
}

TEST(JobsTest, TextsFromTheJobCannotEndALineOrAStringAndTheWrappingFollowsTheOptions) {
  char clean[12];
  JobSanitizeText("a\"b\r\nc\x7F\td\x01" "efghij", clean, sizeof clean);
  EXPECT_STREQ("a'b  c  d e", clean);
  JobSanitizeText(nullptr, clean, sizeof clean);
  EXPECT_STREQ("", clean);

  PsJobOptions options = {"Q3 (draft)\\\n\xE9", "P:", "2026-12-07 10:00", 0, 0, 0, 0, 0, 0, 0};
  std::string plain = PsJobHeader(options);
  EXPECT_EQ("%!PS-Adobe-3.0\n%%Title: Q3 (draft)\\ \xE9\n%%Creator: Vantrel Pressmark Printer monitor, port P:\n"
            "%%EndComments\nmark { << /JobName (Q3 \\(draft\\)\\\\ \\351) >> setuserparams } stopped cleartomark\n",
            plain);

  // The banner page comes first, fed from its own tray; the document's trays follow it.
  options = {"doc", "P:", "2026-12-07 10:00", 1, 1, 2, 1, 3, 1, 4};
  std::string wrapped = PsJobHeader(options);
  size_t banner = wrapped.find("/MediaPosition 2");
  size_t page = wrapped.find("(Time: ) show (2026-12-07 10:00) show\nshowpage\nrestore\n");
  EXPECT_TRUE(banner < page && page < wrapped.find("/MediaPosition 3") &&
              wrapped.find("/MediaPosition 3") < wrapped.find("<< /OutputType (4) >>"))
      << wrapped;
  options.banner = 0;
  EXPECT_EQ(std::string::npos, PsJobHeader(options).find("/MediaPosition 2"));
}

}  // namespace
