#include "scene/widgets/Info.h"

#include <QKeyEvent>

#include "platform/ScopeGuard.h"
#include "scene/GLInfo.h"
#include "scene/widgets/GLSceneViewer.h"
#include "ui_Info.h"

TInfoForm::TInfoForm(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TInfoForm>()) {
  ui->setupUi(this);
  setWindowFlag(Qt::Tool);
  ui->PageControl->setCurrentIndex(0);
  connect(ui->CloseButton, &QPushButton::clicked, this, &QDialog::accept);
}

TInfoForm::~TInfoForm() = default;

void TInfoForm::GetInfoFrom(TGLSceneViewer& viewer) {
  viewer.EnsureContext();
  TGLInfoTexts texts;
  {
    viewer.Activate();
    TScopeGuard deactivate([&] { viewer.Deactivate(); });
    texts = ReadGLInfo(viewer);
  }
  ShowTexts(texts, viewer.objectName());
}

void TInfoForm::ShowTexts(const TGLInfoTexts& t, const QString& viewerName) {
  setWindowTitle(windowTitle() + " (current context in " + viewerName + ")");
  auto set = [](QLabel* label, const std::string& text) { label->setText(QString::fromStdString(text)); };
  set(ui->VendorLabel, t.Vendor);
  set(ui->AccLabel, t.Acceleration);
  set(ui->VersionLabel, t.Version);
  set(ui->DoubleLabel, t.DoubleBuffered);
  set(ui->CopyLabel, t.BufferSwitch);
  set(ui->StereoLabel, t.Stereo);
  set(ui->ColorLabel, t.Color);
  set(ui->DepthLabel, t.Depth);
  set(ui->StencilLabel, t.Stencil);
  set(ui->AccumLabel, t.Accum);
  set(ui->AuxLabel, t.Aux);
  set(ui->SubLabel, t.Subpixels);
  set(ui->OverlayLabel, t.Overlays);
  set(ui->UnderlayLabel, t.Underlays);
  set(ui->ClipLabel, t.ClipPlanes);
  set(ui->EvalLabel, t.EvalOrder);
  set(ui->LightLabel, t.Lights);
  set(ui->ListLabel, t.ListNesting);
  set(ui->ModelLabel, t.ModelviewStack);
  set(ui->NameLabel, t.NameStack);
  set(ui->PixelLabel, t.PixelMap);
  set(ui->ProjLabel, t.ProjectionStack);
  set(ui->TexSizeLabel, t.TextureSize);
  set(ui->TexStackLabel, t.TextureStack);
  set(ui->ViewLabel, t.ViewportDims);
  QString lines;
  for (const auto& e : t.Extensions) lines += QString::fromStdString(e) + "\n";
  ui->Extensions->setPlainText(lines);
}

void TInfoForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
