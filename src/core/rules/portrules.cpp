// The port rules in order, and the field each refusal concerns.
#include "rules/portrules.h"

#include "model/store.h"
#include "resource.h"

namespace {

using TextRule = bool (*)(const char*, UINT*);

// Which field each message of the rules concerns.
constexpr struct {
  UINT first, last;
  RuleField field;
} kMessageFields[] = {
    {IDS_PORT_NAME_EMPTY, IDS_PORT_NAME_UNCHECKED, RuleField::PortName},
    {IDS_PORT_NAME_REQUIRED, IDS_PORT_NAME_REQUIRED, RuleField::PortName},
    {IDS_TCP_NAME_CHARACTERS, IDS_TCP_NAME_CHARACTERS, RuleField::TcpName},
    {IDS_TCP_ADDRESS_EMPTY, IDS_TCP_ADDRESS_INCORRECT, RuleField::TcpAddress},
    {IDS_VNET_NAME_CHARACTERS, IDS_VNET_NAME_CHARACTERS, RuleField::VnetName},
    {IDS_VNET_ADDRESS_EMPTY, IDS_VNET_ADDRESS_INCORRECT, RuleField::VnetAddress},
    {IDS_INVALID_INPUT_TRAY, IDS_INVALID_INPUT_TRAY, RuleField::InputTray},
    {IDS_INVALID_OUTPUT_TRAY, IDS_INVALID_OUTPUT_TRAY, RuleField::OutputTray},
    {IDS_INVALID_LOG_LEVEL, IDS_INVALID_LOG_LEVEL, RuleField::LogLevel},
    {IDS_LOG_LEVEL_RANGE, IDS_LOG_LEVEL_RANGE, RuleField::LogLevel},
    {IDS_TRACE_FILE_REQUIRED, IDS_TRACE_FILE_UNOPENED, RuleField::TraceFile},
};

UINT FieldPrompt(RuleField field) {
  switch (field) {
  case RuleField::PortName: return IDS_PROMPT_PORT_NAME;
  case RuleField::TcpName: return IDS_PROMPT_TCP_NAME;
  case RuleField::TcpAddress: return IDS_PROMPT_TCP_ADDRESS;
  case RuleField::VnetName: return IDS_PROMPT_VNET_NAME;
  case RuleField::VnetAddress: return IDS_PROMPT_VNET_ADDRESS;
  case RuleField::InputTray: return IDS_PROMPT_INPUT_TRAY;
  case RuleField::OutputTray: return IDS_PROMPT_OUTPUT_TRAY;
  case RuleField::LogLevel: return IDS_PROMPT_LOG_LEVEL;
  case RuleField::TraceFile: return IDS_PROMPT_TRACE_FILE;
  }
  return IDS_PROMPT_PORT_NAME;
}

// One printer pair unless kept: the name always, the address when it is the port's protocol's or not empty.
UINT CheckPrinter(bool kept, bool chosen, TextRule checkName, TextRule checkAddress, const char* name,
                  const char* address) {
  if (kept) return 0;
  UINT message = 0;
  if (!checkName(name, &message)) return message;
  if ((chosen || address[0]) && !checkAddress(address, &message)) return message;
  return 0;
}

// The printer options dialog checks the banner tray with the input tray's rule.
UINT CheckTrays(const PortEntry& port) {
  UINT message = 0;
  if (port.setBannerTray && !CheckInputTray(static_cast<int>(port.bannerTrayNumber), &message)) return message;
  if (port.setInputTray && !CheckInputTray(static_cast<int>(port.inputTrayNumber), &message)) return message;
  if (port.setOutputTray && !CheckOutputTray(static_cast<int>(port.outputTrayNumber), &message)) return message;
  return 0;
}

// A name the port keeps passes as it stands; a new one must be free.
UINT CheckName(const PortEntry& port, const PortRuleScope& scope) {
  UINT message = 0;
  if (!port.portName[0]) return IDS_PORT_NAME_REQUIRED;
  if (!scope.newName) return 0;
  if (scope.spooler) {
    CheckPortNameAgainst(port.portName, *scope.spooler, &message);
  } else {
    CheckPortName(port.portName, &message);
  }
  return message;
}

// In the port dialog's order: the printer, then the trays, then the port name.
UINT FirstRefusal(const PortEntry& port, const PortRuleScope& scope) {
  UINT message = CheckPrinter((scope.keptPrinters & kStoreKeepTcpPrinter) != 0, port.protocol == kProtocolTcp,
                              CheckTcpName, CheckTcpAddress, port.tcpName, port.tcpAddress);
  if (!message) {
    message = CheckPrinter((scope.keptPrinters & kStoreKeepVnetPrinter) != 0, port.protocol == kProtocolVnet,
                           CheckVnetName, CheckVnetAddress, port.vnetName, port.vnetAddress);
  }
  if (!message) message = CheckTrays(port);
  if (!message) message = CheckName(port, scope);
  return message;
}

}  // namespace

RuleFailure CheckPortRules(const PortEntry& port, const PortRuleScope& scope) {
  UINT message = FirstRefusal(port, scope);
  return {message, PortRuleField(message)};
}

RuleField PortRuleField(UINT message) {
  for (const auto& entry : kMessageFields) {
    if (message >= entry.first && message <= entry.last) return entry.field;
  }
  return RuleField::PortName;
}

UINT PortRulePrompt(UINT message) {
  // A port list the spooler could not give calls for a restart rather than another name.
  if (message == IDS_PORT_NAME_UNCHECKED) return IDS_PROMPT_RESTART;
  return FieldPrompt(PortRuleField(message));
}
