#include "platform/qt/Prompter.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QStringList>

#include "platform/Paths.h"
#include "platform/qt/PicturePreview.h"
#include "platform/qt/QtPrompter.h"

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }
QWidget* Parent() { return QApplication::activeWindow(); }

// "Text|*.a;*.b|All|*.*" -> "Text (*.a *.b);;All (*)". "*.*" means every file, also those
// without an extension.
QString QtFilter(const std::string& filter) {
  QStringList parts = Q(filter).split('|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString desc = parts[i].trimmed();
    QStringList pats = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (QString& p : pats) {
      p = p.trimmed();
      if (p == "*.*") p = "*";
    }
    // Qt reads the patterns from the last "(...)" of a filter; keep the caller's text in front.
    if (desc.endsWith(')')) {
      qsizetype open = desc.lastIndexOf('(');
      if (open > 0) desc = desc.left(open).trimmed();
    }
    out << desc + " (" + pats.join(' ') + ")";
  }
  return out.join(";;");
}

// Sees a box left by Escape or by its window's close button, before the box takes either for
// its No button: a question put away that way has not been answered.
class TDismissWatch : public QObject {
 public:
  explicit TDismissWatch(QMessageBox& box) : FBox(box) { box.installEventFilter(this); }
  bool Dismissed = false;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) Dismissed = true;
    // A box closes after a click too; only a close that no click came before is no answer.
    if (e->type() == QEvent::Close && !FBox.clickedButton()) Dismissed = true;
    return false;
  }

 private:
  QMessageBox& FBox;
};

void Setup(QFileDialog& d, const TFileDialogOptions& o) {
  if (!o.Title.empty()) d.setWindowTitle(Q(o.Title));
  QString f = QtFilter(o.Filter);
  if (!f.isEmpty()) {
    QStringList filters = f.split(";;");
    d.setNameFilters(filters);
    if (o.FilterIndex >= 1 && o.FilterIndex <= filters.size()) d.selectNameFilter(filters[o.FilterIndex - 1]);
  }
  if (!o.DefaultExt.empty()) d.setDefaultSuffix(Q(o.DefaultExt));
  if (!o.InitialDir.empty()) d.setDirectory(Q(ToNativePath(o.InitialDir)));
  if (!o.FileName.empty()) d.selectFile(Q(ToNativePath(o.FileName)));
}

TQtPrompter& QtPrompterInstance() {
  static TQtPrompter p;
  return p;
}
Prompter* gCurrent = nullptr;
std::string gTitle = "Corvane";

}  // namespace

int TQtPrompter::MessageBox(const std::string& caption, const std::string& text, TMsgButtons buttons, TMsgIcon icon) {
  QMessageBox box(Parent());
  box.setWindowTitle(Q(caption));
  box.setText(Q(text));
  switch (icon) {
    case TMsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case TMsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case TMsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case TMsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case TMsgIcon::Stop: box.setIcon(QMessageBox::Critical); break;
  }
  switch (buttons) {
    case TMsgButtons::OK: box.setStandardButtons(QMessageBox::Ok); break;
    case TMsgButtons::OKCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case TMsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case TMsgButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  TDismissWatch watch(box);
  box.exec();
  // Closed without a button: an OK-only box counts as OK, any other as no answer.
  if (watch.Dismissed) return buttons == TMsgButtons::OK ? mrOk : mrCancel;
  auto* clicked = box.clickedButton();
  switch (box.standardButton(clicked)) {
    case QMessageBox::Ok: return mrOk;
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Cancel: return mrCancel;
    default: break;
  }
  return buttons == TMsgButtons::OK ? mrOk : mrCancel;
}

bool TQtPrompter::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  bool ok = false;
  QString r = QInputDialog::getText(Parent(), Q(caption), Q(prompt), QLineEdit::Normal, Q(value), &ok);
  if (ok) value = S(r);
  return ok;
}

bool TQtPrompter::OpenFileDialog(const TFileDialogOptions& options, std::vector<std::string>& fileNames) {
  QFileDialog d(Parent());
  d.setAcceptMode(QFileDialog::AcceptOpen);
  d.setFileMode(options.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  Setup(d, options);
  if (options.Preview && PicturePreviewFactory()) {
    // Only Qt's own dialog can take a pane; it goes right of the file list, and dies with the
    // dialog, which frees the picture it shows.
    d.setOption(QFileDialog::DontUseNativeDialog);
    if (auto* grid = qobject_cast<QGridLayout*>(d.layout())) {
      TPicturePreviewPane* pane = PicturePreviewFactory()(&d);
      pane->setObjectName("PicturePreview");
      grid->addWidget(pane, 0, grid->columnCount(), grid->rowCount(), 1);
      QObject::connect(&d, &QFileDialog::currentChanged, pane, [pane](const QString& f) { pane->ShowFile(f); });
    }
  }
  if (d.exec() != QDialog::Accepted) return false;
  fileNames.clear();
  for (const QString& f : d.selectedFiles()) fileNames.push_back(S(f));
  return !fileNames.empty();
}

bool TQtPrompter::SaveFileDialog(const TFileDialogOptions& options, std::string& fileName) {
  QFileDialog d(Parent());
  d.setAcceptMode(QFileDialog::AcceptSave);
  d.setFileMode(QFileDialog::AnyFile);
  Setup(d, options);
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return false;
  fileName = S(d.selectedFiles().front());
  return true;
}

bool TQtPrompter::ColorDialog(uint32_t& color) {
  QColor start(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
               static_cast<int>((color >> 16) & 0xFF));
  QColor c = QColorDialog::getColor(start, Parent());
  if (!c.isValid()) return false;
  color = static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
          (static_cast<uint32_t>(c.blue()) << 16);
  return true;
}

Prompter& CurrentPrompter() { return gCurrent ? *gCurrent : QtPrompterInstance(); }

Prompter* SetCurrentPrompter(Prompter* p) {
  Prompter* previous = gCurrent;
  gCurrent = p;
  return previous;
}

const std::string& ApplicationTitle() { return gTitle; }
void SetApplicationTitle(const std::string& title) { gTitle = title; }

int MessageBox(const std::string& caption, const std::string& text, TMsgButtons buttons, TMsgIcon icon) {
  return CurrentPrompter().MessageBox(caption, text, buttons, icon);
}

void ShowMessage(const std::string& text) {
  CurrentPrompter().MessageBox(ApplicationTitle(), text, TMsgButtons::OK, TMsgIcon::None);
}

std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultValue) {
  std::string v = defaultValue;
  return CurrentPrompter().InputQuery(caption, prompt, v) ? v : defaultValue;
}

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  return CurrentPrompter().InputQuery(caption, prompt, value);
}

namespace {
TPicturePreviewFactory& PreviewFactorySlot() {
  static TPicturePreviewFactory f;
  return f;
}
}  // namespace

void SetPicturePreviewFactory(TPicturePreviewFactory factory) { PreviewFactorySlot() = std::move(factory); }
const TPicturePreviewFactory& PicturePreviewFactory() { return PreviewFactorySlot(); }
