// Completion of the port dialog's printer fields: what is looked up, derived and proposed while
// the user types. Plain functions over the working record; `dialog` (may be null) only shows what
// they decided, in the field they name.
#pragma once

#include <windows.h>

#include "model/portconfig.h"

// The printer fields the user types into.
enum class PrinterField { TcpName, TcpAddress, VnetName, VnetAddress };

// Takes the text the user left in a printer field: when it differs from the record's, stores it
// with StoreEnteredText and forgets that protocol's look-up, so the pair is resolved afresh.
void TakePrinterText(PortConfig* record, PrinterField field, const char* text);

// Takes the port name the user left, without the spaces at either end, with StoreEnteredText.
void TakePortNameText(PortConfig* record, const char* text);

// Completes the selected protocol's fields and proposes a port name; never replaces a field the
// user has entered.
void CompleteFields(PortConfig* record, HWND dialog);

// Selects TCP/IP (tcp true) or VTLnet and completes its fields; a protocol whose name is still
// empty then takes one derived from the other protocol's name, and is completed again.
void SwitchProtocol(PortConfig* record, HWND dialog, bool tcp);

// Derivations; each writes a NUL-terminated text of at most 50 characters into `result`
// (kDerivedSize bytes), looking at no more than the first 50 characters of `text`.
constexpr size_t kDerivedSize = 51;
void CopyToSeparator(const char* text, char separator, char* result);  // leaves out backslashes
void StripHashes(const char* text, char* result);                      // leaves out "#"
