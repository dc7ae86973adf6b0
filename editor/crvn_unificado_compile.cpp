// The two compile commands of the Actions menu.
// (Bodies pending: they call the package writer once it exists.)
#include "editor/crvn_unificado.h"

void Tmain_unificada::mnu_CreateUTXINTClick(QObject*) {}
void Tmain_unificada::mnu_CompileProjecttoUTXINTandInstallinUTClick(QObject*) {}
