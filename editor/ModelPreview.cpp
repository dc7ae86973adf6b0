#include "editor/ModelPreview.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QVBoxLayout>
#include <cmath>

#include "editor/SkinTree.h"
#include "editor/crvn_unificado.h"
#include "model/crvn_cvmdformat.h"
#include "model/crvn_o3d.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/StrUtils.h"
#include "platform/qt/Prompter.h"
#include "preview/CameraPresets.h"
#include "preview/SectionMesh.h"
#include "scene/widgets/GLSceneViewer.h"
#include "ui_crvn_unificado.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }

// Runs f; an exception comes out with the routine's name in front of its message.
template <typename F>
void Prefixed(const char* routine, F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    throw Exception(std::string(routine) + e.what());
  }
}

TPreviewSkin SkinView(const TSkinNode* skin) {
  TPreviewSkin view;
  if (!skin) return view;
  view.Text = skin->Text;
  for (const auto& section : skin->Children()) {
    TPreviewSection s;
    s.SectionNumber = section->SectionNumber;
    for (const auto& texture : section->Children())
      if (texture->Texture) s.Textures.push_back({texture->Text, texture->Texture.get()});
    view.Sections.push_back(std::move(s));
  }
  return view;
}

void FillCombo(QComboBox* combo, const std::vector<std::string>& items) {
  combo->clear();
  for (const std::string& item : items) combo->addItem(Q(item));
  combo->setCurrentIndex(items.empty() ? -1 : 0);
}

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

void TModelPreview::Attach(Tmain_unificada* window, QWidget* placeholder) {
  W = window;
  auto* layout = new QVBoxLayout(placeholder);
  layout->setContentsMargins(0, 0, 0, 0);
  if (QGuiApplication::platformName() != "xcb") {
    // GLX needs an X display; the editor works on without the 3D view.
    auto* note = new QLabel("The 3D preview needs an X display (XWayland on a Wayland desktop).", placeholder);
    note->setObjectName("GLSceneViewerNote");
    note->setAlignment(Qt::AlignCenter);
    note->setWordWrap(true);
    layout->addWidget(note);
    return;
  }
  FViewer = new TGLSceneViewer(placeholder);
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
  QLabel* fps = W->ui->Panel_fps;
  FViewer->AfterRender = [this, fps](TPersistent*) {
    fps->setText(QString::number(std::lround(FViewer->FramesPerSecond())) + " fps");
  };
}

void TModelPreview::HideHUD() { FScene->HUD->SetVisible(false); }

void TModelPreview::ResetFrameCounter() {
  if (!FViewer) return;
  FViewer->ResetPerformanceMonitor();
  W->ui->Panel_fps->setText("0 fps");
}

// ---------------------------------------------------------------- set-up and mesh

void TModelPreview::SetupPreview() {
  try {
    if (!W->PreviewModelLoaded) {
      LoadModel();
      W->PreviewModelLoaded = true;
    }
    LoadSkins();
    Draw3D();
    W->ui->presets->setCurrentRow(W->State().CurrentModel()->Presets.empty() ? -1 : 0);
    ApplyPreset(0);
    FScene->Player->SetVisible(true);
    for (TActor* a : FScene->Actors) a->SetVisible(true);
    UpdateCaption();
  } catch (const std::exception& e) {
    ShowMessage(e.what());
  }
}

void TModelPreview::LoadModel() {
  Prefixed("LoadObject: ", [&] {
    const TModelo& model = *W->State().CurrentModel();
    W->ui->GLSceneViewer->setVisible(true);
    W->ModelKey = model.Key;
    FScene->ResetPlayer(FScene->Player);
    for (TActor* a : FScene->Actors) FScene->ResetPlayer(a);
    FillPresets();
    // The previous project's mesh goes, whatever comes of this one.
    W->ModelMesh->Clear();
    FScene->BuildMesh(*W->ModelMesh);
    const std::string file = ResolveCaseInsensitive(ToNativePath(model.File3D));
    if (!model.LodMesh.empty() || FileExists(file)) {
      if (!model.File3D.empty()) {
        if (UpperCase(ExtractFileExt(model.File3D)) == ".CVMD") {
          bool loaded = false;
          std::string error = "File " + model.File3D + " has an unsupported format, cannot preview it.";
          try {
            loaded = LoadFromCVMD(*W->ModelMesh, file);
          } catch (const Exception& e) {
            // The reader says what is wrong; the rest of the set-up goes on without a mesh.
            error = e.what();
          }
          if (loaded)
            FScene->BuildMesh(*W->ModelMesh);
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
    const std::array<std::string, 3> texts = PositionCaptions(FScene->PlayerPosition());
    for (int i = 0; i < 3; ++i) W->StatusBarPreviewPanels[i + 1]->setText(Q(texts[static_cast<size_t>(i)]));
  });
}

bool TModelPreview::ModelPosition(TModelPosition& position) const {
  position = FScene->PlayerPosition();
  return true;
}

void TModelPreview::ShowOpenGLInformation() {
  if (FViewer) FViewer->ShowInfo();
}

// ---------------------------------------------------------------- textures and combos

TSkinNode* TModelPreview::ChosenSkin() const {
  const int i = W->ui->skin_selection->currentIndex();
  if (i < 0 || !W->SkinTree.Root()) return nullptr;
  const auto* wanted = reinterpret_cast<const TSkinNode*>(W->ui->skin_selection->itemData(i).value<quintptr>());
  // The item keeps a node pointer: use it only while that node is still one of the skins.
  for (const auto& skin : W->SkinTree.Root()->Children())
    if (skin.get() == wanted) return skin.get();
  return nullptr;
}

TTextureSelection TModelPreview::Selection(TPreviewSkin& view) const {
  TTextureSelection sel;
  const TSkinNode* skin = ChosenSkin();
  view = SkinView(skin);
  sel.Skin = skin ? &view : nullptr;
  sel.TeamIndex = W->ui->team_selection->currentIndex();
  sel.TeamText = W->ui->team_selection->currentText().toStdString();
  sel.FaceChosen = W->ui->face_selection->currentIndex() >= 0;
  sel.FaceText = W->ui->face_selection->currentText().toStdString();
  sel.MaskingEnabled = W->ui->cbEnableMasking->isChecked();
  return sel;
}

void TModelPreview::Draw3D() {
  TSlotChoices choices;
  TSlotPictures pictures;
  TTextureSelection sel;
  Prefixed("Draw3D[1]: ", [&] {
    TPreviewSkin view;
    sel = Selection(view);
    choices = ChooseSectionTextures(*W->State().CurrentModel(), W->ModelKey, sel);
    pictures = FPictures.Make(choices);
  });
  Prefixed("Draw3D[2]: ", [&] {
    FScene->ApplySlots(*W->State().CurrentModel(), choices, pictures, MeshHasNormals(*W->ModelMesh),
                       sel.MaskingEnabled);
    if (FViewer) FViewer->SetFaceCulling(MeshHasNormals(*W->ModelMesh));
  });
}

void TModelPreview::LoadSkins() {
  Prefixed("LoadSkins: ", [&] {
    QComboBox* combo = W->ui->skin_selection;
    combo->clear();
    if (W->SkinTree.Root())
      for (const auto& skin : W->SkinTree.Root()->Children())
        combo->addItem(Q(skin->Text), QVariant::fromValue(reinterpret_cast<quintptr>(skin.get())));
    combo->setCurrentIndex(combo->count() > 0 ? 0 : -1);
    LoadTeams();
    LoadFaces();
  });
}

void TModelPreview::LoadTeams() {
  Prefixed("LoadTeams: ", [&] {
    const TPreviewSkin view = SkinView(ChosenSkin());
    FillCombo(W->ui->team_selection, TeamItems(ChosenSkin() ? &view : nullptr));
  });
}

void TModelPreview::LoadFaces() {
  Prefixed("LoadFaces: ", [&] {
    const TPreviewSkin view = SkinView(ChosenSkin());
    FillCombo(W->ui->face_selection, FaceItems(ChosenSkin() ? &view : nullptr));
  });
}

void TModelPreview::RefreshSelectionCombos() {
  const QString skin = W->ui->skin_selection->currentText();
  const QString team = W->ui->team_selection->currentText();
  const QString face = W->ui->face_selection->currentText();
  LoadSkins();
  W->ui->skin_selection->setCurrentIndex(W->ui->skin_selection->findText(skin, Qt::MatchExactly));
  // The team and face lists belong to the skin chosen again, not to the first one.
  LoadTeams();
  LoadFaces();
  W->ui->team_selection->setCurrentIndex(W->ui->team_selection->findText(team, Qt::MatchExactly));
  W->ui->face_selection->setCurrentIndex(W->ui->face_selection->findText(face, Qt::MatchExactly));
  Draw3D();
}

void TModelPreview::SkinSelectionChange() {
  Prefixed("SkinSelectionChange: ", [&] {
    LoadTeams();
    LoadFaces();
    Draw3D();
  });
}

void TModelPreview::TeamSelectionChange() {
  Prefixed("TeamSelectionChange: ", [&] { Draw3D(); });
}

void TModelPreview::FaceSelectionChange() {
  Prefixed("FaceSelectionChange: ", [&] { Draw3D(); });
}

void TModelPreview::EnableMaskingClick() { Draw3D(); }
void TModelPreview::RefreshClick() { Draw3D(); }

// ---------------------------------------------------------------- mouse and keys

void TModelPreview::MouseDown(Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) {
  // Qt keeps sending moves to the viewer while a button is held: the capture is implicit.
  W->LastMouseX = x;
  W->LastMouseY = y;
}

void TModelPreview::MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) {
  Prefixed("MouseMove: ", [&] {
    FScene->MouseDrag(MouseStateOf(buttons, shift), W->LastMouseX - x, W->LastMouseY - y);
    W->LastMouseX = x;
    W->LastMouseY = y;
  });
}

void TModelPreview::MouseUp(Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int, int) {}

void TModelPreview::MouseWheel(int wheelDelta) {
  Prefixed("MouseWheel: ", [&] { FScene->MouseWheel(wheelDelta); });
}

void TModelPreview::KeyPress(char key) {
  Prefixed("KeyPress: ", [&] {
    FScene->KeyPress(key, W->incrementosGroup->checkedId());
    UpdateCaption();
  });
}

// ---------------------------------------------------------------- presets

void TModelPreview::FillPresets() {
  QListWidget* list = W->ui->presets;
  const int row = list->currentRow();
  list->clear();
  for (const TCameraPreset& p : W->State().CurrentModel()->Presets) list->addItem(Q(p.Name));
  if (row >= 0 && row < list->count()) list->setCurrentRow(row);
}

void TModelPreview::CatalogueReloaded() { FillPresets(); }

void TModelPreview::ApplyPreset(int index) {
  const TCameraPresets& presets = W->State().CurrentModel()->Presets;
  if (index < 0 || static_cast<size_t>(index) >= presets.size()) return;
  FScene->ApplyPreset(presets[static_cast<size_t>(index)]);
}

void TModelPreview::PresetsDblClick() { ApplyPreset(W->ui->presets->currentRow()); }

void TModelPreview::PopupPresetsPopup() {
  if (auto* remove = W->PopupPresets->findChild<QAction*>("mnu_PresetRemove"))
    remove->setEnabled(CanRemovePreset(W->State().CurrentModel()->Presets));
}

void TModelPreview::PresetNewClick() {
  TCameraPresets& presets = W->State().CurrentModel()->Presets;
  std::string name = NewPresetName(presets);
  // Cancelling adds nothing.
  if (!InputQuery("New Preset", "Preset Name:", name) || name.empty()) return;
  const int i = AddPreset(presets, name, FScene->CameraPosition(), FScene->TargetPosition());
  W->ui->presets->addItem(Q(name));
  W->ui->presets->setCurrentRow(i);
}

void TModelPreview::PresetRemoveClick() {
  const int row = W->ui->presets->currentRow();
  if (!RemovePreset(W->State().CurrentModel()->Presets, row)) return;
  delete W->ui->presets->takeItem(row);
  W->ui->presets->setCurrentRow(0);
  ApplyPreset(0);
}

void TModelPreview::PresetRenameClick() {
  const int row = W->ui->presets->currentRow();
  TCameraPresets& presets = W->State().CurrentModel()->Presets;
  if (row < 0 || static_cast<size_t>(row) >= presets.size()) return;
  std::string name = presets[static_cast<size_t>(row)].Name;
  if (!InputQuery("Preset Rename", "Preset Name:", name)) return;
  if (RenamePreset(presets, row, name)) W->ui->presets->item(row)->setText(Q(name));
}

void TModelPreview::PresetSetClick() {
  SetPreset(W->State().CurrentModel()->Presets, W->ui->presets->currentRow(), FScene->CameraPosition(),
            FScene->TargetPosition());
}
