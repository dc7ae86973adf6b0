// The two commands that store the preview's model position and camera presets in the model's
// extension file; the document writes them and reads the catalogue again.
#include "editor/PreviewInterface.h"
#include "editor/crvn_unificado.h"

void Tmain_unificada::btn_savepositionClick(QObject*) {
  TModelPosition position;
  if (Preview->ModelPosition(position)) FDocument.SaveModelPosition(position);
}

void Tmain_unificada::mnu_PresetSaveinCVMXClick(QObject*) { FDocument.SaveModelPresets(); }
