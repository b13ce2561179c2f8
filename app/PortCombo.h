#pragma once
// The window's port boxes: each item shows a port with its product name and carries the
// port name alone, which is what is stored, logged and opened.

#include "ports/PortListItems.h"

#include <string>
#include <vector>

class QComboBox;

// From now on an editable box shows the start of a chosen item's text, the port name.
void ShowPortNamesFromTheStart(QComboBox* combo);
// Replaces the items and selects the item of the port `selected` (none when it is empty
// or not there), without raising the box's signals.
void FillPortCombo(QComboBox* combo, const std::vector<TPortListItem>& items, const std::string& selected);
// The port the box stands for: the chosen item's, or the name typed into an editable box.
std::string ComboPortName(const QComboBox* combo, const std::vector<TSerialPort>& present);
// The port name of the item at index; empty for no item.
std::string ComboItemPort(const QComboBox* combo, int index);
// Selects the port's item or, in an editable box without one, shows the name as typed;
// a pick-only box without it keeps its choice.
void ShowComboPort(QComboBox* combo, const std::string& name);
