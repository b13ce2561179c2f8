#pragma once
// Answers every message box the window shows and records its text.

#include "translation/TransMessageBox.h"

#include <QStringList>

class BoxAnswers {
public:
  explicit BoxAnswers(int answer = idOK) {
    previous = SetMessageBoxHandler([this, answer](const TMsgBoxRequest& box) {
      texts.push_back(box.Text);
      return answer;
    });
  }
  ~BoxAnswers() { SetMessageBoxHandler(previous); }
  QStringList texts;

private:
  TMsgBoxHandler previous;
};
