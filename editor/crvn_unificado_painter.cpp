// The texture painter of the Skin Editor tab.
// (Bodies pending: the painter comes with its own change.)
#include "editor/crvn_unificado.h"

void Tmain_unificada::texture_preview_imageMouseDown(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
void Tmain_unificada::texture_preview_imageMouseMove(QObject*, Qt::MouseButtons, Qt::KeyboardModifiers, int, int) {}
void Tmain_unificada::texture_preview_imageMouseUp(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
void Tmain_unificada::btn_UndoEditedTextureClick(QObject*) {}
void Tmain_unificada::btn_SaveEditedTextureClick(QObject*) {}
void Tmain_unificada::btn_RevertEditedTextureClick(QObject*) {}
void Tmain_unificada::tbSeeWireChange(QObject*) {}
void Tmain_unificada::zoomChange(QObject*) {}
void Tmain_unificada::ColorPickerButton1Click(QObject*) {}
