// The model catalogue of the main window and the two writers that store the preview's model
// position and camera presets in the model's extension file.
#include "editor/PreviewInterface.h"
#include "editor/crvn_unificado.h"
#include "model/crvn_struc.h"

void Tmain_unificada::LoadModelExtensions() {
  // (Pending: reads the extension files through the catalogue loader once it lands.)
}

void Tmain_unificada::btn_savepositionClick(QObject*) {}

void Tmain_unificada::mnu_PresetSaveinCVMXClick(QObject*) {}
