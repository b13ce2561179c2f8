#include "PacingControls.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>
#include <utility>

#include "app/NamedControl.h"

namespace {

QSpinBox* spinEdit(const char* name, int low, int high, int value, const char* suffix, const char* tip) {
  auto* spin = named(new QSpinBox, name);
  spin->setRange(low, high);
  spin->setValue(value);
  spin->setSuffix(QString::fromLatin1(suffix));
  spin->setToolTip(QString::fromLatin1(tip));
  return spin;
}

}  // namespace

TPacingControls::TPacingControls(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PacingControls"));
  cbPacing = named(new QComboBox, "cbPacing");
  // In the order of TPaceMode.
  cbPacing->addItems(
      {QStringLiteral("None"), QStringLiteral("Ask the cutter (ESC . B)"), QStringLiteral("By cutting time")});
  rxCutterBuffer = spinEdit("rxCutterBuffer", 1, 1 << 24, 1024, " bytes", "The cutter's buffer");
  rxCutSpeed = spinEdit("rxCutSpeed", 1, 100000, 400, " mm/s", "Cutting speed, blade down");
  rxTravelSpeed = spinEdit("rxTravelSpeed", 1, 100000, 800, " mm/s", "Travel speed, blade up");
  // The cutter's figures share one row, each named by a caption above it.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setVerticalSpacing(2);
  grid->addWidget(new QLabel(QStringLiteral("Pacing")), 0, 0);
  grid->addWidget(cbPacing, 0, 1, 1, 3);
  int column = 1;
  for (const auto& [spin, caption] : {std::pair{rxCutterBuffer, "Buffer"}, std::pair{rxCutSpeed, "Cutting speed"},
                                      std::pair{rxTravelSpeed, "Travel speed"}}) {
    auto* label = new QLabel(QString::fromLatin1(caption));
    label->setBuddy(spin);
    grid->addWidget(label, 1, column);
    grid->addWidget(spin, 2, column++);
  }
  grid->addWidget(new QLabel(QStringLiteral("Cutter")), 2, 0);
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
