#pragma once
// The Direct COM page's pacing choice, for a line whose handshake cannot be trusted:
// None (as designed), Ask the cutter (ESC . B), or By cutting time with the cutter's
// buffer and speeds, which are asked for only then.

#include <QWidget>

#include "transmission/SendPacer.h"

class QComboBox;
class QSpinBox;

class TPacingControls : public QWidget {
 public:
  explicit TPacingControls(QWidget* parent = nullptr);

  // The pacing chosen, for a line at Baud.
  TPacing Read(std::uint32_t Baud) const;

  QComboBox* cbPacing;
  QSpinBox* rxCutterBuffer;
  QSpinBox* rxCutSpeed;
  QSpinBox* rxTravelSpeed;

 private:
  void cbPacingChange();
};
