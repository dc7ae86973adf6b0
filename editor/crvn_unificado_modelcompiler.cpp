// File > Model Compiler.
// (Body pending: it opens the model compiler window once that exists.)
#include "editor/crvn_unificado.h"

void Tmain_unificada::mnu_ModelCompilerClick(QObject*) {}
