#include "controls/EditCtrls.h"

#include <QApplication>
#include <QBitmap>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QUrl>
#include <algorithm>

#include "controls/CtrlUtils.h"
#include "controls/FileUtil.h"
#include "platform/Paths.h"
#include "platform/qt/Prompter.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QPixmap EllipsisPixmap(int buttonWidth) {
  const TEllipsisGlyph g = EllipsisGlyph(buttonWidth);
  QBitmap bits(g.Width, g.Height);
  bits.clear();
  QPainter p(&bits);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::color1);
  for (int x : g.DotX) p.drawRect(x, 1, 2, 2);
  p.end();
  // Black dots, the rest transparent.
  QPixmap out(g.Width, g.Height);
  out.fill(Qt::black);
  out.setMask(bits);
  return out;
}

QPixmap ArrowPixmap(const QWidget* w) {
  QPixmap out(9, 6);
  out.fill(Qt::transparent);
  QPainter p(&out);
  QStyleOption opt;
  opt.initFrom(w);
  opt.rect = out.rect();
  w->style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &opt, &p, w);
  return out;
}

}  // namespace

// ---- TEditButton ----

TEditButton::TEditButton(TCustomComboEdit* edit, QWidget* parent) : TToolSpeedButton(parent), FEdit(edit) {
  setCursor(Qt::ArrowCursor);
}

void TEditButton::paintEvent(QPaintEvent* event) {
  TToolSpeedButton::paintEvent(event);
  if (Down()) return;
  QPainter p(this);
  const QPalette& pal = palette();
  p.setPen(pal.color(Flat() ? QPalette::Button : QPalette::Dark));
  p.drawLine(0, 0, 0, height() - 1);
  p.setPen(pal.color(QPalette::Light));
  p.drawLine(1, 0, 1, height() - 1);
}

void TEditButton::mousePressEvent(QMouseEvent* event) {
  if (FEdit && FEdit->isEnabled() && FEdit->focusPolicy() != Qt::NoFocus && !FEdit->hasFocus()) FEdit->setFocus();
  TToolSpeedButton::mousePressEvent(event);
}

// ---- TCustomComboEdit ----

TCustomComboEdit::TCustomComboEdit(QWidget* parent) : QLineEdit(parent) {
  FBtnControl = new QWidget(this);
  FBtnControl->setObjectName("BtnControl");
  FBtnControl->resize(21, 17);
  FBtnControl->setCursor(Qt::ArrowCursor);
  FButton = new TEditButton(this, FBtnControl);
  FButton->setObjectName("Button");
  connect(FButton, &QAbstractButton::clicked, this, [this] { DoClick(); });
  UpdateControls();
}

void TCustomComboEdit::SetButtonWidth(int width) {
  FButtonWidth = std::max(0, width);
  UpdateGlyph();
  UpdateControls();
}

void TCustomComboEdit::SetGlyph(const QPixmap& glyph) {
  FGlyph = glyph;
  FGlyphKind = gkCustom;
  UpdateGlyph();
}

void TCustomComboEdit::SetGlyphKind(TGlyphKind kind) {
  FGlyphKind = kind;
  UpdateGlyph();
}

int TCustomComboEdit::NumGlyphs() const { return FButton->NumGlyphs(); }
void TCustomComboEdit::SetNumGlyphs(int n) { FButton->SetNumGlyphs(n); }
std::string TCustomComboEdit::ButtonHint() const { return FButton->toolTip().toStdString(); }
void TCustomComboEdit::SetButtonHint(const std::string& hint) { FButton->setToolTip(Q(hint)); }

void TCustomComboEdit::SetDirectInput(bool on) {
  FDirectInput = on;
  QLineEdit::setReadOnly(FReadOnly || !FDirectInput);
}

void TCustomComboEdit::SetReadOnly(bool on) {
  FReadOnly = on;
  QLineEdit::setReadOnly(FReadOnly || !FDirectInput);
}

void TCustomComboEdit::DoClick() {
  if (FReadOnly) return;
  ButtonClick();
}

void TCustomComboEdit::ButtonClick() {
  if (OnButtonClick) OnButtonClick(this);
}

QPixmap TCustomComboEdit::DefaultGlyph() const { return ArrowPixmap(this); }

void TCustomComboEdit::UpdateGlyph() {
  switch (FGlyphKind) {
    case gkCustom: FButton->SetGlyph(FGlyph); break;
    case gkDefault: FButton->SetGlyph(DefaultGlyph()); break;
    case gkDropDown: FButton->SetGlyph(ArrowPixmap(this)); break;
    case gkEllipsis:
      FButton->SetNumGlyphs(1);
      FButton->SetGlyph(EllipsisPixmap(FButtonWidth));
      break;
  }
}

void TCustomComboEdit::UpdateControls() {
  // Inside the frame when there is one, else over the full height; typed text stops short of
  // the button.
  const int w = width(), h = height();
  if (hasFrame())
    FBtnControl->setGeometry(w - FButtonWidth - 2, 2, FButtonWidth, std::max(0, h - 4));
  else
    FBtnControl->setGeometry(w - FButtonWidth, 0, FButtonWidth, h);
  FButton->setGeometry(0, 0, FBtnControl->width(), FBtnControl->height());
  setTextMargins(0, 0, FButtonWidth + 2, 0);
  // Never lower than the text needs.
  const int textHeight = std::min(QFontMetrics(QApplication::font()).height(), fontMetrics().height());
  setMinimumHeight(4 + textHeight + 1);
}

void TCustomComboEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  UpdateControls();
}

void TCustomComboEdit::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) UpdateControls();
}

void TCustomComboEdit::keyPressEvent(QKeyEvent* event) {
  if (!ClickKey.isEmpty() && QKeySequence(event->keyCombination()) == ClickKey) {
    DoClick();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

// ---- TFileDirEdit ----

TFileDirEdit::TFileDirEdit(QWidget* parent) : TCustomComboEdit(parent) { SetGlyphKind(gkDefault); }

QPixmap TFileDirEdit::DefaultGlyph() const { return style()->standardIcon(QStyle::SP_DirOpenIcon).pixmap(12, 12); }

void TFileDirEdit::SetAcceptFiles(bool on) {
  FAcceptFiles = on;
  setAcceptDrops(on);
}

namespace {
std::vector<std::string> DroppedFiles(const QMimeData* data) {
  std::vector<std::string> names;
  if (!data || !data->hasUrls()) return names;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) names.push_back(url.toLocalFile().toStdString());
  return names;
}
}  // namespace

// Files are taken only when the edit accepts them; then they are not pasted as text either.
bool TFileDirEdit::FileDrag(QDragMoveEvent* event) const {
  if (DroppedFiles(event->mimeData()).empty()) return false;
  if (FAcceptFiles)
    event->acceptProposedAction();
  else
    event->ignore();
  return true;
}

void TFileDirEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (!FileDrag(event)) QLineEdit::dragEnterEvent(event);
}

void TFileDirEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (!FileDrag(event)) QLineEdit::dragMoveEvent(event);
}

void TFileDirEdit::dropEvent(QDropEvent* event) {
  const std::vector<std::string> names = DroppedFiles(event->mimeData());
  if (names.empty()) return QLineEdit::dropEvent(event);
  if (!FAcceptFiles) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  ReceptFileDir(names.front());
  if (OnDropFiles) OnDropFiles(this, names);
}

// ---- TFilenameEdit ----

bool TFileEditDialog::Execute(TFileDialogKind kind) {
  TFileDialogOptions o;
  o.Title = Title;
  o.Filter = Filter;
  o.FilterIndex = FilterIndex;
  o.DefaultExt = DefaultExt;
  o.InitialDir = InitialDir;
  o.FileName = FileName;
  if (kind == dkSave || kind == dkSavePicture) {
    std::string name = FileName;
    if (!CurrentPrompter().SaveFileDialog(o, name)) return false;
    FileName = name;
    return true;
  }
  std::vector<std::string> names;
  if (!CurrentPrompter().OpenFileDialog(o, names) || names.empty()) return false;
  FileName = names.front();
  return true;
}

TFilenameEdit::TFilenameEdit(QWidget* parent) : TFileDirEdit(parent) {}

std::string TFilenameEdit::FileName() const { return UnquotedFileName(text().toStdString()); }

void TFilenameEdit::SetFileName(const std::string& name) {
  if (!name.empty() && !ValidFileName(name)) throw EComboEditError("Invalid file name - " + name);
  setText(Q(QuotedFileName(name)));
  setModified(true);
}

void TFilenameEdit::ButtonClick() {
  TCustomComboEdit::ButtonClick();
  std::string name = FileName();
  bool action = true;
  if (OnBeforeDialog) OnBeforeDialog(this, name, action);
  if (!action) return;
  if (ValidFileName(name)) {
    const std::string folder = ExtractFilePath(name);
    if (DirExists(folder)) Dialog.InitialDir = folder;
    const std::string part = ExtractFileName(name);
    Dialog.FileName = ValidFileName(part) ? part : std::string();
  }
  action = Dialog.Execute(FDialogKind);
  if (action) name = Dialog.FileName;
  if (isEnabled() && isVisible()) setFocus();
  if (OnAfterDialog) OnAfterDialog(this, name, action);
  if (action) {
    setText(Q(QuotedFileName(name)));
    Dialog.InitialDir = ExtractFilePath(Dialog.FileName);
    FGivenName = FileName();
  }
}

void TFilenameEdit::GiveTypedName() {
  FGivenName = FileName();
  if (OnNameTyped) OnNameTyped(this, FGivenName);
}

void TFilenameEdit::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier &&
      !FileName().empty() && !isReadOnly()) {
    // Enter takes the name; it must not reach the window's default button as well.
    event->accept();
    GiveTypedName();
    return;
  }
  TFileDirEdit::keyPressEvent(event);
}

void TFilenameEdit::focusOutEvent(QFocusEvent* event) {
  TFileDirEdit::focusOutEvent(event);
  // The focus leaving for another window (a dialog, a menu) comes back: that is no leaving.
  const Qt::FocusReason reason = event->reason();
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
  if (!isReadOnly() && !FileName().empty() && FileName() != FGivenName) GiveTypedName();
}

void TFilenameEdit::ReceptFileDir(const std::string& name) { setText(Q(QuotedFileName(name))); }
