// Debian's SNMP agent (/usr/sbin/snmpd) answering on a free UDP port of 127.0.0.1 and ::1 to the
// community "public", with the test's own configuration lines besides (overrides of printer values,
// more communities); device 1's page counter reads what the test last set. The agent stops and its
// files go when the owner goes away, and at the latest after two minutes.
#pragma once

#include <windows.h>

#include <string>

class TestAgent {
public:
  explicit TestAgent(const std::string& configuration);
  ~TestAgent();
  TestAgent(const TestAgent&) = delete;
  TestAgent& operator=(const TestAgent&) = delete;

  unsigned short port() const { return port_; }
  void SetPageCount(DWORD count) const;

private:
  void Start(const std::string& configuration);
  std::string directory_;  // the agent's files, as Windows names them
  unsigned short port_ = 0;
};
