#include "jobs/lpr.h"

#include <cstdio>

#include "jobs/jobtext.h"

namespace {

constexpr size_t kHostSize = 32;   // 31 characters
constexpr size_t kUserSize = 32;   // 31 characters
constexpr size_t kNameSize = 100;  // 99 characters

// A sanitised text of at most size - 1 bytes in which a space cannot split an operand either.
std::string Operand(const char* text, size_t size) {
  char clean[kNameSize];
  JobSanitizeText(text, clean, size < sizeof clean ? size : sizeof clean);
  return clean;
}

std::string Word(const char* text, size_t size) {
  std::string word = Operand(text, size);
  for (char& c : word) {
    if (c == ' ') c = '_';
  }
  return word;
}

std::string FileName(const char* prefix, const LprJob& job) {
  char number[4];
  snprintf(number, sizeof number, "%03u", job.jobNumber % 1000);
  return prefix + std::string(number) + Word(job.host, kHostSize);
}

}  // namespace

std::string LprQueueStateCommand(const char* queue) {
  return "\x03" + Word(queue, kNameSize) + "\n";
}

std::string LprReceiveJobCommand(const LprJob& job) {
  return "\x02" + Word(job.queue, kNameSize) + "\n";
}

std::string LprControlFileName(const LprJob& job) {
  return FileName("cfA", job);
}

std::string LprDataFileName(const LprJob& job) {
  return FileName("dfA", job);
}

std::string LprFileCommand(char kind, unsigned long long byteCount, const std::string& fileName) {
  return std::string(1, kind) + std::to_string(byteCount) + " " + fileName + "\n";
}

std::string LprControlFile(const LprJob& job) {
  std::string dataFile = LprDataFileName(job);
  return "H" + Word(job.host, kHostSize) + "\n" +
         "P" + Word(job.user, kUserSize) + "\n" +
         "J" + Operand(job.documentName, kNameSize) + "\n" +
         "N" + Operand(job.documentName, kNameSize) + "\n" +
         "l" + dataFile + "\n" +
         "U" + dataFile + "\n";
}
