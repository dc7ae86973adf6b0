#pragma once
// The arithmetic of the preview's controls, apart from any window: the position keys with
// their step tables, what a mouse drag does for a set of buttons and modifier keys, the zoom
// factors of the drag and the wheel, and the texts of the position status bar.
#include <array>
#include <string>

#include "model/Geometry.h"
#include "model/ModelCatalogue.h"  // TModelPosition

// Steps of the "Increments used" choice: 0 Small (also any unknown index), 1 Medium, 2 Big.
struct TIncrementSteps {
  float Move, Rotate, Scale;
};
TIncrementSteps IncrementSteps(int itemIndex);

enum class TKeyEffect { None, PositionChanged, ToggleAxes };
// x/X y/Y z/Z move, p/P r/R t/T rotate (lower case minus, upper case plus); S grows the scale,
// s shrinks it only while every component stays above 0; a/A toggles the axes cube.
TKeyEffect ApplyPositionKey(char key, const TIncrementSteps& steps, TModelPosition& position);

// Buttons and modifier keys held during a drag over the 3D view.
struct TMouseState {
  bool Left = false, Right = false, Middle = false;
  bool Shift = false, Ctrl = false, Alt = false;
};
enum class TMouseAction { None, Zoom, Orbit, MoveTarget };
// Left and right alone zoom, left alone orbits, any other set with the right button moves the
// target; anything else does nothing.
TMouseAction MouseActionFor(const TMouseState& state);

// dx, dy: last position minus the new one, in pixels. Zoom multiplies the camera's distance to
// its target by 1.1 per 120 pixels of dx + dy (both directions alike).
double DragZoomFactor(int dx, int dy);
// 1.1 per wheel notch of 120 units.
double WheelZoomFactor(int wheelDelta);
// The target moves by dx along Z (Ctrl held) or X, and by -dy along Y.
void MoveTarget(TAffineVector& target, int dx, int dy, bool ctrl);

// The three panels after "Model Default Position:": "Scale=(1.00 1.00 1.00)",
// "Position=(0.0 0.0 0.0)", "Rotation=(0 0 0)" (pitch, roll, turn). The point is the decimal
// mark whatever the locale.
std::array<std::string, 3> PositionCaptions(const TModelPosition& position);
