// The About box (300) and the brag box (400), the program's face.
#pragma once

#include <windows.h>

#include "model/portconfig.h"

constexpr const char kProductText[] = "Pressmark Software";
constexpr const char kPlatformText[] = "for Windows 4.0 (TM)";
constexpr const char kVersionText[] = "X(3/16/94)";

// Both run modally over `owner` and answer 1. The About box loads from `instance`; the brag box
// needs only the record's instance.
INT_PTR RunAboutBox(HWND owner, HINSTANCE instance);
INT_PTR RunBragBox(HWND owner, PortConfig* record);
