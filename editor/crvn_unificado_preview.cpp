// The preview routines of the main window. The preview itself (scene, viewer, camera, keys)
// lives behind TPreview; the window only tells it what happened.
#include "editor/PreviewInterface.h"
#include "editor/crvn_unificado.h"

void Tmain_unificada::SetupPreview() { Preview->SetupPreview(); }
void Tmain_unificada::UpdateCaption() { Preview->UpdateCaption(); }
void Tmain_unificada::Draw3D() { Preview->Draw3D(); }
void Tmain_unificada::LoadSkins() { Preview->LoadSkins(); }
void Tmain_unificada::RefreshSelectionCombos() { Preview->RefreshSelectionCombos(); }

void Tmain_unificada::skin_selectionChange(QObject*) { Preview->SkinSelectionChange(); }
void Tmain_unificada::team_selectionChange(QObject*) { Preview->TeamSelectionChange(); }
void Tmain_unificada::face_selectionChange(QObject*) { Preview->FaceSelectionChange(); }
void Tmain_unificada::cbEnableMaskingClick(QObject*) { Preview->EnableMaskingClick(); }
void Tmain_unificada::btn_refreshClick(QObject*) { Preview->RefreshClick(); }

void Tmain_unificada::GLSceneViewerMouseDown(QObject*, Qt::MouseButton Button, Qt::MouseButtons Buttons,
                                             Qt::KeyboardModifiers Shift, int X, int Y) {
  Preview->MouseDown(Button, Buttons, Shift, X, Y);
}

void Tmain_unificada::GLSceneViewerMouseMove(QObject*, Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift, int X,
                                             int Y) {
  Preview->MouseMove(Buttons, Shift, X, Y);
}

void Tmain_unificada::GLSceneViewerMouseUp(QObject*, Qt::MouseButton Button, Qt::MouseButtons Buttons,
                                           Qt::KeyboardModifiers Shift, int X, int Y) {
  Preview->MouseUp(Button, Buttons, Shift, X, Y);
}

void Tmain_unificada::presetsDblClick(QObject*) { Preview->PresetsDblClick(); }
void Tmain_unificada::PopupPresetsPopup(QObject*) { Preview->PopupPresetsPopup(); }
void Tmain_unificada::mnu_PresetNewClick(QObject*) { Preview->PresetNewClick(); }
void Tmain_unificada::mnu_PresetRemoveClick(QObject*) { Preview->PresetRemoveClick(); }
void Tmain_unificada::mnu_PresetRenameClick(QObject*) { Preview->PresetRenameClick(); }
void Tmain_unificada::mnu_PresetSetClick(QObject*) { Preview->PresetSetClick(); }
