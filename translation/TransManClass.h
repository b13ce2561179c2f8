#pragma once
// The translation manager. It exports the texts of a form's components to a source file
// for a translator, applies a language file to a form, loads the file's message pairs
// into the current word list, marks untranslated texts in translator mode, shows or
// hides components by visibility rules and fits toolbar buttons to their captions.
//
// A component is any object below the form in the Qt object tree, without Qt's own
// inner parts ("qt_" names), other windows, and memos (plain or rich text edits, which
// hold data such as the job and the log) with all they hold. Its Name is the object name
// and its Tag the dynamic property "Tag" (-1 keeps it out of translation). Its texts are
// read and written by name: "Caption" is a button's or label's text, a group box's or
// menu's title, a window's title or a tab page's tab text; "Hint" a widget's tool tip;
// "Text" the text of a line edit or editable combo; "Items" the items of a combo or
// list widget. Any other name, and any of these on other objects, is the object's own
// property of that name: that is how the widget kit's tool-text objects (the object
// property "ToolText" or "TextData" of a component) carry "Caption", "Hint" and the rest.

#include "IniFile.h"
#include "geometry/ReleaseObjClass.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QObject;
class QWidget;

// The codes after "Name" in the keys of a component's entries.
namespace TransKey {
inline constexpr char ToolCaption[] = ".TC";
inline constexpr char ToolName[] = ".TN";
inline constexpr char ToolCmdDesc[] = ".TD";
inline constexpr char ToolFullHint[] = ".TF";
inline constexpr char ToolHint[] = ".TH";
inline constexpr char ItemText[] = ".IT";
inline constexpr char Caption[] = ".VC";
inline constexpr char Hint[] = ".VH";
inline constexpr char Text[] = ".VT";
inline constexpr char Items[] = ".VI";
inline constexpr char ClassName[] = "._CN";
inline constexpr char Width[] = "._W";
inline constexpr char Height[] = "._H";
inline constexpr char AutoSize[] = "._AS";
inline constexpr char FontSize[] = "._FS";
inline constexpr char Visibility[] = ".vis";
}  // namespace TransKey

class TTransMan : public TRefObj {
public:
  std::string LanguageFile = "e:\\test.smLng";
  std::unique_ptr<TIniFile> LanguageIni;
  std::unique_ptr<TIniFile> VisibilityIni;
  bool DoExport = false;
  bool DoTranslate = false;
  bool TranslatorMode = false;  // marks untranslated texts and adds the "Lng" button
  std::string VisibilityLevel = "L";
  std::string SourceFile = "e:\\test.SrcLng";
  // Qt's icons derive their disabled and active images from the normal one by
  // themselves, so there is nothing left for this to do on this platform.
  bool DoFixIcons = true;
  bool KeepSection = false;  // an export adds to the form's section instead of replacing it
  // Where a language file that cannot be used is reported, one line each; standard error
  // while nobody has set it (the window points it at its activity log).
  std::function<void(const std::string& Line)> Log;

  // What a form calls when it is created. With the fields at their defaults it
  // changes nothing.
  void TranslateForm(QWidget* Form);
  // Writes the texts of the form and its components to the section (the form's name,
  // else "main") of the file (SourceFile). False when the file could not be read or
  // written; a file that exists but cannot be read is left untouched.
  bool ExportForm(QWidget* Form, const std::optional<std::string>& Section = std::nullopt,
                  const std::optional<std::string>& File = std::nullopt);
  void ExportComponent(QObject* Component, std::string Section, TIniFile& Ini);
  // Applies the language file to the component and the components below it, in the
  // section (the component's name) and, with Mark, marks texts without a translation.
  void TranslateTree(QObject* Component, const std::optional<std::string>& Section, bool Mark);
  void TranslateComponent(QObject* Component, const std::string& Section, bool Mark);
  // The component's hint from the tool text's short and full hints, "short|full".
  static void CombineHint(QObject* Component, QObject* ToolText);
  void ApplyVisibility(QObject* Component, const std::string& Section);

  // A value as stored in the files: escaped text in UTF-8, and back.
  static std::string EncodeValue(const std::u16string& Text);
  static std::u16string DecodeValue(const std::string& Value);
  // Tab "\t", line breaks (CR LF, LF or CR) "\n", backslash "\\", other controls "\NN".
  static std::u16string EscapeText(const std::u16string& Text);

  // The "Lng" button: reloads the language file and translates the button's form.
  void LngButtonClick(QObject* Sender);
  void ReloadLanguage();
  // Replaces the language file. A missing file gives none, or with Create a new empty
  // one written at once. False when no file is loaded afterwards; a file that exists but
  // cannot be read, or is not 8-bit text (UTF-16, say), is reported through Log.
  bool LoadLanguageFile(std::string Path, bool Create);
  // Builds the current word list from message pair lines, or without them from the
  // loaded file's "Messages" section; a list without entries leaves the current one.
  void LoadMessages(const std::vector<std::string>* Lines = nullptr);
  // Sizes the panel's tool-text buttons to their captions and lines its free-standing
  // controls up from left to right.
  static void FitToolbarPanel(QWidget* Panel);

protected:
  ~TTransMan() override;

private:
  static bool ExportStrProp(QObject* Obj, const char* Prop, const std::string& Key, const std::string& Section,
                            TIniFile& Ini);
  static void ExportOrdProp(QObject* Obj, const char* Prop, const std::string& Key, const std::string& Section,
                            TIniFile& Ini);
  void ApplyStrProp(QObject* Obj, const char* Prop, const std::string& Key, const std::string& Section, bool Mark);
};

// The process-wide manager, created at program start; null while there is none.
TTransMan* TransMan();
// Creates the process-wide manager; releasing it ends it.
TReleasePtr<TTransMan> CreateTransMan();
