#pragma once
// A paint box that owns a 32-bit buffer of its own size and shows it. Whatever is drawn
// into the buffer appears at the next paint, all at once.

#include "raster/Bitmap32.h"

#include <QWidget>
#include <functional>

class TPaintBox32 : public QWidget {
 public:
  explicit TPaintBox32(QWidget* Parent = nullptr);

  // Always the widget's current size (a change of size leaves it blank), also before
  // the widget is first shown.
  TBitmap32& Buffer();
  // Called at every paint, before the buffer is shown.
  std::function<void()> OnPaint;

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  TBitmap32 FBuffer;
};
