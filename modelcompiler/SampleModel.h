#pragma once
// The sample model of a fresh install: a small player-like figure of our own, so a new user can
// try New Project, textures and the package compile without a game installed. It is written as
// a MilkShape3D file and compiled by the model compiler's own routine at build time.
//
// Four materials: SKIN (torso and arms, section 1), LEGS, FACE (the head) and VISOR.MASK (a
// masked visor in front of the face). Y is up, the figure is about 78 units tall.
#include <cstdint>
#include <string>
#include <vector>

#include "model/crvn_o3d.h"

// The figure with its own texture coordinates (inside 0..1 for each material).
TObjeto3D MakeSampleFigure();
// A MilkShape3D file of mesh: one group per material, face normals at every corner.
std::vector<uint8_t> MilkShape3DBytes(const TObjeto3D& mesh);
// Writes the sample model file and compiles it into outputFolder; returns the .cvmx written.
std::string BuildSampleModel(const std::string& ms3dFile, const std::string& outputFolder);
