#pragma once
// A combo box that tells its owner when its list is about to open, so port lists are
// rescanned exactly when the user looks at them.

#include <QComboBox>
#include <functional>

class TDropDownCombo : public QComboBox {
public:
  using QComboBox::QComboBox;
  std::function<void()> OnDropDown;

  void showPopup() override {
    if (OnDropDown) OnDropDown();
    QComboBox::showPopup();
  }
};
