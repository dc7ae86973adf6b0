#include "editor/ModelPreview.h"

#include <QGuiApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

#include "editor/EditorDocument.h"
#include "model/crvn_cvmdformat.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/ScopeGuard.h"
#include "platform/StrUtils.h"
#include "platform/qt/Prompter.h"
#include "preview/CameraPresets.h"
#include "preview/SectionMesh.h"
#include "scene/widgets/GLSceneViewer.h"

namespace {
TMouseState MouseStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift) {
  TMouseState s;
  s.Left = buttons & Qt::LeftButton;
  s.Right = buttons & Qt::RightButton;
  s.Middle = buttons & Qt::MiddleButton;
  s.Shift = shift & Qt::ShiftModifier;
  s.Ctrl = shift & Qt::ControlModifier;
  s.Alt = shift & Qt::AltModifier;
  return s;
}
}  // namespace

TModelPreview::TModelPreview() : FScene(std::make_unique<TPreviewScene>()) {}

TModelPreview::~TModelPreview() {
  // The viewer (a child widget of the window) outlives the preview: it must neither draw the
  // scene nor report its frames here.
  if (FViewer) {
    FViewer->AfterRender = nullptr;
    FViewer->SetCamera(nullptr);
  }
}

void TModelPreview::AttachView(QWidget* area, TPreviewPanel panel) {
  FArea = area;
  FPanel = std::move(panel);
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  if (QGuiApplication::platformName() != "xcb") {
    // GLX needs an X display; the editor works on without the 3D view.
    auto* note = new QLabel("The 3D preview needs an X display (XWayland on a Wayland desktop).", area);
    note->setObjectName("GLSceneViewerNote");
    note->setAlignment(Qt::AlignCenter);
    note->setWordWrap(true);
    layout->addWidget(note);
    return;
  }
  FViewer = new TGLSceneViewer(area);
  FViewer->setObjectName("GLSceneViewerWidget");
  layout->addWidget(FViewer);
  // Mouse input goes to the window, which hands it back to the preview.
  FViewer->setMouseTracking(true);
  FViewer->SetBackgroundColor(clSilver);
  FViewer->SetContextOptions(roDoubleBuffer | roRenderToWindow | roTwoSideLighting);
  FViewer->Monitor = true;
  FViewer->FogEnvironment().SetFogMode(fmLinear);
  FViewer->FogEnvironment().SetFogStart(10);
  FViewer->FogEnvironment().SetFogEnd(1000);
  FViewer->SetCamera(FScene->GLCamera);
  FViewer->AfterRender = [this](TPersistent*) {
    if (FPanel.ShowFrameRate) FPanel.ShowFrameRate(std::to_string(std::lround(FViewer->FramesPerSecond())) + " fps");
  };
}

void TModelPreview::HideHUD() { FScene->HUD->SetVisible(false); }

void TModelPreview::ResetFrameCounter() {
  if (!FViewer) return;
  FViewer->ResetPerformanceMonitor();
  if (FPanel.ShowFrameRate) FPanel.ShowFrameRate("0 fps");
}

// ---------------------------------------------------------------- set-up and mesh

void TModelPreview::ProjectOpened() {
  // The document is telling its observers: a failure is shown here, and the others are told.
  try {
    ResetFrameCounter();
    LoadModel();
    ApplyPreset(Document()->Choices().Preset);
    FScene->Player->SetVisible(true);
    for (TActor* a : FScene->Actors) a->SetVisible(true);
    UpdateCaption();
  } catch (const std::exception& e) {
    ShowMessage(e.what());
  }
}

void TModelPreview::LoadModel() {
  Prefixed("LoadObject: ", [&] {
    const TModelo& model = *Document()->State().CurrentModel();
    FArea->setVisible(true);
    FModelKey = model.Key;
    FScene->ResetPlayer(FScene->Player);
    for (TActor* a : FScene->Actors) FScene->ResetPlayer(a);
    // The previous project's mesh goes, whatever comes of this one.
    FMesh.Clear();
    FScene->BuildMesh(FMesh);
    const std::string file = ResolveCaseInsensitive(ToNativePath(model.File3D));
    if (!model.LodMesh.empty() || FileExists(file)) {
      if (!model.File3D.empty()) {
        if (UpperCase(ExtractFileExt(model.File3D)) == ".CVMD") {
          bool loaded = false;
          std::string error = "File " + model.File3D + " has an unsupported format, cannot preview it.";
          try {
            loaded = LoadFromCVMD(FMesh, file);
          } catch (const Exception& e) {
            // The reader says what is wrong; the rest of the set-up goes on without a mesh.
            error = e.what();
          }
          if (loaded)
            FScene->BuildMesh(FMesh);
          else
            MessageBox("ERROR", error, TMsgButtons::OK, TMsgIcon::Stop);
        }
      } else {
        // No mesh loader for game packages.
        MessageBox("ERROR", "Mesh " + model.LodMesh + " is invalid, cannot preview it.", TMsgButtons::OK,
                   TMsgIcon::Stop);
      }
    }
    TModelPosition p;
    p.ScaleX = model.ScaleX, p.ScaleY = model.ScaleY, p.ScaleZ = model.ScaleZ;
    p.Pitch = model.Pitch, p.Roll = model.Roll, p.Turn = model.Turn;
    p.OffsetX = model.OffsetX, p.OffsetY = model.OffsetY, p.OffsetZ = model.OffsetZ;
    FScene->SetPlayerPosition(p);
    FScene->GLCamera->ResetPosition();
  });
}

void TModelPreview::UpdateCaption() {
  Prefixed("UpdateCaption: ", [&] {
    if (FPanel.ShowPosition) FPanel.ShowPosition(PositionCaptions(FScene->PlayerPosition()));
  });
}

bool TModelPreview::ModelPosition(TModelPosition& position) const {
  // No model shown yet: no position of one.
  if (FModelKey.empty()) return false;
  position = FScene->PlayerPosition();
  return true;
}

void TModelPreview::ShowOpenGLInformation() {
  if (FViewer) FViewer->ShowInfo();
}

// ---------------------------------------------------------------- textures

void TModelPreview::Draw3D() {
  TSlotChoices choices;
  TSlotPictures pictures;
  TTextureSelection sel;
  const TModelo& model = *Document()->State().CurrentModel();
  Prefixed("Draw3D[1]: ", [&] {
    const TPreviewChoices& chosen = Document()->Choices();
    const TSkinNode* skin = chosen.ChosenSkin(Document()->Tree());
    const TPreviewSkin view = PreviewSkinOf(skin);
    sel.Skin = skin ? &view : nullptr;
    sel.TeamIndex = chosen.Team;
    sel.TeamText = chosen.TeamText();
    sel.FaceChosen = chosen.Face >= 0;
    sel.FaceText = chosen.FaceText();
    sel.MaskingEnabled = chosen.Masking;
    choices = ChooseSectionTextures(model, FModelKey, sel);
    // Pictures made off the window's thread after a stroke on a large texture.
    FPictures.Offer(Document()->TakePreparedPictures());
    pictures = FPictures.Make(choices);
  });
  Prefixed("Draw3D[2]: ", [&] {
    FScene->ApplySlots(model, choices, pictures, MeshHasNormals(FMesh), sel.MaskingEnabled);
    if (FViewer) FViewer->SetFaceCulling(MeshHasNormals(FMesh));
  });
}

// ---------------------------------------------------------------- mouse and keys

void TModelPreview::MouseDown(Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) {
  // Qt keeps sending moves to the viewer while a button is held: the capture is implicit.
  FLastMouseX = x;
  FLastMouseY = y;
}

void TModelPreview::MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) {
  Prefixed("MouseMove: ", [&] {
    FScene->MouseDrag(MouseStateOf(buttons, shift), FLastMouseX - x, FLastMouseY - y);
    FLastMouseX = x;
    FLastMouseY = y;
  });
}

void TModelPreview::MouseUp(Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int, int) {}

void TModelPreview::MouseWheel(int wheelDelta) {
  Prefixed("MouseWheel: ", [&] { FScene->MouseWheel(wheelDelta); });
}

void TModelPreview::KeyPress(char key) {
  Prefixed("KeyPress: ", [&] {
    FScene->KeyPress(key, Document()->Choices().Increments);
    UpdateCaption();
  });
}

// ---------------------------------------------------------------- presets

void TModelPreview::ApplyPreset(int index) {
  const TCameraPresets& presets = Document()->State().CurrentModel()->Presets;
  if (index < 0 || static_cast<size_t>(index) >= presets.size()) return;
  FScene->ApplyPreset(presets[static_cast<size_t>(index)]);
}

void TModelPreview::PresetsDblClick() { ApplyPreset(Document()->Choices().Preset); }

void TModelPreview::PresetNewClick() {
  std::string name = NewPresetName(Document()->State().CurrentModel()->Presets);
  // Cancelling adds nothing.
  if (!InputQuery("New Preset", "Preset Name:", name) || name.empty()) return;
  Document()->AddPreset(name, FScene->CameraPosition(), FScene->TargetPosition());
}

void TModelPreview::PresetRemoveClick() {
  if (!Document()->RemovePreset()) return;
  ApplyPreset(0);
}

void TModelPreview::PresetRenameClick() {
  const int row = Document()->Choices().Preset;
  const TCameraPresets& presets = Document()->State().CurrentModel()->Presets;
  if (row < 0 || static_cast<size_t>(row) >= presets.size()) return;
  std::string name = presets[static_cast<size_t>(row)].Name;
  if (InputQuery("Preset Rename", "Preset Name:", name)) Document()->RenamePreset(name);
}

void TModelPreview::PresetSetClick() { Document()->SetPreset(FScene->CameraPosition(), FScene->TargetPosition()); }
