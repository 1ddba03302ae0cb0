// A small benchmark harness: each benchmark is a function that registers itself under a name
// and prints what it measured. Benchmarks report ratios measured in one run on one machine,
// never absolute times, so that their output means the same on any machine.
#pragma once

#include <functional>
#include <string>
#include <vector>

using BenchFunction = void (*)();

// Registers a benchmark; used through PM_BENCHMARK at namespace scope.
bool BenchRegister(const char* name, const char* summary, BenchFunction run);
#define PM_BENCHMARK(name, summary, function) \
  static const bool function##Registered = BenchRegister(name, summary, function)

// The shortest of `repeats` runs of `measured`, in seconds; `prepare` runs untimed before each
// run and `cleanUp` after it.
double BenchBestSeconds(int repeats, const std::function<void()>& prepare,
                        const std::function<void()>& measured, const std::function<void()>& cleanUp);

// The sizes every benchmark of the port list measures at.
inline const std::vector<int>& BenchSizes() {
  static const std::vector<int> sizes = {100, 1000, 10000};
  return sizes;
}

// Prints a table of ratios: a heading line (the size column's label, then one heading of at most
// 18 characters a column), then one row a size.
void BenchPrintHeading(const char* sizeLabel, const std::vector<std::string>& headings);
void BenchPrintRow(int size, const std::vector<double>& ratios);
