// Context help: the help file "vtlpmmw4.hlp" beside the program, shown in the program's own help
// viewer. The file is text: topics keyed by context number (its format is described at the top of
// the file). One viewer window per process opens at a topic and stays until CloseHelp.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Context numbers of the topics that the dialogs ask for.
constexpr DWORD HELP_ADD_PORT = 101;
constexpr DWORD HELP_CONFIGURE_PORT = 102;
constexpr DWORD HELP_PRINTER_OPTIONS = 103;
constexpr DWORD HELP_LOGGING_OPTIONS = 104;
constexpr DWORD HELP_ACCESSORIES = 301;

constexpr char kHelpFileName[] = "vtlpmmw4.hlp";

// The viewer window, its caption and its controls, for whoever drives it from outside.
constexpr char kHelpWindowClass[] = "PressmarkHelp";
constexpr char kHelpWindowCaption[] = "Pressmark Help";
constexpr int IDC_HELP_CONTENTS = 1;  // list box: the titles of all topics, in file order
constexpr int IDC_HELP_TITLE = 2;     // label: the title of the topic shown
constexpr int IDC_HELP_BODY = 3;      // read-only edit: the text of the topic shown

// Opens the viewer at the topic. When help cannot be opened (no file, no such topic, no window),
// shows "Unable to activate help", owned by the window that has the focus, and answers false.
bool ShowHelpTopic(DWORD context);

// Opens the viewer at the topic and answers whether it did; shows no message of its own.
bool OpenHelpTopic(DWORD context);

// Closes the viewer if it is open; the file is read again at the next request.
void CloseHelp();

// Where help is read from: the file beside the program unless a test names another (null or
// empty restores the file beside the program).
void SetHelpFile(const char* path);

// One topic of a help file, its body laid out for a multi-line edit control (CR LF line ends).
struct HelpTopic {
  DWORD context;
  std::string title;
  std::string body;
};
