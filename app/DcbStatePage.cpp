#include "DcbStatePage.h"

#include "NamedControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

namespace {

using P = TDcbStatePage;

// One flag field: its override box and either a value box (one bit) or a combo whose
// item index is the field's two-bit code.
struct TFlagRow {
  QCheckBox* P::*Override;
  const char* OverrideName;
  const char* Caption;
  QCheckBox* P::*ValueBox;
  QComboBox* P::*ValueCombo;
  const char* ValueName;
  std::uint32_t Bits;
  unsigned Shift;
};

const TFlagRow kFlagRows[] = {
    {&P::cDCB_fParity, "cDCB_fParity", "fParity", &P::cbDCBf_Parity, nullptr, "cbDCBf_Parity", DCB::fParity, 0},
    {&P::cDCB_fOutxCtsFlow, "cDCB_fOutxCtsFlow", "fOutxCtsFlow", &P::cbDCBf_OutCtsFlow, nullptr, "cbDCBf_OutCtsFlow",
     DCB::fOutxCtsFlow, 0},
    {&P::cDCB_fOutxDsrFlow, "cDCB_fOutxDsrFlow", "fOutxDsrFlow", &P::cbDCBf_OutDsrFlow, nullptr, "cbDCBf_OutDsrFlow",
     DCB::fOutxDsrFlow, 0},
    {&P::cDCB_fDtrControl, "cDCB_fDtrControl", "fDtrControl", nullptr, &P::comboDTRControl, "comboDTRControl",
     DCB::fDtrControl, DCB::DtrControlShift},
    {&P::cDCB_fDsrSensitive, "cDCB_fDsrSensitive", "fDsrSensitive", &P::cbDCBf_DsrSensitive, nullptr,
     "cbDCBf_DsrSensitive", DCB::fDsrSensitivity, 0},
    {&P::cDCB_fTXContinueOnXoff, "cDCB_fTXContinueOnXoff", "fTXContinueXoff", &P::cbDCBf_TCContinue, nullptr,
     "cbDCBf_TCContinue", DCB::fTXContinueOnXoff, 0},
    {&P::cDCB_fOutX, "cDCB_fOutX", "fOutX", &P::cbDCBf_OutX, nullptr, "cbDCBf_OutX", DCB::fOutX, 0},
    {&P::cDCB_fInX, "cDCB_fInX", "fInX", &P::cbDCBf_InX, nullptr, "cbDCBf_InX", DCB::fInX, 0},
    {&P::cDCB_fErrorChar, "cDCB_fErrorChar", "fErrorChar", &P::cbDCBf_ErrorChar, nullptr, "cbDCBf_ErrorChar",
     DCB::fErrorChar, 0},
    {&P::cDCB_fNull, "cDCB_fNull", "fNull", &P::cbDCBf_Null, nullptr, "cbDCBf_Null", DCB::fNull, 0},
    {&P::cDCB_fRtsControl, "cDCB_fRtsControl", "rRtsControl", nullptr, &P::comboRtsControl, "comboRtsControl",
     DCB::fRtsControl, DCB::RtsControlShift},
    {&P::cDCB_fAbortOnErr, "cDCB_fAbortOnErr", "fAbortOnError", &P::cbDCBf_AbortOnError, nullptr, "cbDCBf_AbortOnError",
     DCB::fAbortOnError, 0},
};

// One item field, in item-mask bit order from 1: its override box, spin edit and the
// label that describes the spin's value, where it has one.
struct TItemRow {
  QCheckBox* P::*Override;
  const char* OverrideName;
  const char* Caption;
  QSpinBox* P::*Spin;
  const char* SpinName;
  int Maximum;
  int Start;
  QLabel* P::*Label;
  const char* LabelName;
  std::string (*Describe)(int value);
};

const TItemRow kItemRows[] = {
    {&P::cDCB_XonLim, "cDCB_XonLim", "XonLim", &P::rxDCB_XonLim, "rxDCB_XonLim", 65535, 0, nullptr, nullptr, nullptr},
    {&P::cDCB_XoffLim, "cDCB_XoffLim", "XoffLim", &P::rxDCB_XoffLim, "rxDCB_XoffLim", 65535, 0, nullptr, nullptr,
     nullptr},
    {&P::cDCB_ByteSize, "cDCB_ByteSize", "ByteSize", &P::rxDCB_ByteSize, "rxDCB_ByteSize", 8, 8, nullptr, nullptr,
     nullptr},
    {&P::cDCB_Parity, "cDCB_Parity", "Parity", &P::rxDCB_Parity, "rxDCB_Parity", 4, 0, &P::lbParity, "lbParity",
     DcbParityLabel},
    {&P::cDCB_StopBits, "cDCB_StopBits", "StopBits", &P::rxDCB_StopBits, "rxDCB_StopBits", 2, 0, &P::lbStopBits,
     "lbStopBits", DcbStopBitsLabel},
    {&P::cDCB_XonChar, "cDCB_XonChar", "XonChar", &P::rxDCB_XOnChar, "rxDCB_XOnChar", 255, 0, &P::lbXonChar,
     "lbXonChar", DcbCharLabel},
    {&P::cDCB_XoffChar, "cDCB_XoffChar", "XoffChar", &P::rxDCB_XoffChar, "rxDCB_XoffChar", 255, 0, &P::lbXoffChar,
     "lbXoffChar", DcbCharLabel},
    {&P::cDCB_ErrorChar, "cDCB_ErrorChar", "ErrorChar", &P::rxDCB_ErrorChar, "rxDCB_ErrorChar", 255, 0, &P::lbErrorChar,
     "lbErrorChar", DcbCharLabel},
    {&P::cDCB_EofChar, "cDCB_EofChar", "EofChar", &P::rxDCB_EofChar, "rxDCB_EofChar", 255, 0, &P::lbEofChar,
     "lbEofChar", DcbCharLabel},
    {&P::cDCB_EvtChar, "cDCB_EvtChar", "EvtChar", &P::rxDCB_EvtChar, "rxDCB_EvtChar", 255, 0, &P::lbEvtChar,
     "lbEvtChar", DcbCharLabel},
};
static_assert(std::size(kItemRows) == kDcbLastItem - kDcbFirstItem + 1);
static_assert(std::size(kItemRows) == std::size(kFlagRows) - 2, "an item beside each one-bit flag");

QString latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::uint32_t itemBit(int row) { return 1u << (row + kDcbFirstItem); }

QSpinBox* numberEdit(const char* name) {
  auto* spin = named(new QSpinBox, name);
  spin->setRange(INT_MIN, INT_MAX);
  return spin;
}

}  // namespace

TDcbStatePage::TDcbStatePage(int& flagUpdateDepth, QWidget* parent)
    : QWidget(parent), FlagUpdateDepth(flagUpdateDepth) {
  setObjectName(QStringLiteral("TabDCB"));
  auto* editor = new QWidget;
  auto* grid = new QGridLayout(editor);
  grid->setContentsMargins(4, 4, 4, 4);  // the page's own margin is room enough
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(2);

  // The items take the rows of the one-bit flags, whose value boxes are narrow; the
  // combos reach into the items' first column, which keeps the page within its column.
  std::vector<int> itemLines;
  int line = 0;
  for (const TFlagRow& row : kFlagRows) {
    QCheckBox* box = this->*row.Override = named(new QCheckBox(QString::fromLatin1(row.Caption)), row.OverrideName);
    QWidget* value = nullptr;
    if (row.ValueBox) {
      QCheckBox* valueBox = this->*row.ValueBox = named(new QCheckBox(QStringLiteral("FALSE")), row.ValueName);
      connect(valueBox, &QCheckBox::toggled, this, [this, valueBox] { cbDCBf_ParityClick(valueBox); });
      value = valueBox;
    } else {
      QComboBox* combo = this->*row.ValueCombo = named(new QComboBox, row.ValueName);
      combo->addItems({QStringLiteral("Disable"), QStringLiteral("Enable"), QStringLiteral("Handshake"),
                       row.Bits == DCB::fDtrControl ? QStringLiteral("(Invalid)") : QStringLiteral("Toggle")});
      connect(combo, &QComboBox::activated, this, &TDcbStatePage::flagComboClick);
      value = combo;
    }
    value->setEnabled(false);
    connect(box, &QCheckBox::toggled, this, [this, box, value] { flagOverrideClick(box, value); });
    grid->addWidget(box, line, 0);
    grid->addWidget(value, line, 1, 1, row.ValueBox ? 1 : 2);
    if (row.ValueBox) itemLines.push_back(line);
    ++line;
  }

  auto nextItemLine = itemLines.begin();
  for (const TItemRow& row : kItemRows) {
    line = *nextItemLine++;
    QCheckBox* box = this->*row.Override = named(new QCheckBox(QString::fromLatin1(row.Caption)), row.OverrideName);
    QSpinBox* spin = this->*row.Spin = named(new QSpinBox, row.SpinName);
    spin->setRange(0, row.Maximum);
    spin->setValue(row.Start);
    spin->setEnabled(false);
    connect(box, &QCheckBox::toggled, this, [this, box, spin] { itemOverrideClick(box, spin); });
    grid->addWidget(box, line, 2);
    grid->addWidget(spin, line, 3);
    if (row.Label) {
      QLabel* label = this->*row.Label = named(new QLabel(latin1(row.Describe(row.Start))), row.LabelName);
      const auto describe = row.Describe;
      connect(spin, &QSpinBox::valueChanged, label,
              [label, describe](int value) { label->setText(latin1(describe(value))); });
      grid->addWidget(label, line, 4);
    }
  }

  rxMask = numberEdit("rxMask");
  rxVal = numberEdit("rxVal");
  rxItemMask = numberEdit("rxItemMask");
  SpeedButton3 = named(new QPushButton(QStringLiteral("Set")), "SpeedButton3");
  SpeedButton1 = named(new QPushButton(QStringLiteral("Set")), "SpeedButton1");
  SpeedButton4 = named(new QPushButton(QStringLiteral("Set")), "SpeedButton4");
  dResetDCB = named(new QPushButton(QStringLiteral("Reset")), "dResetDCB");
  const std::tuple<const char*, QSpinBox*, QPushButton*> numbers[] = {{"Flag Mask", rxMask, SpeedButton3},
                                                                      {"Flag Value", rxVal, SpeedButton1},
                                                                      {"Item Mask", rxItemMask, SpeedButton4}};
  // Below the rows, in columns of their own: the wide number edits and the Set buttons
  // would otherwise widen the rows' columns past the page.
  auto* numberGrid = new QGridLayout;
  line = 0;
  for (const auto& [caption, spin, set] : numbers) {
    numberGrid->addWidget(new QLabel(QString::fromLatin1(caption)), line, 0);
    numberGrid->addWidget(spin, line, 1);
    numberGrid->addWidget(set, line, 2);
    ++line;
  }
  numberGrid->addWidget(dResetDCB, line - 1, 3);
  numberGrid->setColumnStretch(4, 1);
  grid->addLayout(numberGrid, static_cast<int>(std::size(kFlagRows)), 0, 1, 5);
  connect(SpeedButton1, &QPushButton::clicked, this, &TDcbStatePage::SpeedButton1Click);
  connect(SpeedButton3, &QPushButton::clicked, this, &TDcbStatePage::SpeedButton3Click);
  connect(SpeedButton4, &QPushButton::clicked, this, &TDcbStatePage::SpeedButton4Click);
  connect(dResetDCB, &QPushButton::clicked, this, &TDcbStatePage::dResetDCBClick);

  // Twenty-odd rows do not fit every page height.
  auto* scroll = new QScrollArea;
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setWidget(editor);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(scroll);
}

QSpinBox* TDcbStatePage::itemSpin(int item) const { return this->*kItemRows[item - kDcbFirstItem].Spin; }

int TDcbStatePage::GetFlagValue() const {
  std::uint32_t value = DCB::fBinary;
  for (const TFlagRow& row : kFlagRows) {
    if (row.ValueBox && (this->*row.ValueBox)->isChecked()) value |= row.Bits;
    if (row.ValueCombo)
      value |= static_cast<std::uint32_t>(std::max(0, (this->*row.ValueCombo)->currentIndex())) << row.Shift;
  }
  return static_cast<int>(value);
}

int TDcbStatePage::GetFlagMask() const {
  std::uint32_t mask = 0;
  for (const TFlagRow& row : kFlagRows)
    if ((this->*row.Override)->isChecked()) mask |= row.Bits;
  return static_cast<int>(mask);
}

int TDcbStatePage::GetItemMask() const {
  std::uint32_t mask = 0;
  for (int row = 0; row < static_cast<int>(std::size(kItemRows)); ++row)
    if ((this->*kItemRows[row].Override)->isChecked()) mask |= itemBit(row);
  return static_cast<int>(mask);
}

void TDcbStatePage::SetFlagValueBoxes(int flags) {
  const auto word = static_cast<std::uint32_t>(flags);
  ++FlagUpdateDepth;
  for (const TFlagRow& row : kFlagRows) {
    if (row.ValueBox) (this->*row.ValueBox)->setChecked(word & row.Bits);
    if (row.ValueCombo) (this->*row.ValueCombo)->setCurrentIndex(static_cast<int>((word & row.Bits) >> row.Shift));
  }
  --FlagUpdateDepth;
}

void TDcbStatePage::SetFlagOverrideBoxes(int mask) {
  for (const TFlagRow& row : kFlagRows) (this->*row.Override)->setChecked(static_cast<std::uint32_t>(mask) & row.Bits);
}

void TDcbStatePage::SetItemOverrideBoxes(int mask) {
  for (int row = 0; row < static_cast<int>(std::size(kItemRows)); ++row)
    (this->*kItemRows[row].Override)->setChecked(static_cast<std::uint32_t>(mask) & itemBit(row));
}

TDcbOverrides TDcbStatePage::Overrides() const {
  // The boxes, not the numbers: a number typed in counts only once its Set has applied it.
  TDcbOverrides overrides;
  overrides.FlagValue = static_cast<std::uint32_t>(GetFlagValue());
  overrides.FlagMask = static_cast<std::uint32_t>(GetFlagMask());
  overrides.ItemMask = static_cast<std::uint32_t>(GetItemMask());
  for (int item = kDcbFirstItem; item <= kDcbLastItem; ++item)
    overrides.Items[item] = static_cast<std::uint32_t>(itemSpin(item)->value());
  return overrides;
}

void TDcbStatePage::LoadFromDcb(const DCB& dcb) {
  rxVal->setValue(static_cast<int>(dcb.Flags));
  SetFlagValueBoxes(rxVal->value());
  // XonLim to XoffChar; the error, end-of-file and event characters stay as they are.
  constexpr int kLastLoaded = 7;
  for (int item = kDcbFirstItem; item <= kLastLoaded; ++item)
    itemSpin(item)->setValue(static_cast<int>(DcbItem(dcb, item)));
}

void TDcbStatePage::flagOverrideClick(QCheckBox* overrideBox, QWidget* valueControl) {
  valueControl->setEnabled(overrideBox->isChecked());
  rxMask->setValue(GetFlagMask());
}

void TDcbStatePage::cbDCBf_ParityClick(QCheckBox* valueBox) {
  valueBox->setText(valueBox->isChecked() ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
  if (FlagUpdateDepth <= 0) rxVal->setValue(GetFlagValue());
}

void TDcbStatePage::flagComboClick() {
  if (FlagUpdateDepth <= 0) rxVal->setValue(GetFlagValue());
}

void TDcbStatePage::itemOverrideClick(QCheckBox* overrideBox, QSpinBox* spin) {
  spin->setEnabled(overrideBox->isChecked());
  if (FlagUpdateDepth <= 0) rxItemMask->setValue(GetItemMask());
}

// After a Set or the preset the numbers show what the boxes make of them, also where no
// box changed (a mask of 8213 checks the boxes of 12340), so the page shows what is written.
void TDcbStatePage::showBoxNumbers() {
  rxMask->setValue(GetFlagMask());
  rxVal->setValue(GetFlagValue());
  rxItemMask->setValue(GetItemMask());
}

void TDcbStatePage::SpeedButton1Click() {
  SetFlagValueBoxes(rxVal->value());
  showBoxNumbers();
}

void TDcbStatePage::SpeedButton3Click() {
  SetFlagOverrideBoxes(rxMask->value());
  showBoxNumbers();
}

void TDcbStatePage::SpeedButton4Click() {
  SetItemOverrideBoxes(rxItemMask->value());
  showBoxNumbers();
}

void TDcbStatePage::dResetDCBClick() {
  rxItemMask->setValue(static_cast<int>(kDcbResetItemMask));
  rxMask->setValue(static_cast<int>(kDcbResetFlags));
  rxVal->setValue(static_cast<int>(kDcbResetFlags));
  SetFlagOverrideBoxes(rxMask->value());
  SetFlagValueBoxes(rxVal->value());
  SetItemOverrideBoxes(rxItemMask->value());
  rxDCB_ByteSize->setValue(8);
  rxDCB_Parity->setValue(NOPARITY);
  rxDCB_StopBits->setValue(ONESTOPBIT);
  showBoxNumbers();
}
