// Palette groups of the project's textures.
// (Body pending: BuildPalettes is being written in this file.)
#include "editor/crvn_unificado.h"

void Tmain_unificada::BuildPalettes() {}
