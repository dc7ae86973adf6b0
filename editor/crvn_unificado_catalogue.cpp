// The model catalogue of the main window and the two writers that store the preview's model
// position and camera presets in the model's extension file.
#include "editor/PreviewInterface.h"
#include "editor/crvn_unificado.h"
#include "model/ModelCatalogue.h"
#include "model/crvn_struc.h"
#include "platform/ScopeGuard.h"

void Tmain_unificada::LoadModelExtensions() {
  // A load that reports problems has still refreshed the current model: its presets are shown
  // before the report goes on to the caller.
  TScopeGuard refresh([this] { Preview->CatalogueReloaded(); });
  FState.LoadModelExtensions();
}

void Tmain_unificada::btn_savepositionClick(QObject*) {
  TModelPosition position;
  if (FDocument.ModelKey().empty() || !Preview->ModelPosition(position)) return;
  SaveModelPosition(FDocument.ModelKey(), position);
  LoadModelExtensions();
}

void Tmain_unificada::mnu_PresetSaveinCVMXClick(QObject*) {
  if (FState.CurrentModel()->Key.empty()) return;
  SaveModelPresets(FState.CurrentModel()->Key, FState.CurrentModel()->Presets);
  LoadModelExtensions();
}
