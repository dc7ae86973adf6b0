#include "preview/CameraPresets.h"

namespace {
bool Selected(const TCameraPresets& presets, int i) { return i >= 0 && static_cast<size_t>(i) < presets.size(); }

void Place(TCameraPreset& p, const TAffineVector& camera, const TAffineVector& target) {
  p.CameraX = camera[0];
  p.CameraY = camera[1];
  p.CameraZ = camera[2];
  p.TargetX = target[0];
  p.TargetY = target[1];
  p.TargetZ = target[2];
}
}  // namespace

std::string NewPresetName(const TCameraPresets& presets) { return "Preset#" + std::to_string(presets.size() + 1); }

bool CanRemovePreset(const TCameraPresets& presets) { return presets.size() > 1; }

int AddPreset(TCameraPresets& presets, const std::string& name, const TAffineVector& camera,
              const TAffineVector& target) {
  TCameraPreset p;
  p.Name = name;
  Place(p, camera, target);
  presets.push_back(p);
  return static_cast<int>(presets.size()) - 1;
}

bool RemovePreset(TCameraPresets& presets, int selected) {
  if (!Selected(presets, selected) || !CanRemovePreset(presets)) return false;
  presets.erase(presets.begin() + selected);
  return true;
}

bool RenamePreset(TCameraPresets& presets, int selected, const std::string& name) {
  if (!Selected(presets, selected) || name.empty()) return false;
  presets[static_cast<size_t>(selected)].Name = name;
  return true;
}

bool SetPreset(TCameraPresets& presets, int selected, const TAffineVector& camera, const TAffineVector& target) {
  if (!Selected(presets, selected)) return false;
  Place(presets[static_cast<size_t>(selected)], camera, target);
  return true;
}

TAffineVector PresetCamera(const TCameraPreset& p) { return {p.CameraX, p.CameraY, p.CameraZ}; }
TAffineVector PresetTarget(const TCameraPreset& p) { return {p.TargetX, p.TargetY, p.TargetZ}; }
