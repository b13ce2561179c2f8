#include "TransManClass.h"

#include "TransMessageBox.h"
#include "TransUtils.h"
#include "TransWordList.h"

#include "platform/CodePage.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string_view>

namespace {

constexpr int kUntranslatedTag = -1;
constexpr int kToolbarPanelTag = 1234;
constexpr char kDefaultSourceFile[] = "e:\\test.SrcLng";
constexpr char kMessagesSection[] = "Messages";
constexpr char16_t kMarkSign = u'\u03AD';
constexpr int kMaxToolButtonWidth = 250;
// The gap Qt's tool buttons leave between an icon and the text beside it.
constexpr int kIconTextSpacing = 4;

TTransMan*& processManager() {
  static TTransMan* manager = nullptr;
  return manager;
}

int tagOf(const QObject* object) { return object->property("Tag").toInt(); }

std::string nameOf(const QObject* object) { return object->objectName().toStdString(); }

// The tab widget that shows the page as one of its tabs, and the tab's index.
QTabWidget* tabWidgetOf(QWidget* page, int& index) {
  QWidget* stack = page->parentWidget();  // a tab widget keeps its pages in an inner stack
  auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
  index = tabs ? tabs->indexOf(page) : -1;
  return index >= 0 ? tabs : nullptr;
}

// A list's text is its lines with a line break between each two. A break at the very
// end, as files written elsewhere may have, adds no empty line.
QString listText(const QStringList& lines) { return lines.join(QStringLiteral("\r\n")); }

QStringList listLines(const QString& text) {
  QStringList lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    lines.append(text.mid(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.append(text.mid(start));
  return lines;
}

// Sets the items' texts in place, so that icons and data stay with their items.
void setItemTexts(int count, const QStringList& lines, const std::function<void(int, const QString&)>& setText,
                  const std::function<void(int)>& remove, const std::function<void(const QString&)>& add) {
  const int kept = std::min(count, static_cast<int>(lines.size()));
  for (int i = 0; i < kept; ++i) setText(i, lines[i]);
  for (int i = count - 1; i >= kept; --i) remove(i);
  for (int i = kept; i < lines.size(); ++i) add(lines[i]);
}

void setComboItems(QComboBox* combo, const QStringList& lines) {
  // The choice stays the user's, so no change is signalled.
  const QSignalBlocker blocker(combo);
  const int selected = combo->currentIndex();
  setItemTexts(
      combo->count(), lines, [combo](int i, const QString& text) { combo->setItemText(i, text); },
      [combo](int i) { combo->removeItem(i); }, [combo](const QString& text) { combo->addItem(text); });
  combo->setCurrentIndex(selected);  // out of range: nothing selected
}

void setListItems(QListWidget* list, const QStringList& lines) {
  setItemTexts(
      list->count(), lines, [list](int i, const QString& text) { list->item(i)->setText(text); },
      [list](int i) { delete list->takeItem(i); }, [list](const QString& text) { list->addItem(text); });
}

QStringList comboItems(const QComboBox* combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items.append(combo->itemText(i));
  return items;
}

QStringList listItems(const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items.append(list->item(i)->text());
  return items;
}

// One text property of an object, found by its name.
struct TTextProp {
  std::function<QString()> Get;
  std::function<void(const QString&)> Set;
};

// The property a getter and setter of the object's own class give.
template <class T>
TTextProp accessor(T* object, QString (T::*get)() const, void (T::*set)(const QString&)) {
  return {[=] { return (object->*get)(); }, [=](const QString& text) { (object->*set)(text); }};
}

std::optional<TTextProp> widgetTextProp(QWidget* widget, std::string_view prop) {
  if (prop == "Caption") {
    int tab = -1;
    if (QTabWidget* tabs = tabWidgetOf(widget, tab))
      return TTextProp{[=] { return tabs->tabText(tab); }, [=](const QString& text) { tabs->setTabText(tab, text); }};
    if (auto* menu = qobject_cast<QMenu*>(widget)) return accessor(menu, &QMenu::title, &QMenu::setTitle);
    if (widget->isWindow()) return accessor(widget, &QWidget::windowTitle, &QWidget::setWindowTitle);
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
      return accessor(button, &QAbstractButton::text, &QAbstractButton::setText);
    if (auto* label = qobject_cast<QLabel*>(widget)) return accessor(label, &QLabel::text, &QLabel::setText);
    if (auto* box = qobject_cast<QGroupBox*>(widget)) return accessor(box, &QGroupBox::title, &QGroupBox::setTitle);
  } else if (prop == "Hint") {
    return accessor(widget, &QWidget::toolTip, &QWidget::setToolTip);
  } else if (prop == "Text") {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return accessor(edit, &QLineEdit::text, &QLineEdit::setText);
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->isEditable())
      return accessor(combo, &QComboBox::currentText, &QComboBox::setEditText);
  } else if (prop == "Items") {
    if (auto* combo = qobject_cast<QComboBox*>(widget))
      return TTextProp{[=] { return listText(comboItems(combo)); },
                       [=](const QString& text) { setComboItems(combo, listLines(text)); }};
    if (auto* list = qobject_cast<QListWidget*>(widget))
      return TTextProp{[=] { return listText(listItems(list)); },
                       [=](const QString& text) { setListItems(list, listLines(text)); }};
  }
  return std::nullopt;
}

std::optional<TTextProp> textProp(QObject* object, const char* prop) {
  if (auto* widget = qobject_cast<QWidget*>(object)) {
    if (auto found = widgetTextProp(widget, prop)) return found;
  } else if (auto* action = qobject_cast<QAction*>(object); action && std::string_view(prop) == "Caption") {
    return accessor(action, &QAction::text, &QAction::setText);
  }
  const QVariant value = object->property(prop);
  if (!value.isValid() || !value.canConvert<QString>()) return std::nullopt;
  return TTextProp{[=] { return object->property(prop).toString(); },
                   [=](const QString& text) { object->setProperty(prop, text); }};
}

// Qt widgets break lines at a line feed alone.
QString withQtLineBreaks(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

// A widget's size: as laid out once it has been, else the size it asks for.
QSize shownSize(const QWidget* widget) {
  if (widget->testAttribute(Qt::WA_Resized)) return widget->size();
  const QSize hint = widget->sizeHint();
  return hint.isValid() ? hint : widget->size();
}

std::optional<int> ordProp(QObject* object, const char* prop) {
  if (const auto* widget = qobject_cast<QWidget*>(object)) {
    if (std::string_view(prop) == "Width") return shownSize(widget).width();
    if (std::string_view(prop) == "Height") return shownSize(widget).height();
  }
  const QVariant value = object->property(prop);
  if (!value.isValid() || !value.canConvert<int>()) return std::nullopt;
  return value.toInt();
}

// The component's tool-text object, when it is a tool-text component.
QObject* toolTextOf(const QObject* component) {
  const QVariant toolText = component->property("ToolText");
  const QVariant textData = component->property("TextData");
  return toolText.isValid() ? toolText.value<QObject*>() : textData.value<QObject*>();
}

bool isMarked(const QString& text) { return text.size() >= 3 && (text[0] == u'<' || text[1] == u'<'); }

// A memo's text is data (the job, the log), not a form text; setting it would also
// replace the document objects below the memo.
bool isMemo(const QObject* object) {
  return qobject_cast<const QPlainTextEdit*>(object) || qobject_cast<const QTextEdit*>(object);
}

using TComponents = std::vector<QPointer<QObject>>;

// The components below the root in tree order: Qt's inner parts ("qt_" names) are
// passed over but what they hold is not (a tab widget's pages sit in one), and other
// windows (a dialog opened over the form) are forms of their own. Memos are left out
// with all they hold.
void collectComponents(const QObject* parent, TComponents& components) {
  for (QObject* child : parent->children()) {
    if (auto* widget = qobject_cast<QWidget*>(child); widget && widget->isWindow() && !qobject_cast<QMenu*>(widget))
      continue;
    if (isMemo(child)) continue;
    if (!child->objectName().startsWith(QStringLiteral("qt_"))) components.emplace_back(child);
    collectComponents(child, components);
  }
}

// Guarded, because setting a text may delete objects further down the list (a setter of
// the widget kit, a handler of a text change): those read as null and are passed over.
TComponents componentsBelow(const QObject* root) {
  TComponents components;
  collectComponents(root, components);
  return components;
}

struct TPropKey {
  const char* Prop;
  const char* Code;
  bool Exported;
  bool CountsAsWritten;  // gives the component its class and size entries
};

constexpr TPropKey kToolTextKeys[] = {
    {"Caption", TransKey::ToolCaption, true, true}, {"Name", TransKey::ToolName, false, false},
    {"FullCmdDesc", TransKey::ToolCmdDesc, true, false}, {"FullHint", TransKey::ToolFullHint, true, false},
    {"Hint", TransKey::ToolHint, true, false},
};
constexpr TPropKey kItemTextKey = {"ItemText", TransKey::ItemText, true, true};
constexpr TPropKey kComponentKeys[] = {
    {"Caption", TransKey::Caption, true, true},
    {"Hint", TransKey::Hint, true, false},
    {"Text", TransKey::Text, true, false},
    {"Items", TransKey::Items, true, true},
};

bool isExportable(const QObject* component) {
  if (!component || tagOf(component) == kUntranslatedTag || component->objectName().isEmpty()) return false;
  if (qstrcmp(component->metaObject()->className(), "TmmNumEdit") == 0) return false;
  const auto* widget = qobject_cast<const QWidget*>(component);
  return !(widget && widget->testAttribute(Qt::WA_SetCursor) && widget->cursor().shape() == Qt::ForbiddenCursor);
}

bool isClass(const QWidget* widget, const char* className) {
  return qstrcmp(widget->metaObject()->className(), className) == 0;
}

// The width a tool-text button needs for its caption and icon; 0 when it measures none.
int toolButtonWidth(const QAbstractButton* button, const QString& caption) {
  int width = QFontMetrics(button->font()).horizontalAdvance(caption);
  if (width == 0) return 0;
  const int icon = button->icon().isNull() ? 0 : button->iconSize().width();
  const auto* tool = qobject_cast<const QToolButton*>(button);
  if (tool && tool->toolButtonStyle() == Qt::ToolButtonTextUnderIcon) width = std::max(width, icon);
  else if (icon > 0) width += icon + kIconTextSpacing;
  return std::min(width + 16, kMaxToolButtonWidth);
}

}  // namespace

TTransMan::~TTransMan() {
  if (processManager() == this) processManager() = nullptr;
}

TTransMan* TransMan() { return processManager(); }

TReleasePtr<TTransMan> CreateTransMan() {
  TReleasePtr<TTransMan> manager(new TTransMan);
  processManager() = manager.get();
  return manager;
}

void TTransMan::TranslateForm(QWidget* Form) {
  if (!Form) return;
  if (DoExport) ExportForm(Form);
  if (DoTranslate) TranslateTree(Form, nameOf(Form), TranslatorMode);
  if (TranslatorMode) {
    auto* button = new QPushButton(QStringLiteral("Lng"), Form);
    button->setGeometry(0, 0, 42, button->sizeHint().height());
    QObject::connect(button, &QPushButton::clicked, button, [this, button] { LngButtonClick(button); });
    button->show();
  }
}

bool TTransMan::ExportForm(QWidget* Form, const std::optional<std::string>& Section,
                           const std::optional<std::string>& File) {
  if (!Form) return false;
  const std::string path = File && !File->empty() ? *File : !SourceFile.empty() ? SourceFile : kDefaultSourceFile;
  std::string section = Section && !Section->empty() ? *Section : nameOf(Form);
  if (section.empty()) section = "main";

  TIniFile ini(path);
  std::error_code error;
  // Writing back what could not be read would lose the file's other forms.
  if (!ini.LoadFromFile() && std::filesystem::exists(path, error)) return false;
  if (!KeepSection) ini.EraseSection(section);
  ExportComponent(Form, section, ini);
  for (const QPointer<QObject>& component : componentsBelow(Form)) ExportComponent(component, section, ini);
  return ini.UpdateFile();
}

void TTransMan::ExportComponent(QObject* Component, std::string Section, TIniFile& Ini) {
  if (Section.empty()) Section = "default";
  // A component without a name has no key of its own.
  if (!isExportable(Component)) return;
  const std::string name = nameOf(Component);
  bool written = false;
  const auto exportKey = [&](QObject* object, const TPropKey& key) {
    if (key.Exported && ExportStrProp(object, key.Prop, name + key.Code, Section, Ini) && key.CountsAsWritten)
      written = true;
  };
  if (QObject* toolText = toolTextOf(Component)) {
    for (const TPropKey& key : kToolTextKeys) exportKey(toolText, key);
    exportKey(Component, kItemTextKey);
  } else {
    for (const TPropKey& key : kComponentKeys) exportKey(Component, key);
  }
  if (!written) return;
  Ini.WriteString(Section, name + TransKey::ClassName, Component->metaObject()->className());
  ExportOrdProp(Component, "Width", name + TransKey::Width, Section, Ini);
  ExportOrdProp(Component, "Height", name + TransKey::Height, Section, Ini);
  ExportOrdProp(Component, "AutoSize", name + TransKey::AutoSize, Section, Ini);
  if (const auto* widget = qobject_cast<const QWidget*>(Component)) {
    const int points = widget->font().pointSize();
    Ini.WriteInteger(Section, name + TransKey::FontSize, points > 0 ? points : QFontInfo(widget->font()).pointSize());
  }
}

bool TTransMan::ExportStrProp(QObject* Obj, const char* Prop, const std::string& Key, const std::string& Section,
                              TIniFile& Ini) {
  const std::optional<TTextProp> prop = textProp(Obj, Prop);
  if (!prop) return false;
  const QString text = prop->Get();
  if (text.isEmpty() || text == u"-") return false;
  const std::string value = EncodeValue(text.toStdU16String());
  return !value.empty() && Ini.WriteString(Section, Key, value);
}

void TTransMan::ExportOrdProp(QObject* Obj, const char* Prop, const std::string& Key, const std::string& Section,
                              TIniFile& Ini) {
  if (const std::optional<int> value = ordProp(Obj, Prop)) Ini.WriteInteger(Section, Key, *value);
}

void TTransMan::TranslateTree(QObject* Component, const std::optional<std::string>& Section, bool Mark) {
  if (!Component) return;
  const std::string section = Section ? *Section : nameOf(Component);
  TranslateComponent(Component, section, Mark);
  const TComponents components = componentsBelow(Component);
  for (const QPointer<QObject>& component : components) {
    TranslateComponent(component, section, Mark);
    ApplyVisibility(component, section);
  }
  for (const QPointer<QObject>& component : components)
    if (auto* panel = qobject_cast<QWidget*>(component); panel && tagOf(panel) == kToolbarPanelTag)
      FitToolbarPanel(panel);
}

void TTransMan::TranslateComponent(QObject* Component, const std::string& Section, bool Mark) {
  if (!LanguageIni || !Component || Component->objectName().isEmpty() || tagOf(Component) == kUntranslatedTag)
    return;
  const std::string name = nameOf(Component);
  if (QObject* toolText = toolTextOf(Component)) {
    for (const TPropKey& key : kToolTextKeys) ApplyStrProp(toolText, key.Prop, name + key.Code, Section, Mark);
    CombineHint(Component, toolText);
    ApplyStrProp(Component, kItemTextKey.Prop, name + kItemTextKey.Code, Section, Mark);
  } else {
    for (const TPropKey& key : kComponentKeys) ApplyStrProp(Component, key.Prop, name + key.Code, Section, Mark);
  }
}

void TTransMan::ApplyStrProp(QObject* Obj, const char* Prop, const std::string& Key, const std::string& Section,
                             bool Mark) {
  const std::optional<TTextProp> prop = textProp(Obj, Prop);
  if (!prop) return;
  const std::string value = LanguageIni->ReadString(Section, Key);
  if (!value.empty()) {
    prop->Set(withQtLineBreaks(QString::fromStdU16String(DecodeValue(value))));
    return;
  }
  if (!Mark) return;
  const QString current = prop->Get();
  if (current.isEmpty() || current == u"-" || isMarked(current)) return;
  prop->Set(QChar(kMarkSign) + u'<' + current + u'>');
}

void TTransMan::CombineHint(QObject* Component, QObject* ToolText) {
  const std::optional<TTextProp> fullProp = textProp(ToolText, "FullHint");
  const std::optional<TTextProp> shortProp = textProp(ToolText, "Hint");
  const std::optional<TTextProp> hintProp = textProp(Component, "Hint");
  if (!fullProp || !shortProp || !hintProp) return;
  QString full = fullProp->Get();
  QString brief = shortProp->Get();
  if (brief.isEmpty()) std::swap(brief, full);
  if (brief.isEmpty()) return;
  hintProp->Set(full.isEmpty() ? brief : brief + u'|' + full);
}

void TTransMan::ApplyVisibility(QObject* Component, const std::string& Section) {
  if (!Component || !VisibilityIni || VisibilityLevel.empty() || Component->objectName().isEmpty()) return;
  const std::string rule = VisibilityIni->ReadString(Section, nameOf(Component) + TransKey::Visibility);
  if (rule.empty()) return;
  const bool visible = rule.find(VisibilityLevel) != std::string::npos;
  if (auto* widget = qobject_cast<QWidget*>(Component)) {
    int tab = -1;
    if (QTabWidget* tabs = tabWidgetOf(widget, tab)) tabs->setTabVisible(tab, visible);
    else widget->setVisible(visible);
  } else if (auto* action = qobject_cast<QAction*>(Component)) {
    action->setVisible(visible);
  }
}

std::u16string TTransMan::EscapeText(const std::u16string& Text) {
  std::u16string result;
  result.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char16_t c = Text[i];
    if (c == u'\t') {
      result += u"\\t";
    } else if (c == u'\n' || c == u'\r') {
      result += u"\\n";
      const char16_t pair = c == u'\n' ? u'\r' : u'\n';
      if (i + 1 < Text.size() && Text[i + 1] == pair) ++i;
    } else if (c == u'\\') {
      result += u"\\\\";
    } else if (c < 32) {
      result += {u'\\', static_cast<char16_t>(u'0' + c / 10), static_cast<char16_t>(u'0' + c % 10)};
    } else {
      result.push_back(c);
    }
  }
  return result;
}

std::string TTransMan::EncodeValue(const std::u16string& Text) { return WideToUtf8(EscapeText(Text)); }

std::u16string TTransMan::DecodeValue(const std::string& Value) {
  std::u16string wide;
  if (!Utf8ToWide(Value, wide) || wide.empty()) wide = AnsiToWide(Value);
  return UnescapeText(wide);
}

void TTransMan::LngButtonClick(QObject* Sender) {
  ReloadLanguage();
  const auto* button = qobject_cast<QPushButton*>(Sender);
  QWidget* form = button ? button->parentWidget() : nullptr;
  if (!form) return;
  TranslateTree(form, std::nullopt, false);
  form->update();
  TransMessageBoxW(form->objectName().toStdU16String(), mtCustom, mbOK, 0);
}

void TTransMan::ReloadLanguage() {
  std::error_code error;
  if (std::filesystem::exists(LanguageFile, error)) LoadLanguageFile(LanguageFile, false);
}

bool TTransMan::LoadLanguageFile(std::string Path, bool Create) {
  LanguageIni.reset();
  LanguageFile = std::move(Path);
  std::error_code error;
  auto ini = std::make_unique<TIniFile>(LanguageFile);
  if (std::filesystem::exists(LanguageFile, error)) {
    const auto refuse = [this](const std::string& why) {
      const std::string line = "Language\t" + LanguageFile + ": " + why;
      if (Log) Log(line);
      else qWarning("%s", line.c_str());
      return false;
    };
    if (!ini->LoadFromFile()) return refuse("cannot be read; check that it is a file you may read");
    // UTF-16 would read as nothing at all, its letters parted by zero bytes.
    if (ini->Text().find('\0') != std::string::npos)
      return refuse("is not UTF-8 text (UTF-16, perhaps); save it as UTF-8 and load it again");
    LanguageIni = std::move(ini);
    LoadMessages();
    return true;
  }
  if (!Create) return false;
  LanguageIni = std::move(ini);
  return LanguageIni->UpdateFile();
}

void TTransMan::LoadMessages(const std::vector<std::string>* Lines) {
  if (!Lines && !LanguageIni) return;
  auto list = std::make_unique<TTransWordList>();
  list->LoadFromLines(Lines ? *Lines : LanguageIni->SectionLines(kMessagesSection));
  if (list->WordCount() == 0) return;
  SetCurrentWordList(std::move(list));
  if (!Lines) LanguageIni->EraseSection(kMessagesSection);
}

void TTransMan::FitToolbarPanel(QWidget* Panel) {
  if (!Panel) return;
  // Controls a layout places are aligned; the others are placed here.
  const QLayout* layout = Panel->layout();
  std::vector<QWidget*> controls;
  for (QObject* child : Panel->children())
    if (auto* widget = qobject_cast<QWidget*>(child);
        widget && !widget->isWindow() && !(layout && layout->indexOf(widget) >= 0))
      controls.push_back(widget);
  std::stable_sort(controls.begin(), controls.end(),
                   [](const QWidget* a, const QWidget* b) { return a->x() < b->x(); });

  for (QWidget* control : controls) {
    auto* button = qobject_cast<QAbstractButton*>(control);
    QObject* toolText = button ? toolTextOf(button) : nullptr;
    const std::optional<TTextProp> caption = toolText ? textProp(toolText, "Caption") : std::nullopt;
    const QString text = caption ? caption->Get() : QString();
    if (text.isEmpty()) continue;
    if (const int width = toolButtonWidth(button, text)) button->resize(width, button->height());
  }

  int x = 1;
  for (QWidget* control : controls) {
    if (isClass(control, "QWidget")) continue;  // a bare widget only paints
    const bool bevel = isClass(control, "QFrame");
    const bool label = qobject_cast<QLabel*>(control) != nullptr;
    const int before = bevel ? 2 : label ? 8 : 0;
    const int after = bevel ? 2 : (label || qobject_cast<QCheckBox*>(control)) ? 8 : 0;
    x += before;
    control->move(x, control->y());
    x += control->width() + 3 + after;
  }
}
