#pragma once
// The model's named camera positions as the preset list edits them. Every operation that needs
// a selection does nothing without one (index outside the list).
#include <string>
#include <vector>

#include "model/Geometry.h"
#include "model/crvn_struc.h"

using TCameraPresets = std::vector<TCameraPreset>;

// "Preset#" and the number the new preset would have.
std::string NewPresetName(const TCameraPresets& presets);
// Remove is offered only while there is more than one preset: a model keeps at least one.
bool CanRemovePreset(const TCameraPresets& presets);

// Appends a preset at the given positions; returns its index.
int AddPreset(TCameraPresets& presets, const std::string& name, const TAffineVector& camera,
              const TAffineVector& target);
// Removes the selected preset (never the last one left); returns false when nothing changed.
bool RemovePreset(TCameraPresets& presets, int selected);
// An empty name changes nothing.
bool RenamePreset(TCameraPresets& presets, int selected, const std::string& name);
bool SetPreset(TCameraPresets& presets, int selected, const TAffineVector& camera, const TAffineVector& target);

TAffineVector PresetCamera(const TCameraPreset& preset);
TAffineVector PresetTarget(const TCameraPreset& preset);
