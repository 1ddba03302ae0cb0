// What a job puts around a document, as plain functions.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "jobs/jobtext.h"
#include "jobs/postscript.h"

namespace {

long Start(const std::string& job) {
  return PsProgramStart(reinterpret_cast<const BYTE*>(job.data()), job.size());
}

TEST(JobsTest, PostScriptIsFoundAfterAJobLanguageHeaderOnly) {
  const std::string exit = "\x1B%-12345X";
  EXPECT_EQ(0, Start("%!PS-Adobe-3.0\n"));
  EXPECT_EQ(static_cast<long>(exit.size()), Start(exit + "%!"));
  EXPECT_EQ(60, Start(exit + "@PJL JOB NAME=\"a\"\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n%!PS"));
  for (const std::string& other : {std::string(""), std::string("%"), std::string(" %!PS"), exit + "@PJL JOB",
                                   exit + "@PJL JOB\n\x1B" "E", std::string("\x1B" "E%!")}) {
    EXPECT_EQ(-1, Start(other)) << other;
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
  EXPECT_EQ(0u, wrapped.find(plain.substr(0, 20)));
  size_t banner = wrapped.find("/MediaPosition 2");
  size_t page = wrapped.find("(Time: ) show (2026-12-07 10:00) show\nshowpage\nrestore\n");
  EXPECT_TRUE(banner < page && page < wrapped.find("/MediaPosition 3") &&
              wrapped.find("/MediaPosition 3") < wrapped.find("<< /OutputType (4) >>"))
      << wrapped;
  options.banner = 0;
  EXPECT_EQ(std::string::npos, PsJobHeader(options).find("/MediaPosition 2"));
}

}  // namespace
