// The text form in which the Xcv commands, vtlpmport.exe and scripts exchange ports and the
// logging options. Version 1, one setting per line, under the registry's value names, the settings
// and their limits as model/settings.h gives them:
//
//   Version=1                      the first line that is not blank or a comment
//   [Ports\<port name>]            a port; its settings follow, each at most once
//   Protocol=2                     1 VTLnet, 2 TCP/IP
//   TCP/IP Name=<text>             TCP/IP Address, VTLnet Name, VTLnet Address alike
//   Banner=True                    True or False (1 or 0); so are the Set ... Tray flags and
//   Set Input Tray=True            VTLlaser TCP/IP
//   Input Tray Number=3            a decimal number; Banner and Output Tray Number alike
//   TCP/IP Port Number=515         0 to 65535, 0 for the usual port (9100 raw, 515 LPR)
//   LPR Queue=<text>               print by LPR to this queue; empty for raw delivery
//   Send Timeout=60                seconds in which the printer takes nothing; 0 for the default
//   [Options]                      the logging options
//   Logging Level=1                0 to 3
//   Trace=False                    Trace File=<path>, Bubble=True or False
//
// Lines end in LF or CR LF; blank lines and lines that begin with ';' are skipped. Texts are in the
// monitor's code page and fit the store's fields. A line holds no control character: in a text or
// a port name, "<HH>" (two hexadecimal digits) stands for the byte HH, so a stored TAB is written
// "<09>"; "<" followed by anything else is itself. A file name cannot hold "<", so paths read as
// they stand.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "model/portentry.h"
#include "model/settings.h"

// A status that refuses a value with the message id the dialogs show for it (in the low word).
constexpr DWORD kXcvRefused = 0x20000000;
constexpr DWORD XcvRefusal(UINT messageId) {
  return kXcvRefused | messageId;
}
// The message id of a refusal; 0 for any other status.
constexpr UINT XcvRefusalMessage(DWORD status) {
  return (status & 0xFFFF0000) == kXcvRefused ? status & 0xFFFF : 0;
}

constexpr char kXcvVersionLine[] = "Version=1";
constexpr char kXcvPortsPrefix[] = "Ports\\";
constexpr char kXcvOptionsKey[] = "Options";

struct XcvSetting {
  std::string name;
  std::string value;
};

// One section: its key ("Ports\<name>" or "Options") and its settings in the order given.
struct XcvSection {
  std::string key;
  std::vector<XcvSetting> settings;
};

// Reads a whole text. ERROR_REVISION_MISMATCH when it does not begin with "Version=1";
// ERROR_INVALID_DATA for a line that is neither a section nor a setting, a setting before the
// first section, an unknown section, an unknown or repeated setting, a section twice, a control
// character or "<00>", a text too long for its field or a number above its limit; the refusal of
// a number or flag that does not read (for trays and the level, the dialogs' message id).
// Sections is filled only on success.
DWORD XcvParseText(const std::string& text, std::vector<XcvSection>* sections);

// Reads the answer of a command that tells more than settings (a port's status, a test page): as
// XcvParseText, but any section and any setting name, the settings as given.
DWORD XcvParseAnswer(const std::string& text, std::vector<XcvSection>* sections);

// XcvParseText of a text that must hold exactly one section (ERROR_INVALID_DATA otherwise).
DWORD XcvParseSection(const std::string& text, XcvSection* section);

// The text of the sections, "Version=1" first, each line ended by CR LF, texts escaped.
std::string XcvFormatText(const std::vector<XcvSection>& sections);

// A stored text as a line of the text form carries it: control characters, and a "<" that would
// begin an escape, as "<HH>".
std::string XcvEscape(const std::string& text);

// The kind of the named setting of the section; Text for a name the section does not know.
SettingType XcvSettingKind(const XcvSection& section, const std::string& name);

// The port's section with every setting; the options' section with every setting.
XcvSection XcvPortSection(const PortEntry& port);
XcvSection XcvOptionsSection(const LogOptions& options);

// The port name of a "Ports\<name>" section; false for another section.
bool XcvSectionPort(const XcvSection& section, std::string* portName);

// Copy the settings of a parsed section over the record's; settings not given stay.
void XcvApplyPort(const XcvSection& section, PortEntry* port);
void XcvApplyOptions(const XcvSection& section, LogOptions* options);
