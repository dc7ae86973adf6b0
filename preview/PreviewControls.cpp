#include "preview/PreviewControls.h"

#include <charconv>

#include "model/system2.h"

TIncrementSteps IncrementSteps(int itemIndex) {
  switch (itemIndex) {
    case 1: return {5.0f, 22.5f, 0.1f};
    case 2: return {20.0f, 90.0f, 1.0f};
    default: return {0.5f, 1.0f, 0.01f};
  }
}

TKeyEffect ApplyPositionKey(char key, const TIncrementSteps& steps, TModelPosition& p) {
  switch (key) {
    case 'x': p.OffsetX -= steps.Move; break;
    case 'X': p.OffsetX += steps.Move; break;
    case 'y': p.OffsetY -= steps.Move; break;
    case 'Y': p.OffsetY += steps.Move; break;
    case 'z': p.OffsetZ -= steps.Move; break;
    case 'Z': p.OffsetZ += steps.Move; break;
    case 'p': p.Pitch -= steps.Rotate; break;
    case 'P': p.Pitch += steps.Rotate; break;
    case 'r': p.Roll -= steps.Rotate; break;
    case 'R': p.Roll += steps.Rotate; break;
    case 't': p.Turn -= steps.Rotate; break;
    case 'T': p.Turn += steps.Rotate; break;
    case 's':
      // A scale of 0 or below would flatten or mirror the model.
      if (p.ScaleX - steps.Scale > 0 && p.ScaleY - steps.Scale > 0 && p.ScaleZ - steps.Scale > 0) {
        p.ScaleX -= steps.Scale;
        p.ScaleY -= steps.Scale;
        p.ScaleZ -= steps.Scale;
      }
      break;
    case 'S':
      p.ScaleX += steps.Scale;
      p.ScaleY += steps.Scale;
      p.ScaleZ += steps.Scale;
      break;
    case 'a':
    case 'A': return TKeyEffect::ToggleAxes;
    default: return TKeyEffect::None;
  }
  return TKeyEffect::PositionChanged;
}

TMouseAction MouseActionFor(const TMouseState& s) {
  const bool modifiers = s.Shift || s.Ctrl || s.Alt;
  if (s.Left && s.Right && !s.Middle && !modifiers) return TMouseAction::Zoom;
  if (s.Left && !s.Right && !s.Middle && !modifiers) return TMouseAction::Orbit;
  if (s.Right) return TMouseAction::MoveTarget;
  return TMouseAction::None;
}

double DragZoomFactor(int dx, int dy) {
  return Power(1.1, (static_cast<double>(dx) + static_cast<double>(dy)) / 120.0);
}

double WheelZoomFactor(int wheelDelta) { return Power(1.1, wheelDelta / 120.0); }

void MoveTarget(TAffineVector& target, int dx, int dy, bool ctrl) {
  target[ctrl ? 2 : 0] += static_cast<float>(dx);
  target[1] -= static_cast<float>(dy);
}

namespace {
std::string Fixed(float v, int decimals) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return std::string(buf, r.ptr);
}

std::string Triple(const char* name, float a, float b, float c, int decimals) {
  return std::string(name) + "=(" + Fixed(a, decimals) + " " + Fixed(b, decimals) + " " + Fixed(c, decimals) + ")";
}
}  // namespace

std::array<std::string, 3> PositionCaptions(const TModelPosition& p) {
  return {Triple("Scale", p.ScaleX, p.ScaleY, p.ScaleZ, 2), Triple("Position", p.OffsetX, p.OffsetY, p.OffsetZ, 1),
          Triple("Rotation", p.Pitch, p.Roll, p.Turn, 0)};
}
