#pragma once
// Controls carry the names the form gives them: tests, translation and the log find
// them by those names.

#include <QString>

template <typename Widget>
Widget* named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}
