// The line printer daemon protocol (RFC 1179) as plain functions: the commands a job sends and
// its control file. Texts from the job and the port are sanitised here.
#pragma once

#include <string>

// The printer's port for LPR.
constexpr unsigned short kLprPort = 515;

// What the control file says about one job.
struct LprJob {
  const char* queue;
  const char* host;          // this machine
  const char* user;
  const char* documentName;
  unsigned jobNumber;        // 0 to 999
};

// "send queue state (short)" for the queue.
std::string LprQueueStateCommand(const char* queue);

// "receive a printer job" for the job's queue.
std::string LprReceiveJobCommand(const LprJob& job);

// The names of the job's control file ("cfA") and data file ("dfA"): a three-digit job number
// and the host, cut to 31 characters.
std::string LprControlFileName(const LprJob& job);
std::string LprDataFileName(const LprJob& job);

// "receive control file" (kind 2) or "receive data file" (kind 3) announcing `byteCount` bytes.
std::string LprFileCommand(char kind, unsigned long long byteCount, const std::string& fileName);

// The control file: host, user, job name, the data file printed as it is ("l") and then removed.
std::string LprControlFile(const LprJob& job);
