// Palette groups of the project's textures.
#include "editor/crvn_unificado.h"

// The document keeps the option's mode (the option's buttons set it).
void Tmain_unificada::BuildPalettes() { FDocument.BuildPalettes(); }
