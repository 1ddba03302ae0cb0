// The port rules in the one order that the port dialog, the monitor's Xcv commands and the port UI
// share: which rule refuses a port first, and which field its message concerns.
#pragma once

#include <windows.h>

#include "model/portentry.h"
#include "rules/validate.h"

// The fields a refusal concerns: the dialog puts the focus on the field's control, the port UI
// prompts for it. The banner tray is refused with the input tray's message, so it has none of its own.
enum class RuleField { PortName, TcpName, TcpAddress, VnetName, VnetAddress, InputTray, OutputTray, LogLevel,
                       TraceFile };

// The first rule that refused: its message id, 0 when every rule passed, and the field it concerns.
struct RuleFailure {
  UINT message;
  RuleField field;
};

// What the rules take from the side that asks, beside the port's values.
struct PortRuleScope {
  DWORD keptPrinters;  // kStoreKeep… bits: printer pairs that stand as they are and are not checked
  bool newName;        // the name is not yet this port's (a new port, a renamed one): no port may hold it
  const SpoolerPortNames* spooler;  // the spooler's names read beforehand, or null to ask it now
};

// Applies the port rules in the port dialog's order: each printer pair not kept, TCP/IP then VTLnet
// (the name's rule, then the address's rule when the pair's protocol is the port's or the address is
// not empty); the trays that are set (the banner tray by the input tray's rule); the port name
// present (1031); a new name not in use (CheckPortName, or CheckPortNameAgainst the spooler's names).
RuleFailure CheckPortRules(const PortEntry& port, const PortRuleScope& scope);

// The field a refusal's message concerns, also for the text form's refusal of a number; a message
// of no rule concerns the port name.
RuleField PortRuleField(UINT message);

// The prompt under a refusal: its field's, but a restart when the spooler could not give its port list.
UINT PortRulePrompt(UINT message);
