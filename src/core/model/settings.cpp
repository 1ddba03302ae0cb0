// The settings table's look-ups and the record fields its rows name.
#include "model/settings.h"

#include <cstring>

const Setting* SettingsFind(SettingTable table, const char* name) {
  for (const Setting& setting : table) {
    if (strcmp(name, setting.name) == 0) return &setting;
  }
  return nullptr;
}

DWORD* SettingsNumber(const Setting& setting, void* record) {
  return reinterpret_cast<DWORD*>(static_cast<BYTE*>(record) + setting.offset);
}

DWORD SettingsNumber(const Setting& setting, const void* record) {
  DWORD number = 0;
  memcpy(&number, static_cast<const BYTE*>(record) + setting.offset, sizeof number);
  return number;
}

char* SettingsText(const Setting& setting, void* record) {
  return reinterpret_cast<char*>(static_cast<BYTE*>(record) + setting.offset);
}

const char* SettingsText(const Setting& setting, const void* record) {
  return reinterpret_cast<const char*>(static_cast<const BYTE*>(record) + setting.offset);
}

void SettingsInitialize(SettingTable table, void* record) {
  for (const Setting& setting : table) {
    if (setting.type == SettingType::Text) {
      SettingsText(setting, record)[0] = '\0';
    } else {
      *SettingsNumber(setting, record) = setting.initial;
    }
  }
}
