// File > Model Compiler: the modal model compiler window; after each compile it reloads the
// catalogue, so the new model is offered at once.
#include "editor/DialogExec.h"
#include "editor/crvn_unificado.h"
#include "modelcompiler/crvn_modelcompiler.h"

void Tmain_unificada::mnu_ModelCompilerClick(QObject*) {
  Tmodelcompiler window(this);
  window.LoadModelExtensions = [this] { FDocument.ReloadCatalogue(); };
  window.Models = &State().Models();
  ExecDialog(window);
}
