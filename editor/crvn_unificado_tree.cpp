// The skin tree: pop-up commands, import, selection, reload of changed texture files.
// (Bodies pending: the tree commands are being written in this file.)
#include "editor/crvn_unificado.h"

void Tmain_unificada::PopupArbolPopup(QObject*) {}
void Tmain_unificada::popuparbol_NewGroupClick(QObject*) {}
void Tmain_unificada::popuparbol_EditGroupClick(QObject*) {}
void Tmain_unificada::popuparbol_DeleteGroupClick(QObject*) {}
void Tmain_unificada::popuparbol_AddTextureClick(QObject*) {}
void Tmain_unificada::popuparbol_EditTextureDescriptionClick(QObject*) {}
void Tmain_unificada::popuparbol_DeleteTextureClick(QObject*) {}
void Tmain_unificada::mnu_ImporttextureClick(QObject*) {}
void Tmain_unificada::ArbolTexturasChange(QObject*) {}
void Tmain_unificada::mnu_RefreshTexturesClick(QObject*) {}
void Tmain_unificada::TimerRefrescoTexturasTimer(QObject*) {}
void Tmain_unificada::ClearTextureTree() {}
