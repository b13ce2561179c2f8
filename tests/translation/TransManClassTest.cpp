#include "translation/TransManClass.h"
#include "translation/TransMessageBox.h"
#include "translation/TransUtils.h"
#include "translation/TransWordList.h"
#include "transmission/ComSendDlg.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QTabWidget>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include <unistd.h>

namespace {

// A small form: a button with a hint, a two-line label, a combo, an edit, and controls
// that are never exported: one tagged -1, a separator "-", one under the "no" cursor,
// one without a name and a spin box's inner edit.
struct TSmallForm {
  std::unique_ptr<QWidget> Form = std::make_unique<QWidget>();
  QPushButton* dOk = add(new QPushButton("OK"), "dOk");
  QLabel* lbInfo = add(new QLabel("line one\nline two"), "lbInfo");
  QComboBox* cbMode = add(new QComboBox, "cbMode");
  QLineEdit* edName = add(new QLineEdit("Anna"), "edName");
  QLabel* lbSkip = add(new QLabel("keep"), "lbSkip");
  QLabel* lbSep = add(new QLabel("-"), "lbSep");
  QLabel* lbNo = add(new QLabel("busy"), "lbNo");
  QLabel* unnamed = add(new QLabel("anon"), "");
  QSpinBox* rxCount = add(new QSpinBox, "rxCount");

  TSmallForm() {
    Form->setObjectName("SmallForm");
    Form->setWindowTitle("Small");
    dOk->setToolTip("Confirm");
    cbMode->addItems({"Fast", "Slow"});
    cbMode->setCurrentIndex(1);
    cbMode->setItemData(1, 42);
    lbSkip->setProperty("Tag", -1);
    lbNo->setCursor(Qt::ForbiddenCursor);
    rxCount->setValue(3);
  }
  template <class W>
  W* add(W* widget, const char* name) {
    widget->setParent(Form.get());
    widget->setObjectName(name);
    return widget;
  }
  QStringList texts() const {
    return {Form->windowTitle(), dOk->text(),  dOk->toolTip(), lbInfo->text(), cbMode->itemText(0),
            cbMode->itemText(1), edName->text(), lbSkip->text(), lbSep->text(),  lbNo->text()};
  }
};

class TransManTest : public ::testing::Test {
protected:
  void SetUp() override {
    previous_ = SetMessageBoxHandler([this](const TMsgBoxRequest& request) {
      boxTexts_.push_back(request.Text);
      return idOK;
    });
  }
  void TearDown() override {
    SetMessageBoxHandler(previous_);
    SetCurrentWordList(nullptr);
    std::filesystem::remove(file_);
    std::filesystem::remove(file_ + ".src");
  }
  void writeLanguage(const std::string& text) {
    TIniFile ini(file_);
    ini.SetText(text);
    ASSERT_TRUE(ini.UpdateFile());
  }
  void useLanguage(TTransMan& man, const std::string& text) {
    writeLanguage(text);
    ASSERT_TRUE(man.LoadLanguageFile(file_, false));
  }
  static QPushButton* lngButton(const QWidget& form) {
    return form.findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly).last();
  }

  // One file a process: the suite's tests may run side by side.
  const std::string file_ = ::testing::TempDir() + "korvex_transman_" + std::to_string(getpid()) + ".ini";
  TReleasePtr<TTransMan> man_{new TTransMan};
  TMsgBoxHandler previous_;
  QStringList boxTexts_;
};

TEST_F(TransManTest, AnUnreadableLanguageFileIsReportedAndLoadsNothing) {
  std::vector<std::string> lines;
  man_->Log = [&](const std::string& line) { lines.push_back(line); };
  // UTF-16 with its byte-order mark, as some editors save by default.
  const char utf16[] = "\xFF\xFE[\0M\0e\0s\0s\0a\0g\0e\0s\0]\0\n\0R\0=\0N\0o\0\n\0L\0=\0N\0e\0i\0n\0";
  std::ofstream(file_, std::ios::binary) << std::string(utf16, sizeof utf16 - 1);
  EXPECT_FALSE(man_->LoadLanguageFile(file_, false));
  EXPECT_EQ(man_->LanguageIni, nullptr);
  EXPECT_EQ(CurrentWordList(), nullptr);
  // A folder by the file's name exists but cannot be read as one.
  const std::string folder = file_ + ".d";
  std::filesystem::create_directory(folder);
  EXPECT_FALSE(man_->LoadLanguageFile(folder, false));
  std::filesystem::remove(folder);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Language\t" + file_ + ": is not UTF-8 text (UTF-16, perhaps); save it as UTF-8 and load it again",
                       "Language\t" + folder + ": cannot be read; check that it is a file you may read"}));
}

TEST_F(TransManTest, DefaultConfigurationChangesNothing) {
  useLanguage(*man_, "[SmallForm]\ndOk.VC=Weiter\nlbInfo.VC=Text\n");
  man_->SourceFile = file_ + ".src";
  TSmallForm form;
  const QStringList before = form.texts();
  const auto children = form.Form->children().size();
  man_->TranslateForm(form.Form.get());
  EXPECT_EQ(form.texts(), before);
  EXPECT_EQ(form.Form->children().size(), children);  // no "Lng" button
  EXPECT_FALSE(std::filesystem::exists(man_->SourceFile));
}

TEST_F(TransManTest, ExportsAFormAndTranslatesItBackFromAnEditedCopy) {
  man_->DoExport = true;
  man_->SourceFile = file_;
  TSmallForm source;
  man_->TranslateForm(source.Form.get());

  TIniFile ini(file_);
  ASSERT_TRUE(ini.LoadFromFile());
  const std::pair<const char*, const char*> exported[] = {
      {"SmallForm.VC", "Small"},    {"dOk.VC", "OK"},           {"dOk.VH", "Confirm"},
      {"dOk._CN", "QPushButton"},   {"lbInfo.VC", "line one\\nline two"},
      {"cbMode.VI", "Fast\\nSlow"}, {"edName.VT", "Anna"},
      {"lbSkip.VC", ""},            {"lbSep.VC", ""},           {"lbNo.VC", ""},
      {".VC", ""},                  {"qt_spinbox_lineedit.VT", ""},
  };
  for (const auto& [key, value] : exported) EXPECT_EQ(ini.ReadString("SmallForm", key, ""), value) << key;

  const std::pair<const char*, const char*> edited[] = {
      {"dOk.VC", "\xC3\x9C" "bernehmen"}, {"lbInfo.VC", "Zeile eins\\nZeile zwei"},
      {"cbMode.VI", "Schnell\\nLangsam\\n"}, {"lbSkip.VC", "nein"}, {"lbNo.VC", "belegt"}};
  for (const auto& [key, value] : edited) ini.WriteString("SmallForm", key, value);
  ASSERT_TRUE(ini.UpdateFile());
  ASSERT_TRUE(man_->LoadLanguageFile(file_, false));
  man_->DoExport = false;
  man_->DoTranslate = true;
  TSmallForm target;
  man_->TranslateForm(target.Form.get());
  EXPECT_EQ(target.dOk->text(), QString::fromUtf8("\xC3\x9C" "bernehmen"));
  EXPECT_EQ(target.dOk->toolTip(), "Confirm");
  EXPECT_EQ(target.lbInfo->text(), "Zeile eins\nZeile zwei");
  EXPECT_EQ(target.cbMode->count(), 2);
  EXPECT_EQ(target.cbMode->currentText(), "Langsam");
  EXPECT_EQ(target.cbMode->currentData(), 42);  // items keep their data
  EXPECT_EQ(target.lbSkip->text(), "keep");
  EXPECT_EQ(target.lbNo->text(), "belegt");  // not exported, but translated
}

TEST(TransManValues, EscapeAndDecode) {
  const std::pair<std::u16string, std::u16string> escapes[] = {
      {u"a\tb", u"a\\tb"},         {u"1\r\n2\n3\r4\n\r5", u"1\\n2\\n3\\n4\\n5"}, {u"\n\n", u"\\n\\n"},
      {u"c:\\x", u"c:\\\\x"},      {u"\x01\x1f", u"\\01\\31"},                  {u"\u00e9\x7f", u"\u00e9\x7f"},
  };
  for (const auto& [text, escaped] : escapes) {
    EXPECT_EQ(TTransMan::EscapeText(text), escaped);
    EXPECT_EQ(TTransMan::EncodeValue(text), WideToUtf8(escaped));
  }
  EXPECT_EQ(TTransMan::DecodeValue("Zeile\\nzwei"), u"Zeile\r\nzwei");
  EXPECT_EQ(TTransMan::DecodeValue("caf\xE9"), u"caf\u00e9");  // not UTF-8: read as Latin-1
}

TEST_F(TransManTest, TranslatorModeMarksUntranslatedTextsOnce) {
  useLanguage(*man_, "[SmallForm]\nedName.VT=Berta\n");
  man_->DoTranslate = true;
  man_->TranslatorMode = true;
  TSmallForm form;
  man_->TranslateForm(form.Form.get());
  man_->TranslateForm(form.Form.get());
  EXPECT_EQ(form.dOk->text(), QString::fromUtf8("\xCE\xAD<OK>"));
  EXPECT_EQ(form.cbMode->itemText(1), QString::fromUtf8("Slow>"));
  EXPECT_EQ(form.cbMode->count(), 2);
  EXPECT_EQ(form.edName->text(), "Berta");
  EXPECT_EQ(form.lbSep->text(), "-");
  EXPECT_EQ(form.lbSkip->text(), "keep");
  const QPushButton* lng = lngButton(*form.Form);
  EXPECT_EQ(lng->text(), "Lng");
  EXPECT_EQ(lng->geometry().topLeft(), QPoint(0, 0));
  EXPECT_EQ(lng->width(), 42);
}

TEST_F(TransManTest, LngButtonReloadsTheFileTranslatesItsFormAndLoadsTheMessages) {
  man_->TranslatorMode = true;
  TSmallForm form;
  man_->TranslateForm(form.Form.get());
  writeLanguage("[Messages]\nR=Abort Transmission?\nL=Abbrechen?\n[SmallForm]\ndOk.VC=Weiter\n");
  man_->LanguageFile = file_;
  lngButton(*form.Form)->click();
  EXPECT_EQ(form.dOk->text(), "Weiter");
  EXPECT_EQ(form.lbInfo->text(), "line one\nline two");  // the button's pass does not mark
  EXPECT_EQ(boxTexts_, QStringList{"SmallForm"});
  EXPECT_EQ(TranslateMarker("(__Abort Transmission?__)"), u"Abbrechen?");
  EXPECT_TRUE(man_->LanguageIni->SectionLines("Messages").empty());
  TIniFile after(file_);
  after.LoadFromFile();
  EXPECT_EQ(after.Text(), "[Messages]\nR=Abort Transmission?\nL=Abbrechen?\n[SmallForm]\ndOk.VC=Weiter\n");
}

TEST_F(TransManTest, VisibilityRules) {
  auto visibility = std::make_unique<TIniFile>();
  visibility->SetText("[SmallForm]\ndOk.vis=LX\nlbInfo.vis=X\nPage2.vis=X\n");
  man_->VisibilityIni = std::move(visibility);
  TSmallForm form;
  auto* tabs = form.add(new QTabWidget, "tabs");
  tabs->addTab(form.add(new QWidget, "Page1"), "One");
  tabs->addTab(form.add(new QWidget, "Page2"), "Two");
  form.dOk->setVisible(false);
  man_->TranslateTree(form.Form.get(), std::nullopt, false);
  EXPECT_FALSE(form.dOk->isHidden());
  EXPECT_TRUE(form.lbInfo->isHidden());
  EXPECT_FALSE(form.cbMode->isHidden());  // no rule
  EXPECT_TRUE(tabs->isTabVisible(0));
  EXPECT_FALSE(tabs->isTabVisible(1));
}

TEST_F(TransManTest, ToolTextHintsCombine) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"Open", "Open a file", "Open|Open a file"}, {"", "Open a file", "Open a file"},
      {"Open", "", "Open"},                        {"", "", "before"},
  };
  for (const auto& [brief, full, hint] : cases) {
    QObject toolText;
    toolText.setProperty("Hint", brief);
    toolText.setProperty("FullHint", full);
    QPushButton button;
    button.setToolTip("before");
    TTransMan::CombineHint(&button, &toolText);
    EXPECT_EQ(button.toolTip(), hint) << brief << "|" << full;
  }
}

TEST_F(TransManTest, ToolbarButtonsFitTheirCaptionsUpTo250PixelsAndLineUp) {
  QWidget panel;
  QObject shortText, longText;
  auto* small = new QToolButton(&panel);
  auto* wide = new QToolButton(&panel);
  auto* label = new QLabel("x", &panel);
  const QFontMetrics metrics(small->font());
  QString caption = "W";
  while (metrics.horizontalAdvance(caption) < 300) caption += "W";
  shortText.setProperty("Caption", "Go");
  longText.setProperty("Caption", caption);
  small->setProperty("ToolText", QVariant::fromValue(&shortText));
  wide->setProperty("ToolText", QVariant::fromValue(&longText));
  wide->move(10, 0);
  label->move(5, 0);
  label->resize(20, 10);
  TTransMan::FitToolbarPanel(&panel);
  EXPECT_EQ(small->width(), metrics.horizontalAdvance("Go") + 16);
  EXPECT_EQ(wide->width(), 250);
  EXPECT_EQ(small->x(), 1);
  EXPECT_EQ(label->x(), 1 + small->width() + 3 + 8);
  EXPECT_EQ(wide->x(), label->x() + 20 + 3 + 8);
}

// Deletes a component as soon as a dynamic property of the watched object changes, as
// a setter of the widget kit or a handler of a text change may.
class TDeleteOnChange : public QObject {
public:
  explicit TDeleteOnChange(QObject* victim) : Victim(victim) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::DynamicPropertyChange) delete Victim.data();
    return false;
  }
  QPointer<QObject> Victim;
};

TEST_F(TransManTest, MemosAreDataAndATreeThatChangesUnderTheWalkIsSafe) {
  useLanguage(*man_, "[SmallForm]\nmemoJob.VT=Fremd\nmemoLog.VT=Fremd\ndTool.TC=Los\n");
  man_->DoTranslate = true;
  man_->TranslatorMode = true;
  man_->DoExport = true;
  man_->SourceFile = file_ + ".src";
  TSmallForm form;
  auto* job = form.add(new QPlainTextEdit("IN;PU0,0;PD1,1;"), "memoJob");
  auto* log = form.add(new QTextEdit("Log File"), "memoLog");
  QObject toolText;
  toolText.setProperty("Caption", "Go");
  auto* tool = form.add(new QToolButton, "dTool");
  tool->setProperty("ToolText", QVariant::fromValue(&toolText));
  auto* doomed = form.add(new QLabel("doomed"), "lbDoomed");  // after the tool button in the walk
  TDeleteOnChange filter(doomed);
  toolText.installEventFilter(&filter);

  man_->TranslateForm(form.Form.get());
  EXPECT_EQ(job->toPlainText(), "IN;PU0,0;PD1,1;");
  EXPECT_EQ(log->toPlainText(), "Log File");
  EXPECT_EQ(toolText.property("Caption").toString(), "Los");
  EXPECT_TRUE(filter.Victim.isNull());
  TIniFile source(man_->SourceFile);
  ASSERT_TRUE(source.LoadFromFile());
  EXPECT_EQ(source.ReadString("SmallForm", "memoJob.VT"), "");
  EXPECT_EQ(source.ReadString("SmallForm", "memoLog._CN"), "");
  EXPECT_EQ(source.ReadString("SmallForm", "lbDoomed.VC"), "doomed");  // exported before translation
}

TEST_F(TransManTest, SendDialogIsTranslatedWhenCreated) {
  const TReleasePtr<TTransMan> process = CreateTransMan();
  useLanguage(*TransMan(), "[FrmComSend]\ndAbort.VC=Abbrechen\nlabelProgress.VC=nein\n");
  TransMan()->DoTranslate = true;
  TFrmComSend dialog;
  EXPECT_EQ(dialog.dAbort->text(), "Abbrechen");
  EXPECT_EQ(dialog.labelProgress->text(), "20.3 Kb  / 1230.3 Kb sent.");
}

}  // namespace
