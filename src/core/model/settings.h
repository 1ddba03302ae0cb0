// The settings of a port and the monitor's logging options, one row each under the registry's value
// name. The text form (and with it the Xcv commands), the store's optional values, and vtlpmport's
// options, --help and JSON come from these rows: a new optional setting is one row of
// kPortSettings and its field in PortEntry.
#pragma once

#include <windows.h>

#include <cstddef>
#include <span>

#include "model/portentry.h"
#include "resource.h"

enum class SettingType { Text, Number, Flag };

// How vtlpmport takes a setting on its command line.
enum class OptionForm {
  None,        // by --setting "NAME=VALUE" only
  AsTyped,     // a text or a number, as typed
  YesNo,       // yes or no (on or off): True or False
  NumberOrNo,  // a number, which sets the row's flag too, or "no", which clears the flag
  Protocol,    // the switches --tcp and --vtlnet
};

struct SettingOption {
  OptionForm form;
  const char* name;      // "--tcp-port"
  const char* argument;  // its argument as --help names it: "N"
  const char* help;      // one line of --help
};

struct Setting {
  const char* name;  // the registry value, and the setting's name in the text form
  SettingType type;
  size_t offset;  // of its DWORD or text field in PortEntry or LogOptions
  DWORD limit;    // a text's field width, NUL included; the largest number the store keeps and the text form takes
  DWORD initial;  // a new port's value
  bool shown;     // the dialogs show and change it
  // The store reads and writes it from this row: absent, of a wrong type or beyond the limit it
  // reads as its initial value (a text as empty); that value is not stored. The others the store
  // keeps in its own code.
  bool optional;
  UINT refusal;      // the dialogs' message for a number or flag that does not read; 0 for the plain refusal
  const char* flag;  // for a number kept only while a flag is set: that flag's name
  SettingOption option;
};

constexpr DWORD kAnyNumber = 0xFFFFFFFF;

// In the order the text form writes them.
inline constexpr Setting kPortSettings[] = {
    {"Protocol", SettingType::Number, offsetof(PortEntry, protocol), kAnyNumber, 0, true, false, 0, nullptr,
     {OptionForm::Protocol, "--tcp | --vtlnet", "", "the protocol the printer is reached by"}},
    {"TCP/IP Name", SettingType::Text, offsetof(PortEntry, tcpName), kTcpNameSize, 0, true, false, 0, nullptr,
     {OptionForm::AsTyped, "--tcp-name", "NAME", "TCP/IP host name (its address is looked up when none is given)"}},
    {"TCP/IP Address", SettingType::Text, offsetof(PortEntry, tcpAddress), kTcpAddressSize, 0, true, false, 0,
     nullptr, {OptionForm::AsTyped, "--tcp-address", "ADDRESS", "TCP/IP address"}},
    {"VTLnet Name", SettingType::Text, offsetof(PortEntry, vnetName), kVnetNameSize, 0, true, false, 0, nullptr,
     {OptionForm::AsTyped, "--vtlnet-name", "NAME", "VTLnet node name"}},
    {"VTLnet Address", SettingType::Text, offsetof(PortEntry, vnetAddress), kVnetAddressSize, 0, true, false, 0,
     nullptr, {OptionForm::AsTyped, "--vtlnet-address", "AREA.NODE", "VTLnet address"}},
    {"Banner", SettingType::Flag, offsetof(PortEntry, banner), 1, 0, true, false, 0, nullptr,
     {OptionForm::YesNo, "--banner", "yes|no", "a banner page before each job"}},
    {"Set Banner Tray", SettingType::Flag, offsetof(PortEntry, setBannerTray), 1, 0, true, false, 0, nullptr, {}},
    {"Banner Tray Number", SettingType::Number, offsetof(PortEntry, bannerTrayNumber), kAnyNumber, 1, true, false,
     IDS_INVALID_INPUT_TRAY, "Set Banner Tray",
     {OptionForm::NumberOrNo, "--banner-tray", "N|no", "the tray the banner page is taken from, or the default"}},
    {"Set Input Tray", SettingType::Flag, offsetof(PortEntry, setInputTray), 1, 0, true, false, 0, nullptr, {}},
    {"Input Tray Number", SettingType::Number, offsetof(PortEntry, inputTrayNumber), kAnyNumber, 1, true, false,
     IDS_INVALID_INPUT_TRAY, "Set Input Tray",
     {OptionForm::NumberOrNo, "--input-tray", "N|no", "the tray for the job's paper, or the default"}},
    {"Set Output Tray", SettingType::Flag, offsetof(PortEntry, setOutputTray), 1, 0, true, false, 0, nullptr, {}},
    {"Output Tray Number", SettingType::Number, offsetof(PortEntry, outputTrayNumber), kAnyNumber, 1, true, false,
     IDS_INVALID_OUTPUT_TRAY, "Set Output Tray",
     {OptionForm::NumberOrNo, "--output-tray", "N|no", "the output tray, or the default"}},
    {"VTLlaser TCP/IP", SettingType::Flag, offsetof(PortEntry, vtllaserPrinter), 1, 0, false, false, 0, nullptr,
     {OptionForm::YesNo, "--vtllaser", "yes|no", "the printer is a VTLlaser on TCP/IP"}},
    // 0 and the empty queue stand for none: the usual TCP port, raw delivery, the monitor's timeout.
    {"TCP/IP Port Number", SettingType::Number, offsetof(PortEntry, tcpPortNumber), 65535, 0, false, true, 0, nullptr,
     {OptionForm::AsTyped, "--tcp-port", "N", "the printer's TCP port; 0 for 9100 (raw) or 515 (LPR)"}},
    {"LPR Queue", SettingType::Text, offsetof(PortEntry, lprQueue), kLprQueueSize, 0, false, true, 0, nullptr,
     {OptionForm::AsTyped, "--lpr-queue", "QUEUE", "print by LPR to this queue; \"\" to print raw"}},
    {"Send Timeout", SettingType::Number, offsetof(PortEntry, sendTimeout), kAnyNumber, 0, false, true, 0, nullptr,
     {OptionForm::AsTyped, "--send-timeout", "SECONDS",
      "how long a job waits on a printer that takes nothing; 0 for 60"}},
    {"SNMP Status", SettingType::Flag, offsetof(PortEntry, snmpStatus), 1, 1, false, true, 0, nullptr,
     {OptionForm::YesNo, "--snmp", "yes|no", "ask the printer its state over SNMP"}},
    {"SNMP Community", SettingType::Text, offsetof(PortEntry, snmpCommunity), kSnmpCommunitySize, 0, false, true, 0,
     nullptr, {OptionForm::AsTyped, "--snmp-community", "NAME", "the printer's SNMP community; \"\" for public"}},
    {"SNMP Device Index", SettingType::Number, offsetof(PortEntry, snmpDeviceIndex), 0x7FFFFFFF, 1, false, true, 0,
     nullptr, {OptionForm::AsTyped, "--snmp-device", "N", "the printer's index in its device table"}},
    {"SNMP Port Number", SettingType::Number, offsetof(PortEntry, snmpPortNumber), 65535, 161, false, true, 0,
     nullptr, {OptionForm::AsTyped, "--snmp-port", "N", "the UDP port of the printer's SNMP agent"}},
};

// The logging options, which hold for every port; the store keeps them in its own code.
inline constexpr Setting kLogSettings[] = {
    {"Logging Level", SettingType::Number, offsetof(LogOptions, loggingLevel), kAnyNumber, 1, true, false,
     IDS_INVALID_LOG_LEVEL, nullptr, {OptionForm::AsTyped, "--logging-level", "0-3", "the log level"}},
    {"Trace", SettingType::Flag, offsetof(LogOptions, trace), 1, 0, true, false, 0, nullptr,
     {OptionForm::YesNo, "--trace", "yes|no", "write the trace file"}},
    {"Trace File", SettingType::Text, offsetof(LogOptions, traceFile), kTraceFileSize, 0, true, false, 0, nullptr,
     {OptionForm::AsTyped, "--trace-file", "PATH", "the trace file; \"\" clears it"}},
    {"Bubble", SettingType::Flag, offsetof(LogOptions, bubble), 1, 0, true, false, 0, nullptr,
     {OptionForm::YesNo, "--bubble", "yes|no", "the Bubble trace window"}},
};

using SettingTable = std::span<const Setting>;

// The row of that name, as the text form spells it (case included); null when the table has none.
const Setting* SettingsFind(SettingTable table, const char* name);

// The record's field of a row of its table: a number or flag, or a text of the row's limit.
DWORD* SettingsNumber(const Setting& setting, void* record);
DWORD SettingsNumber(const Setting& setting, const void* record);
char* SettingsText(const Setting& setting, void* record);
const char* SettingsText(const Setting& setting, const void* record);

// Gives every field of the table its initial value; the record's other fields stay.
void SettingsInitialize(SettingTable table, void* record);
