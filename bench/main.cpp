// pmbench [name...]: runs the named benchmarks, or all of them; `pmbench --list` names them.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "bench.h"

namespace {

struct BenchEntry {
  const char* name;
  const char* summary;
  BenchFunction run;
};

std::vector<BenchEntry>& Registry() {
  static std::vector<BenchEntry> entries;
  return entries;
}

bool IsWanted(const BenchEntry& entry, int argc, char** argv) {
  if (argc < 2) return true;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], entry.name) == 0) return true;
  }
  return false;
}

}  // namespace

bool BenchRegister(const char* name, const char* summary, BenchFunction run) {
  Registry().push_back({name, summary, run});
  return true;
}

double BenchBestSeconds(int repeats, const std::function<void()>& prepare,
                        const std::function<void()>& measured, const std::function<void()>& cleanUp) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  double best = 0;
  for (int i = 0; i < repeats; ++i) {
    if (prepare) prepare();
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    measured();
    QueryPerformanceCounter(&end);
    if (cleanUp) cleanUp();
    double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    if (i == 0 || seconds < best) best = seconds;
  }
  return best;
}

void BenchPrintHeading(const char* sizeLabel, const std::vector<std::string>& headings) {
  printf("  %8s", sizeLabel);
  for (const std::string& heading : headings) printf("  %18.18s", heading.c_str());
  printf("\n");
}

void BenchPrintRow(int size, const std::vector<double>& ratios) {
  printf("  %8d", size);
  for (double ratio : ratios) printf("  %18.2f", ratio);
  printf("\n");
}

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--list") == 0) {
    for (const BenchEntry& entry : Registry()) printf("%-12s %s\n", entry.name, entry.summary);
    return 0;
  }
  int ran = 0;
  for (const BenchEntry& entry : Registry()) {
    if (!IsWanted(entry, argc, argv)) continue;
    printf("%s: %s\n", entry.name, entry.summary);
    entry.run();
    printf("\n");
    fflush(stdout);
    ++ran;
  }
  if (ran == 0) {
    fprintf(stderr, "pmbench: no benchmark of that name (pmbench --list names them)\n");
    return 1;
  }
  return 0;
}
