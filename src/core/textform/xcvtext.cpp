// The Xcv text form: reading it strictly, writing it whole.
#include "textform/xcvtext.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <unordered_set>

namespace {

using Kind = SettingType;

constexpr DWORD kBadValue = ERROR_INVALID_DATA;
constexpr size_t kMaxDigits = 10;

bool IsControlCharacter(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

bool HasControlCharacter(const std::string& text) {
  for (unsigned char c : text) {
    if (IsControlCharacter(c)) return true;
  }
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The byte of an escape "<HH>" at `at`, or -1 when the text holds none there.
int EscapedByte(const std::string& text, size_t at) {
  if (text.size() < at + 4 || text[at] != '<' || text[at + 3] != '>') return -1;
  int high = HexDigit(text[at + 1]), low = HexDigit(text[at + 2]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// The stored text of a value or port name: each "<HH>" the byte it stands for. False for "<00>",
// which no stored text can hold.
bool Unescape(const std::string& text, std::string* stored) {
  stored->clear();
  for (size_t at = 0; at < text.size(); ++at) {
    int byte = EscapedByte(text, at);
    if (byte == 0) return false;
    if (byte < 0) {
      *stored += text[at];
      continue;
    }
    *stored += static_cast<char>(byte);
    at += 3;
  }
  return true;
}

bool ReadNumber(const std::string& text, DWORD* value) {
  if (text.empty() || text.size() > kMaxDigits) return false;
  unsigned long long number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  if (number > 0xFFFFFFFFull) return false;
  *value = static_cast<DWORD>(number);
  return true;
}

bool ReadFlag(const std::string& text, DWORD* value) {
  if (lstrcmpiA(text.c_str(), "True") == 0 || text == "1") {
    *value = 1;
    return true;
  }
  if (lstrcmpiA(text.c_str(), "False") == 0 || text == "0") {
    *value = 0;
    return true;
  }
  return false;
}

// ERROR_SUCCESS when the value reads as the setting's kind and fits.
DWORD CheckValue(const Setting& setting, const std::string& value) {
  DWORD unreadable = setting.refusal ? XcvRefusal(setting.refusal) : kBadValue;
  DWORD number = 0;
  switch (setting.type) {
  case Kind::Text: return value.size() < setting.limit ? ERROR_SUCCESS : kBadValue;
  case Kind::Number: return ReadNumber(value, &number) && number <= setting.limit ? ERROR_SUCCESS : unreadable;
  case Kind::Flag: return ReadFlag(value, &number) ? ERROR_SUCCESS : unreadable;
  }
  return kBadValue;
}

// The settings table of a section key; false for a key that names no section.
bool SectionTable(const std::string& key, SettingTable* table) {
  if (key == kXcvOptionsKey) {
    *table = kLogSettings;
    return true;
  }
  size_t prefixLength = strlen(kXcvPortsPrefix);
  if (key.compare(0, prefixLength, kXcvPortsPrefix) != 0 || key.size() - prefixLength >= kPortNameSize) return false;
  *table = kPortSettings;
  return true;
}

// Answers the setting of that name in the section's table, or null.
const Setting* SectionSetting(const std::string& key, const std::string& name) {
  return SettingsFind(key == kXcvOptionsKey ? SettingTable(kLogSettings) : SettingTable(kPortSettings), name.c_str());
}

void ApplyTo(const XcvSection& section, void* record) {
  for (const XcvSetting& given : section.settings) {
    const Setting* setting = SectionSetting(section.key, given.name);
    if (!setting) continue;
    DWORD number = 0;
    switch (setting->type) {
    case Kind::Text:
      lstrcpynA(SettingsText(*setting, record), given.value.c_str(), static_cast<int>(setting->limit));
      continue;
    case Kind::Number: ReadNumber(given.value, &number); break;
    case Kind::Flag: ReadFlag(given.value, &number); break;
    }
    *SettingsNumber(*setting, record) = number;
  }
}

// A section key as lstrcmpiA compares it, for finding a repeated section by lookup.
std::string FoldedKey(const std::string& key) {
  std::string folded = key;
  if (!folded.empty()) CharUpperBuffA(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

XcvSection SectionOf(const std::string& key, SettingTable table, const void* record) {
  XcvSection section{key, {}};
  for (const Setting& setting : table) {
    DWORD number = setting.type == Kind::Text ? 0 : SettingsNumber(setting, record);
    switch (setting.type) {
    case Kind::Text: section.settings.push_back({setting.name, SettingsText(setting, record)}); break;
    case Kind::Number: section.settings.push_back({setting.name, std::to_string(number)}); break;
    case Kind::Flag: section.settings.push_back({setting.name, number ? "True" : "False"}); break;
    }
  }
  return section;
}

// Reads a text; `strict` holds it to the sections and settings of the tables.
DWORD ParseText(const std::string& text, bool strict, std::vector<XcvSection>* sections) {
  std::vector<XcvSection> read;
  std::unordered_set<std::string> keys;
  bool versioned = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (HasControlCharacter(line)) return ERROR_INVALID_DATA;
    if (!versioned) {
      if (line != kXcvVersionLine) return ERROR_REVISION_MISMATCH;
      versioned = true;
      continue;
    }
    if (line.front() == '[') {
      std::string key;
      if (line.back() != ']' || !Unescape(line.substr(1, line.size() - 2), &key)) return ERROR_INVALID_DATA;
      SettingTable table;
      if (strict && !SectionTable(key, &table)) return ERROR_INVALID_DATA;
      if (!keys.insert(FoldedKey(key)).second) return ERROR_INVALID_DATA;
      read.push_back({key, {}});
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos || read.empty()) return ERROR_INVALID_DATA;
    XcvSetting given{line.substr(0, equals), std::string()};
    if (!Unescape(line.substr(equals + 1), &given.value)) return ERROR_INVALID_DATA;
    XcvSection& section = read.back();
    if (!strict) {
      section.settings.push_back(given);
      continue;
    }
    const Setting* setting = SectionSetting(section.key, given.name);
    if (!setting) return ERROR_INVALID_DATA;
    for (const XcvSetting& earlier : section.settings) {
      if (earlier.name == given.name) return ERROR_INVALID_DATA;
    }
    DWORD status = CheckValue(*setting, given.value);
    if (status != ERROR_SUCCESS) return status;
    section.settings.push_back(given);
  }
  if (!versioned) return ERROR_REVISION_MISMATCH;
  *sections = std::move(read);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD XcvParseText(const std::string& text, std::vector<XcvSection>* sections) {
  return ParseText(text, true, sections);
}

DWORD XcvParseAnswer(const std::string& text, std::vector<XcvSection>* sections) {
  return ParseText(text, false, sections);
}

std::string XcvFormatText(const std::vector<XcvSection>& sections) {
  std::string text = std::string(kXcvVersionLine) + "\r\n";
  for (const XcvSection& section : sections) {
    text += "[" + XcvEscape(section.key) + "]\r\n";
    for (const XcvSetting& setting : section.settings) text += setting.name + "=" + XcvEscape(setting.value) + "\r\n";
  }
  return text;
}

std::string XcvEscape(const std::string& text) {
  std::string escaped;
  for (size_t at = 0; at < text.size(); ++at) {
    auto c = static_cast<unsigned char>(text[at]);
    if (!IsControlCharacter(c) && EscapedByte(text, at) < 0) {
      escaped += text[at];
      continue;
    }
    char code[5];
    snprintf(code, sizeof code, "<%02X>", c);
    escaped += code;
  }
  return escaped;
}

SettingType XcvSettingKind(const XcvSection& section, const std::string& name) {
  const Setting* setting = SectionSetting(section.key, name);
  return setting ? setting->type : SettingType::Text;
}

XcvSection XcvPortSection(const PortEntry& port) {
  return SectionOf(kXcvPortsPrefix + std::string(port.portName), kPortSettings, &port);
}

XcvSection XcvOptionsSection(const LogOptions& options) {
  return SectionOf(kXcvOptionsKey, kLogSettings, &options);
}

bool XcvSectionPort(const XcvSection& section, std::string* portName) {
  size_t prefixLength = strlen(kXcvPortsPrefix);
  if (section.key.compare(0, prefixLength, kXcvPortsPrefix) != 0) return false;
  *portName = section.key.substr(prefixLength);
  return true;
}

void XcvApplyPort(const XcvSection& section, PortEntry* port) {
  std::string portName;
  if (XcvSectionPort(section, &portName)) ApplyTo(section, port);
}

void XcvApplyOptions(const XcvSection& section, LogOptions* options) {
  if (section.key == kXcvOptionsKey) ApplyTo(section, options);
}

DWORD XcvParseSection(const std::string& text, XcvSection* section) {
  std::vector<XcvSection> sections;
  DWORD status = XcvParseText(text, &sections);
  if (status != ERROR_SUCCESS) return status;
  if (sections.size() != 1) return ERROR_INVALID_DATA;
  *section = std::move(sections[0]);
  return ERROR_SUCCESS;
}
