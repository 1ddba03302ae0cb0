// Control identifiers of the Bubble trace window's dialogs, shared by bubble.rc and bubble.cpp.
#pragma once

// "bubbleDlgMain", the child dialog that fills the trace window.
#define IDC_BUBBLE_MARK 101
#define IDC_BUBBLE_CLEAR 102
#define IDC_BUBBLE_EXIT 103
#define IDC_BUBBLE_LIST 104

// "bubbleDlgMark", which asks for the text of a mark line.
#define IDC_BUBBLE_MARK_TEXT 201
#define IDC_BUBBLE_MARK_LABEL 202
