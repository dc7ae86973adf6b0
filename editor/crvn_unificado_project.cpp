// Project commands: New, Load, Save, Save As.
// (Bodies pending: the project commands are being written in this file.)
#include "editor/crvn_unificado.h"

void Tmain_unificada::mnu_NewProjectClick(QObject*) {}
void Tmain_unificada::mnu_LoadProjectClick(QObject*) {}
void Tmain_unificada::mnu_SaveProjectClick(QObject*) {}
void Tmain_unificada::mnu_SaveAsClick(QObject*) {}
