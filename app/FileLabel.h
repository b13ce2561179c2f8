#pragma once
// The loaded job's label: its name in quotes and its size. A name too long for the label
// is shortened in its middle, never the size, and the full path is the tooltip.

#include <QLabel>

class TFileLabel : public QLabel {
 public:
  explicit TFileLabel(const QString& text);

  // Shows the file at path with its size text.
  void ShowFile(const QString& path, const QString& size);
  // The text as the label's width shows it.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString Name, Size;  // empty Name: no file, the plain text is shown
};
