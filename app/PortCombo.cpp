#include "PortCombo.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

namespace {

QString qtext(const std::string& text) { return QString::fromStdString(text); }

int portIndex(const QComboBox* combo, const std::string& name) {
  return name.empty() ? -1 : combo->findData(qtext(name));
}

// A long product name runs off the end of the box, never the port name off its start.
void showStart(QComboBox* combo) {
  if (QLineEdit* edit = combo->lineEdit()) edit->setCursorPosition(0);
}

}  // namespace

void FillPortCombo(QComboBox* combo, const std::vector<TPortListItem>& items, const std::string& selected) {
  const QSignalBlocker quiet(combo);
  combo->clear();
  for (const TPortListItem& item : items) {
    combo->addItem(qtext(item.Text), qtext(item.Name));
    combo->setItemData(combo->count() - 1, qtext(item.ToolTip), Qt::ToolTipRole);
  }
  combo->setCurrentIndex(portIndex(combo, selected));
  showStart(combo);
  // The list is as wide as its longest item, so that product names are not cut short.
  combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) + 2 * combo->view()->frameWidth() + 24);
}

void ShowPortNamesFromTheStart(QComboBox* combo) {
  QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [combo] { showStart(combo); });
}

std::string ComboItemPort(const QComboBox* combo, int index) {
  if (index < 0 || index >= combo->count()) return {};
  const QVariant name = combo->itemData(index);
  // An item put in without a port name is one.
  return (name.isValid() ? name.toString() : combo->itemText(index)).toStdString();
}

std::string ComboPortName(const QComboBox* combo, const std::vector<TSerialPort>& present) {
  const int index = combo->currentIndex();
  if (index >= 0 && combo->currentText() == combo->itemText(index)) return ComboItemPort(combo, index);
  return TypedPortName(combo->currentText().toStdString(), present);
}

void ShowComboPort(QComboBox* combo, const std::string& name) {
  if (const int index = portIndex(combo, name); index >= 0)
    combo->setCurrentIndex(index);
  else if (combo->isEditable())
    combo->setEditText(qtext(name));
}
