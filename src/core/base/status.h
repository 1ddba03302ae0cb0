// Status codes: the condition values that internal operations answer.
#pragma once

#include <windows.h>

// A condition value: the low three bits are the severity (0 warning, 1 success, 2 error,
// 3 informational, 4 fatal), the bits above the message number.
using Status = DWORD;

constexpr Status EXC_S_SUCCESS = 9;
constexpr Status EXC_F_INSUFFICIENT_VM = 20;
constexpr Status EXC_E_FILE_NOT_FOUND = 26;
constexpr Status EXC_E_ERROR = 34;
constexpr Status EXC_W_WARNING = 40;

// True for severity 1 (success) and 3 (informational); callers never compare with one value.
constexpr bool StatusSucceeded(Status status) {
  return (status & 7) == 1 || (status & 7) == 3;
}
