// The texture painter of the Skin Editor tab. The pixel work is editor/TexturePainter's; these
// handlers read the controls and forward.
#include <QComboBox>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>
#include <QTimer>

#include "controls/ColorPickerButton.h"
#include "controls/LabelScrollBar.h"
#include "editor/TexturePainter.h"
#include "editor/crvn_unificado.h"
#include "platform/Paths.h"
#include "platform/ScopeGuard.h"
#include "platform/qt/Guarded.h"
#include "platform/qt/Prompter.h"
#include "ui_crvn_unificado.h"

namespace {

// View position to texture pixel; a position left of or above the image stays outside it.
int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

int Tmain_unificada::ZoomFactor() const {
  const QString z = ui->zoom->currentText();
  return z == "4X" ? 4 : z == "2X" ? 2 : 1;
}

void Tmain_unificada::RefreshEditorImage() {
  const TObjetoTextura* t = SelectedTexture();
  if (!t || !t->Bitmap) return;
  EditorView.Build(*t->Bitmap, t->WireBitmap.get(), ui->tbSeeWire->value(), ZoomFactor());
  const QSize size(EditorView.Image().Width(), EditorView.Image().Height());
  ui->texture_preview_image->resize(size);
  ui->texture_preview_contents->resize(size);
  ui->texture_preview_image->update();
  QScrollArea* box = ui->texture_preview_scrollbox;
  box->setHorizontalScrollBarPolicy(size.width() > 256 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  box->setVerticalScrollBarPolicy(size.height() > 256 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void Tmain_unificada::ShowEditorImage(const std::vector<TPixelRect>& areas) {
  const TObjetoTextura* t = SelectedTexture();
  if (!t || !t->Bitmap) return;
  const QSize before(EditorView.Image().Width(), EditorView.Image().Height());
  for (const TPixelRect& area : areas) {
    const TPixelRect r = EditorView.Update(*t->Bitmap, area);
    if (QSize(EditorView.Image().Width(), EditorView.Image().Height()) != before) {
      RefreshEditorImage();
      return;
    }
    // Only the part that changed is drawn again: on a large texture that is what keeps up with
    // the mouse.
    ui->texture_preview_image->update(QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top));
  }
}

void Tmain_unificada::ClearEditorImage() {
  EditorView.Clear();
  ui->texture_preview_image->update();
}

void Tmain_unificada::PaintEditorImage(QPaintEvent* event) {
  const TBitmap& img = EditorView.Image();
  if (img.Empty()) return;
  // The view's own rows, drawn where the widget needs them: no copy of the whole picture.
  const QImage view(img.ScanLine(0), img.Width(), img.Height(), static_cast<qsizetype>(img.RowBytes()),
                    QImage::Format_BGR888);
  QPainter painter(ui->texture_preview_image);
  for (const QRect& r : event->region()) painter.drawImage(r.topLeft(), view, r);
}

void Tmain_unificada::texture_preview_imageMouseDown(QObject*, Qt::MouseButton Button, Qt::KeyboardModifiers, int X,
                                                     int Y) {
  TObjetoTextura* t = SelectedTexture();
  if (Button != Qt::LeftButton) return;
  // A press while a stroke runs: its release never came (another window took it).
  if (FDocument.Painting()) EndPaintStroke();
  if (!TextureEditable || !t) return;
  if (ui->tools->currentIndex() == ptPicker) {
    TColor c;
    if (PickColor(*t->Bitmap, FloorDiv(X, ZoomFactor()), FloorDiv(Y, ZoomFactor()), c)) SetPaintColor(c);
    return;
  }
  if (FDocument.BeginStroke(SelectedNode()))
    texture_preview_imageMouseMove(ui->texture_preview_image, Qt::LeftButton, Qt::NoModifier, X, Y);
}

void Tmain_unificada::texture_preview_imageMouseMove(QObject*, Qt::MouseButtons Buttons, Qt::KeyboardModifiers, int X,
                                                     int Y) {
  if (!FDocument.Painting()) return;
  // A move without the button held: the release went elsewhere, and the stroke is over.
  if (!(Buttons & Qt::LeftButton) || !TextureEditable || !FDocument.PaintingOn(SelectedNode())) {
    EndPaintStroke();
    return;
  }
  const TBrush brush{PaintColor(), ui->brush_intensity->Value(), ui->brush_size->Value(), ui->tools->currentIndex()};
  std::vector<TPixelRect> changed;
  if (FDocument.StrokeDab(SelectedNode(), FloorDiv(X, ZoomFactor()), FloorDiv(Y, ZoomFactor()), brush, changed))
    ShowEditorImage(changed);
  else
    EndPaintStroke();
}

void Tmain_unificada::texture_preview_imageMouseUp(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                                                   int X, int Y) {
  if (Button != Qt::LeftButton || !FDocument.Painting()) return;
  texture_preview_imageMouseMove(Sender, Qt::LeftButton, Shift, X, Y);
  EndPaintStroke();
}

void Tmain_unificada::EndPaintStroke() {
  // Palettes built at once are told by the document, and the preview shows the stroke then.
  if (FDocument.EndStroke().Done) WatchPalettes();
}

void Tmain_unificada::WatchPalettes() {
  // A large texture's palettes come later; the document tells them when they are taken.
  if (!FDocument.PalettesPending()) return;
  if (!PaletteTimer) {
    PaletteTimer = new QTimer(this);
    PaletteTimer->setInterval(20);
    connect(PaletteTimer, &QTimer::timeout, this, GuardedSlot([this] { PaletteTimerTimer(); }));
  }
  if (!PaletteTimer->isActive()) PaletteTimer->start();
}

void Tmain_unificada::PaletteTimerTimer() {
  // The document keeps them while a command runs (this timer also runs in its boxes' event
  // loops); a command may have taken them meanwhile, or what no longer held be built again.
  FDocument.TakePalettes();
  if (!FDocument.PalettesPending()) PaletteTimer->stop();
}

void Tmain_unificada::btn_UndoEditedTextureClick(QObject*) { FDocument.UndoStroke(SelectedNode()); }

bool Tmain_unificada::AskTextureBitmapName(const std::string& proposed, std::string& chosen) {
  TFileDialogOptions options;
  options.Title = "Save Texture As";
  options.Filter = "Bitmaps (*.bmp)|*.bmp";
  options.DefaultExt = "bmp";
  options.InitialDir = ExtractFilePath(proposed);
  options.FileName = proposed;
  return CurrentPrompter().SaveFileDialog(options, chosen);
}

void Tmain_unificada::btn_SaveEditedTextureClick(QObject*) {
  const TCommandResult r = FDocument.SaveTexture(SelectedNode(), AskBitmapName());
  if (r.Changes & dcModified) StatusBarText->setText(QString::fromStdString(r.Node->Texture->Filename));
}

void Tmain_unificada::btn_RevertEditedTextureClick(QObject*) { FDocument.RevertTexture(SelectedNode()); }

void Tmain_unificada::tbSeeWireChange(QObject*) { RefreshEditorImage(); }

void Tmain_unificada::zoomChange(QObject*) {
  RefreshEditorImage();
  ui->texture_preview_scrollbox->horizontalScrollBar()->setValue(0);
  ui->texture_preview_scrollbox->verticalScrollBar()->setValue(0);
}

void Tmain_unificada::ColorPickerButton1Click(QObject*) {
  uint32_t color = PaintColor();
  if (CurrentPrompter().ColorDialog(color)) SetPaintColor(color);
}
