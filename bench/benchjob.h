// What the job benchmarks share: a loopback printer and a job through the monitor's entry points.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "jobs/portjob.h"
#include "model/portlist.h"

constexpr DWORD kChunk = 4096;

// A printer on 127.0.0.1 that takes every connection and drops what it reads; with `lpr` it
// answers every line of the LPR protocol with a 0 byte and reads announced files whole.
class BenchPrinter {
public:
  explicit BenchPrinter(bool lpr) : lpr_(lpr) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    int length = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
    listen(listener_, 4);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      for (SOCKET connection; (connection = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) {
        if (lpr_) {
          ServeLpr(connection);
        } else {
          Drain(connection, ~0ull);
        }
        closesocket(connection);
      }
    });
  }
  ~BenchPrinter() {
    closesocket(listener_);
    thread_.join();
  }
  unsigned short port() const { return port_; }

private:
  static bool Drain(SOCKET connection, unsigned long long bytes) {
    static char buffer[1 << 16];
    while (bytes) {
      int got = recv(connection, buffer, static_cast<int>(std::min<unsigned long long>(bytes, sizeof buffer)), 0);
      if (got <= 0) return false;
      bytes -= static_cast<unsigned long long>(got);
    }
    return true;
  }
  static void ServeLpr(SOCKET connection) {
    for (std::string line;; line.clear()) {
      for (char c = 0; c != '\n';) {
        if (recv(connection, &c, 1, 0) != 1) return;
        line += c;
      }
      send(connection, "", 1, 0);
      if (line[0] == '\x02' && line.find(' ') == std::string::npos) continue;  // the queue
      if (!Drain(connection, std::stoull(line.substr(1)) + 1)) return;
      send(connection, "", 1, 0);
    }
  }

  bool lpr_;
  SOCKET listener_;
  unsigned short port_ = 0;
  std::thread thread_;
};

// One job through the entry points, as the spooler calls them; false when any call failed.
inline bool PrintThroughMonitor(const char* portName, unsigned long long bytes) {
  static std::vector<BYTE> chunk(kChunk, 'x');
  HANDLE port = nullptr;
  if (!MonitorOpenPort(portName, &port)) return false;
  DOC_INFO_1A document = {const_cast<char*>("bench"), nullptr, nullptr};
  bool printed = MonitorStartDocPort(port, nullptr, 1, 1, reinterpret_cast<BYTE*>(&document));
  for (unsigned long long sent = 0; printed && sent < bytes; sent += kChunk) {
    DWORD written = 0;
    printed = MonitorWritePort(port, chunk.data(), kChunk, &written) && written == kChunk;
  }
  printed = MonitorEndDocPort(port) && printed;
  MonitorClosePort(port);
  return printed;
}
