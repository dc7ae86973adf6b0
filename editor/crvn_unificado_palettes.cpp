// Palette groups of the project's textures.
#include <QButtonGroup>

#include "editor/PaletteGroups.h"
#include "editor/crvn_unificado.h"

void Tmain_unificada::BuildPalettes() {
  ::BuildPalettes(SkinTree, PaletteModeFromIndex(opt_reducepalettesGroup->checkedId()));
}
