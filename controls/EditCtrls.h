#pragma once
// The file-name edit: TCustomComboEdit (an edit with a button inside its right edge),
// TFileDirEdit (dialog events, dropped files) and TFilenameEdit (an open or save dialog fills
// the edit). The rules themselves (quoting, validity, the ellipsis glyph) live in FileUtil and
// CtrlUtils, apart from the widgets.
#include <QKeySequence>
#include <QLineEdit>
#include <QPixmap>
#include <functional>
#include <string>
#include <vector>

#include "controls/SpeedCtrls.h"
#include "platform/Exceptions.h"

CORVANE_EXCEPTION(EComboEditError, Exception)

class TCustomComboEdit;

// The combo edit's button: draws a separator at its left edge, and gives the edit the focus
// before it acts.
class TEditButton : public TToolSpeedButton {
  Q_OBJECT

 public:
  explicit TEditButton(TCustomComboEdit* edit, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  TCustomComboEdit* FEdit;
};

enum TGlyphKind { gkCustom, gkDefault, gkDropDown, gkEllipsis };

class TCustomComboEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TCustomComboEdit(QWidget* parent = nullptr);

  int ButtonWidth() const { return FButtonWidth; }
  void SetButtonWidth(int width);
  // The glyph drawn when GlyphKind is gkCustom.
  QPixmap Glyph() const { return FGlyph; }
  void SetGlyph(const QPixmap& glyph);
  TGlyphKind GlyphKind() const { return FGlyphKind; }
  void SetGlyphKind(TGlyphKind kind);
  int NumGlyphs() const;
  void SetNumGlyphs(int n);
  std::string ButtonHint() const;
  void SetButtonHint(const std::string& hint);
  // Off: the text cannot be typed, only chosen with the button.
  bool DirectInput() const { return FDirectInput; }
  void SetDirectInput(bool on);
  // On: neither typing nor the button changes the text.
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool on);
  // The key that clicks the button from the edit.
  QKeySequence ClickKey = QKeySequence(Qt::AltModifier | Qt::Key_Down);
  std::function<void(QObject* Sender)> OnButtonClick;

  TEditButton* Button() const { return FButton; }
  // What a click on the button does: nothing while read-only, else ButtonClick.
  void DoClick();

 protected:
  virtual void ButtonClick();
  // The glyph of gkDefault.
  virtual QPixmap DefaultGlyph() const;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateGlyph();
  void UpdateControls();
  QWidget* FBtnControl;
  TEditButton* FButton;
  QPixmap FGlyph;
  int FButtonWidth = 21;
  TGlyphKind FGlyphKind = gkCustom;
  bool FDirectInput = true;
  bool FReadOnly = false;
};

// What the dialog events get: the name (changeable) and whether to go on (changeable).
using TExecOpenDialogEvent = std::function<void(QObject* Sender, std::string& Name, bool& Action)>;

class TFileDirEdit : public TCustomComboEdit {
  Q_OBJECT

 public:
  explicit TFileDirEdit(QWidget* parent = nullptr);

  // On: files dropped from the desktop are taken.
  bool AcceptFiles() const { return FAcceptFiles; }
  void SetAcceptFiles(bool on);
  // After a drop, with every dropped file's name.
  std::function<void(QObject* Sender, const std::vector<std::string>& FileNames)> OnDropFiles;
  TExecOpenDialogEvent OnBeforeDialog;
  TExecOpenDialogEvent OnAfterDialog;

 protected:
  // The first dropped name, before OnDropFiles.
  virtual void ReceptFileDir(const std::string& name) = 0;
  QPixmap DefaultGlyph() const override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Answers a drag that carries files; false for any other drag.
  bool FileDrag(QDragMoveEvent* event) const;
  bool FAcceptFiles = false;
};

enum TFileDialogKind { dkOpen, dkSave, dkOpenPicture, dkSavePicture };

// Dialog options, as a set of bits.
enum TOpenOption : unsigned {
  ofHideReadOnly = 1u << 0,
  ofPathMustExist = 1u << 1,
  ofFileMustExist = 1u << 2,
  ofOverwritePrompt = 1u << 3,
};
using TOpenOptions = unsigned;
enum TFileEditStyle { fsEdit, fsComboBox };

// The edit's dialog: what it shows and what it gave last.
struct TFileEditDialog {
  std::string Title = "Список";
  std::string Filter = "Все файлы (*.*)|*.*";
  int FilterIndex = 1;
  std::string InitialDir;
  std::string DefaultExt;
  std::string FileName;
  TOpenOptions Options = ofHideReadOnly;
  std::vector<std::string> HistoryList;
  TFileEditStyle FileEditStyle = fsEdit;
  // Runs the dialog of this kind through the current prompter; FileName holds the choice.
  bool Execute(TFileDialogKind kind);
};

class TFilenameEdit : public TFileDirEdit {
  Q_OBJECT

 public:
  explicit TFilenameEdit(QWidget* parent = nullptr);

  // Filter, InitialDir, DialogOptions, DialogTitle, DefaultExt, FilterIndex, HistoryList and
  // FileEditStyle of the dialog.
  TFileEditDialog Dialog;
  TFileDialogKind DialogKind() const { return FDialogKind; }
  void SetDialogKind(TFileDialogKind kind) { FDialogKind = kind; }

  // The text as a file name (without its quotes).
  std::string FileName() const;
  // An empty name clears the text; an invalid one raises EComboEditError.
  void SetFileName(const std::string& name);

  // A typed name, given as the dialog's choice is: when Enter is pressed, or when the focus
  // moves to another control with a name other than the one given or chosen last.
  std::function<void(QObject* Sender, const std::string& Name)> OnNameTyped;

 protected:
  void ButtonClick() override;
  void ReceptFileDir(const std::string& name) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void GiveTypedName();
  TFileDialogKind FDialogKind = dkOpen;
  std::string FGivenName;
};
