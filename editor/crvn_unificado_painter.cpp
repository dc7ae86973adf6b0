// The texture painter of the Skin Editor tab. The pixel work is editor/TexturePainter's; these
// handlers read the controls and forward.
#include <QComboBox>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTabBar>

#include "controls/ColorPickerButton.h"
#include "controls/LabelScrollBar.h"
#include "editor/TexturePainter.h"
#include "editor/crvn_unificado.h"
#include "platform/ScopeGuard.h"
#include "platform/qt/BitmapImage.h"
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
  const TBitmap img = EditorImage(*t->Bitmap, t->WireBitmap.get(), ui->tbSeeWire->value(), ZoomFactor());
  const QPixmap pixmap = QPixmap::fromImage(BitmapToQImage(img));
  ui->texture_preview_image->setPixmap(pixmap);
  ui->texture_preview_image->resize(pixmap.size());
  ui->texture_preview_contents->resize(pixmap.size());
  QScrollArea* box = ui->texture_preview_scrollbox;
  box->setHorizontalScrollBarPolicy(pixmap.width() > 256 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  box->setVerticalScrollBarPolicy(pixmap.height() > 256 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void Tmain_unificada::texture_preview_imageMouseDown(QObject*, Qt::MouseButton Button, Qt::KeyboardModifiers, int X,
                                                     int Y) {
  TObjetoTextura* t = SelectedTexture();
  if (Button != Qt::LeftButton || !TextureEditable || !t || !::TextureEditable(*t) || Painting) return;
  const int x = FloorDiv(X, ZoomFactor()), y = FloorDiv(Y, ZoomFactor());
  if (ui->tools->currentIndex() == ptPicker) {
    TColor c;
    if (PickColor(*t->Bitmap, x, y, c)) SetPaintColor(c);
    return;
  }
  if (!StrokeMask) StrokeMask = std::make_unique<TBitmap>();
  if (!BeginStroke(*t, *StrokeMask)) return;
  StrokeTexture = t;
  Painting = true;
  texture_preview_imageMouseMove(ui->texture_preview_image, Qt::LeftButton, Qt::NoModifier, X, Y);
}

void Tmain_unificada::texture_preview_imageMouseMove(QObject*, Qt::MouseButtons, Qt::KeyboardModifiers, int X, int Y) {
  if (!Painting || !TextureEditable || ApplyingStroke) return;
  TObjetoTextura* t = SelectedTexture();
  if (!t || t != StrokeTexture) {
    // The selection moved to another texture (or none) under the stroke: it ends here.
    Painting = false;
    StrokeTexture = nullptr;
    return;
  }
  // The dab and the view, once at a time.
  ApplyingStroke = true;
  TScopeGuard done([this] { ApplyingStroke = false; });
  const TBrush brush{PaintColor(), ui->brush_intensity->Value(), ui->brush_size->Value(), ui->tools->currentIndex()};
  if (!StrokeDab(*t, *StrokeMask, FloorDiv(X, ZoomFactor()), FloorDiv(Y, ZoomFactor()), brush)) {
    // The texture was replaced under the stroke (read again from its file): nothing to paint.
    Painting = false;
    StrokeTexture = nullptr;
    return;
  }
  RefreshEditorImage();
}

void Tmain_unificada::texture_preview_imageMouseUp(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                                                   int X, int Y) {
  if (Button != Qt::LeftButton || !Painting || !TextureEditable) return;
  texture_preview_imageMouseMove(Sender, Qt::LeftButton, Shift, X, Y);
  if (!Painting) return;
  Painting = false;
  TObjetoTextura* t = SelectedTexture();
  StrokeTexture = nullptr;
  if (!t) return;
  t->Modified = true;
  SkinTree.MarkTexturesChanged();
  BuildPalettes();
  Draw3D();
}

void Tmain_unificada::btn_UndoEditedTextureClick(QObject*) {
  TObjetoTextura* t = SelectedTexture();
  if (!t || Painting || !UndoTexture(*t)) return;
  SkinTree.MarkTexturesChanged();
  BuildPalettes();
  RefreshEditorImage();
  Draw3D();
}

void Tmain_unificada::btn_SaveEditedTextureClick(QObject*) {
  if (TObjetoTextura* t = SelectedTexture(); t && !Painting) SaveTexture(*t);
}

void Tmain_unificada::btn_RevertEditedTextureClick(QObject*) {
  TSkinNode* node = SelectedNode();
  TObjetoTextura* t = SelectedTexture();
  if (!t || !node || Painting || !FState.CurrentModel()) return;
  const TModeloPart* part = PartOfSection(node->Parent(), *FState.CurrentModel());
  if (!part) return;
  RevertTexture(*t, node->Parent()->Text, *part, ShowBox());
  SkinTree.MarkTexturesChanged();
  // The file may have been reverted to another bit depth: the tools follow.
  ArbolTexturasChange(ui->ArbolTexturas);
  BuildPalettes();
  Draw3D();
}

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
