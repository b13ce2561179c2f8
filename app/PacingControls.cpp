#include "PacingControls.h"

#include "app/NamedControl.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

namespace {

QSpinBox* spinEdit(const char* name, int low, int high, int value) {
  auto* spin = named(new QSpinBox, name);
  spin->setRange(low, high);
  spin->setValue(value);
  return spin;
}

}  // namespace

TPacingControls::TPacingControls(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PacingControls"));
  cbPacing = named(new QComboBox, "cbPacing");
  // In the order of TPaceMode.
  cbPacing->addItems(
      {QStringLiteral("None"), QStringLiteral("Ask the cutter (ESC . B)"), QStringLiteral("By cutting time")});
  rxCutterBuffer = spinEdit("rxCutterBuffer", 1, 1 << 24, 1024);
  rxCutSpeed = spinEdit("rxCutSpeed", 1, 100000, 400);
  rxTravelSpeed = spinEdit("rxTravelSpeed", 1, 100000, 800);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(new QLabel(QStringLiteral("Pacing")), 0, 0);
  grid->addWidget(cbPacing, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Cutter Buffer (Bytes)")), 1, 0);
  grid->addWidget(rxCutterBuffer, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Cutting Speed (mm/s)")), 2, 0);
  grid->addWidget(rxCutSpeed, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Travel Speed (mm/s)")), 3, 0);
  grid->addWidget(rxTravelSpeed, 3, 1);
  connect(cbPacing, &QComboBox::currentIndexChanged, this, &TPacingControls::cbPacingChange);
  cbPacingChange();
}

void TPacingControls::cbPacingChange() {
  const bool byTime = cbPacing->currentIndex() == static_cast<int>(TPaceMode::Time);
  for (QSpinBox* spin : {rxCutterBuffer, rxCutSpeed, rxTravelSpeed}) spin->setEnabled(byTime);
}

TPacing TPacingControls::Read(std::uint32_t Baud) const {
  TPacing pacing;
  pacing.Mode = static_cast<TPaceMode>(std::max(cbPacing->currentIndex(), 0));
  pacing.CutterBufferBytes = static_cast<std::size_t>(rxCutterBuffer->value());
  pacing.Speeds = {static_cast<double>(rxCutSpeed->value()), static_cast<double>(rxTravelSpeed->value()), Baud};
  return pacing;
}
