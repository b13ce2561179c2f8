#include "translation/TransMessageBox.h"
#include "translation/TransWordList.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

namespace {

// Records every box instead of showing it and answers with a fixed button.
class MessageBoxTest : public ::testing::Test {
protected:
  void SetUp() override {
    previous_ = SetMessageBoxHandler([this](const TMsgBoxRequest& request) {
      seen_ = request;
      ++calls_;
      return answer_;
    });
  }
  void TearDown() override {
    SetMessageBoxHandler(previous_);
    SetCurrentWordList(nullptr);
  }

  TMsgBoxHandler previous_;
  std::optional<TMsgBoxRequest> seen_;
  int calls_ = 0;
  int answer_ = idYes;
};

TEST_F(MessageBoxTest, OnlyFiveSetsHaveABoxStyleOfTheirOwn) {
  using Sets = std::initializer_list<TMsgButtons>;
  const Sets fixed = {mbYes | mbNo, mbYes | mbNo | mbCancel, mbOK | mbCancel, mbRetry | mbCancel, mbOK};
  const Sets others = {mbYes | mbNo | mbCancel | mbHelp, mbAbort | mbRetry | mbIgnore, mbYes, 0};
  for (const auto& [sets, standard] : {std::pair{fixed, false}, std::pair{others, true}}) {
    for (TMsgButtons buttons : sets) {
      TransMessageBoxW(u"text", mtWarning, buttons, 0);
      EXPECT_EQ(seen_->StandardDialog, standard) << buttons;
      EXPECT_EQ(seen_->Buttons, buttons);
    }
  }
}

struct KindCase {
  TMsgKind kind;
  const char* caption;
  QMessageBox::Icon icon;
};

TEST_F(MessageBoxTest, KindChoosesCaptionAndIcon) {
  const KindCase cases[] = {
      {mtWarning, "Warning", QMessageBox::Warning},
      {mtError, "Error", QMessageBox::Critical},
      {mtInformation, "Information", QMessageBox::Information},
      {mtConfirmation, "Confirm", QMessageBox::Question},
  };
  for (const KindCase& c : cases) {
    TransMessageBoxW(u"text", c.kind, mbOK, 0);
    ASSERT_TRUE(seen_);
    EXPECT_EQ(seen_->Caption, QString::fromLatin1(c.caption));
    EXPECT_EQ(seen_->Icon, c.icon);
    EXPECT_FALSE(seen_->StandardDialog);
  }
}

TEST_F(MessageBoxTest, CustomKindFallsBackToTheStandardDialog) {
  QGuiApplication::setApplicationDisplayName("Korvex V1.01");
  TransMessageBoxW(u"text", mtCustom, mbOK, 7);
  ASSERT_TRUE(seen_);
  EXPECT_TRUE(seen_->StandardDialog);
  EXPECT_EQ(seen_->Icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen_->Caption, "Korvex V1.01");
  EXPECT_EQ(seen_->HelpContext, 7);
}

TEST_F(MessageBoxTest, OkCancelErrorBoxHasTheTranslatedCaption) {
  auto list = std::make_unique<TTransWordList>();
  list->LoadFromLines({"R=Error", "L=Fehler", "R=Port Not supported yet!", "L=Nicht unterst\xC3\xBCtzt!"});
  SetCurrentWordList(std::move(list));
  answer_ = idCancel;
  EXPECT_EQ(TransMessageBox("(__Port Not supported yet!__)", mtError, mbOK | mbCancel, 0), idCancel);
  ASSERT_TRUE(seen_);
  EXPECT_EQ(seen_->Caption, "Fehler");
  EXPECT_EQ(seen_->Text, QString::fromUtf8("Nicht unterst\xC3\xBCtzt!"));
  EXPECT_EQ(seen_->Icon, QMessageBox::Critical);
  EXPECT_EQ(seen_->Buttons, mbOK | mbCancel);
  EXPECT_FALSE(seen_->StandardDialog);
}

TEST_F(MessageBoxTest, HandlerMayReplaceItselfWhileAnswering) {
  SetMessageBoxHandler([this](const TMsgBoxRequest&) {
    SetMessageBoxHandler([](const TMsgBoxRequest&) { return idNo; });
    ++calls_;
    return idYes;
  });
  EXPECT_EQ(TransMessageBoxW(u"a", mtWarning, mbYes | mbNo, 0), idYes);
  EXPECT_EQ(TransMessageBoxW(u"b", mtWarning, mbYes | mbNo, 0), idNo);
  EXPECT_EQ(calls_, 1);
}

// The real box: once its modal loop runs, a timer presses the button with the given
// text, or sends Escape, or closes the window.
class ShownBoxTest : public MessageBoxTest {
protected:
  int pressAndShow(TMsgButtons buttons, const QString& action) {
    QTimer::singleShot(0, [action] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      if (action == "<close>") {
        box->close();
        return;
      }
      if (action == "<escape>") {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &escape);
        return;
      }
      for (QAbstractButton* button : box->buttons())
        if (button->text().remove('&') == action) return button->click();
      box->done(0);
    });
    TMsgBoxRequest request;
    request.Caption = "Confirm";
    request.Text = "Abort Transmission?";
    request.Icon = QMessageBox::Question;
    request.Buttons = buttons;
    return ShowMessageBox(request);
  }
};

TEST_F(ShownBoxTest, PressedButtonGivesItsCode) {
  EXPECT_EQ(pressAndShow(mbYes | mbNo, "Yes"), idYes);
  EXPECT_EQ(pressAndShow(mbYes | mbNo, "No"), idNo);
  EXPECT_EQ(pressAndShow(mbOK | mbCancel, "Cancel"), idCancel);
  EXPECT_EQ(pressAndShow(mbRetry | mbCancel, "Retry"), idRetry);
  EXPECT_EQ(pressAndShow(mbAbort | mbRetry | mbIgnore, "Ignore"), idIgnore);
  EXPECT_EQ(pressAndShow(mbAll | mbYesToAll | mbNoToAll, "All"), idAll);
  EXPECT_EQ(pressAndShow(mbAll | mbYesToAll | mbNoToAll, "No to All"), idNoToAll);
  EXPECT_EQ(pressAndShow(mbYes | mbNo | mbCancel | mbHelp, "Help"), idHelp);
  // An empty set still gets a button to close the box with.
  EXPECT_EQ(pressAndShow(0, "OK"), idOK);
}

TEST_F(ShownBoxTest, ButtonsTakeTheLanguageFilesWords) {
  auto list = std::make_unique<TTransWordList>();
  list->LoadFromLines({"R=Yes", "L=Ja", "R=No", "L=Nein", "R=All", "L=Alle"});
  SetCurrentWordList(std::move(list));
  EXPECT_EQ(pressAndShow(mbYes | mbNo, "Ja"), idYes);
  EXPECT_EQ(pressAndShow(mbYes | mbNo, "Nein"), idNo);
  EXPECT_EQ(pressAndShow(mbAll | mbCancel, "Alle"), idAll);
  EXPECT_EQ(pressAndShow(mbOK | mbCancel, "Cancel"), idCancel);  // a word the file lacks stays Qt's
}

TEST_F(ShownBoxTest, EscapeOrClosingAnswersNoOrCancel) {
  EXPECT_EQ(pressAndShow(mbYes | mbNo, "<escape>"), idNo);
  EXPECT_EQ(pressAndShow(mbYes | mbNo, "<close>"), idNo);
  EXPECT_EQ(pressAndShow(mbYes | mbNo | mbCancel, "<close>"), idCancel);
}

TEST_F(ShownBoxTest, RestoredDefaultHandlerShowsTheBox) {
  SetMessageBoxHandler(nullptr);
  QTimer::singleShot(0, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
      box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(TransMessageBoxW(u"done", mtInformation, mbOK, 0), idOK);
  EXPECT_EQ(calls_, 0);
}

}  // namespace
