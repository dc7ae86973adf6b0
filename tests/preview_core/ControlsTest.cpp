// Position keys, mouse actions, zoom factors, status texts and the preset list.
#include <gtest/gtest.h>

#include <cmath>

#include "preview/CameraPresets.h"
#include "preview/PreviewControls.h"

namespace {

TModelPosition Pos(float sx, float sy, float sz) {
  TModelPosition p;
  p.ScaleX = sx, p.ScaleY = sy, p.ScaleZ = sz;
  return p;
}

TEST(PositionKeys, StepTables) {
  struct TCase {
    char key;
    int increments;
    TModelPosition start;
    std::array<float, 9> expected;  // scale xyz, offset xyz, pitch roll turn
    TKeyEffect effect;
  };
  const TModelPosition unit;
  const TCase cases[] = {
      {'x', 2, unit, {1, 1, 1, -20, 0, 0, 0, 0, 0}, TKeyEffect::PositionChanged},
      {'Y', 1, unit, {1, 1, 1, 0, 5, 0, 0, 0, 0}, TKeyEffect::PositionChanged},
      {'z', 0, unit, {1, 1, 1, 0, 0, -0.5f, 0, 0, 0}, TKeyEffect::PositionChanged},
      {'Z', 7, unit, {1, 1, 1, 0, 0, 0.5f, 0, 0, 0}, TKeyEffect::PositionChanged},  // unknown: Small
      {'P', 1, unit, {1, 1, 1, 0, 0, 0, 22.5f, 0, 0}, TKeyEffect::PositionChanged},
      {'r', 2, unit, {1, 1, 1, 0, 0, 0, 0, -90, 0}, TKeyEffect::PositionChanged},
      {'T', 0, unit, {1, 1, 1, 0, 0, 0, 0, 0, 1}, TKeyEffect::PositionChanged},
      {'s', 2, Pos(0.5f, 0.5f, 0.5f), {0.5f, 0.5f, 0.5f, 0, 0, 0, 0, 0, 0}, TKeyEffect::PositionChanged},
      {'s', 1, Pos(0.5f, 0.5f, 0.5f), {0.4f, 0.4f, 0.4f, 0, 0, 0, 0, 0, 0}, TKeyEffect::PositionChanged},
      {'s', 1, Pos(2, 0.1f, 2), {2, 0.1f, 2, 0, 0, 0, 0, 0, 0}, TKeyEffect::PositionChanged},
      {'S', 0, Pos(1, 2, 3), {1.01f, 2.01f, 3.01f, 0, 0, 0, 0, 0, 0}, TKeyEffect::PositionChanged},
      {'a', 2, unit, {1, 1, 1, 0, 0, 0, 0, 0, 0}, TKeyEffect::ToggleAxes},
      {'A', 2, unit, {1, 1, 1, 0, 0, 0, 0, 0, 0}, TKeyEffect::ToggleAxes},
      {'q', 2, unit, {1, 1, 1, 0, 0, 0, 0, 0, 0}, TKeyEffect::None},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(1, c.key) + " increments " + std::to_string(c.increments));
    TModelPosition p = c.start;
    EXPECT_EQ(ApplyPositionKey(c.key, IncrementSteps(c.increments), p), c.effect);
    const float got[9] = {p.ScaleX, p.ScaleY, p.ScaleZ, p.OffsetX, p.OffsetY, p.OffsetZ, p.Pitch, p.Roll, p.Turn};
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(got[i], c.expected[i], 1e-5) << i;
  }
}

TEST(MouseDrag, ButtonAndModifierSets) {
  struct TCase {
    TMouseState state;
    TMouseAction action;
  };
  auto S = [](bool l, bool r, bool m, bool shift = false, bool ctrl = false, bool alt = false) {
    TMouseState s;
    s.Left = l, s.Right = r, s.Middle = m, s.Shift = shift, s.Ctrl = ctrl, s.Alt = alt;
    return s;
  };
  const TCase cases[] = {
      {S(true, true, false), TMouseAction::Zoom},
      {S(true, false, false), TMouseAction::Orbit},
      {S(true, false, false, false, true), TMouseAction::None},  // left with Ctrl
      {S(true, false, false, true), TMouseAction::None},
      {S(false, true, false), TMouseAction::MoveTarget},
      {S(false, true, false, false, true), TMouseAction::MoveTarget},
      {S(true, true, false, true), TMouseAction::MoveTarget},  // not "left and right alone"
      {S(true, true, true), TMouseAction::MoveTarget},
      {S(false, false, true), TMouseAction::None},
      {S(false, false, false, true, true, true), TMouseAction::None},
  };
  for (const TCase& c : cases) {
    const TMouseState& s = c.state;
    EXPECT_EQ(MouseActionFor(s), c.action)
        << s.Left << s.Right << s.Middle << " shift " << s.Shift << " ctrl " << s.Ctrl << " alt " << s.Alt;
  }

  TAffineVector target{1, 2, 3};
  MoveTarget(target, 10, 4, false);
  EXPECT_EQ(target, (TAffineVector{11, -2, 3}));
  MoveTarget(target, -5, -1, true);
  EXPECT_EQ(target, (TAffineVector{11, -1, -2}));
}

TEST(MouseDrag, ZoomFactors) {
  // Ten pixels in either direction zoom alike; a notch of the wheel is a factor 1.1.
  EXPECT_NEAR(DragZoomFactor(10, 0), std::pow(1.1, 10.0 / 120), 1e-12);
  EXPECT_NEAR(DragZoomFactor(0, 10), std::pow(1.1, 10.0 / 120), 1e-12);
  EXPECT_NEAR(DragZoomFactor(120, 120), 1.21, 1e-12);
  EXPECT_DOUBLE_EQ(DragZoomFactor(7, -7), 1.0);
  EXPECT_NEAR(WheelZoomFactor(120), 1.1, 1e-12);
  EXPECT_NEAR(WheelZoomFactor(-120), 1 / 1.1, 1e-12);
  EXPECT_NEAR(WheelZoomFactor(60), std::sqrt(1.1), 1e-12);
}

TEST(PositionCaptions, Decimals) {
  TModelPosition p = Pos(1.5f, 1.5f, 1.5f);
  p.OffsetX = -2.25f, p.OffsetY = 100, p.OffsetZ = 0.04f;
  p.Pitch = 22.5f, p.Roll = -90, p.Turn = 359.6f;
  const std::array<std::string, 3> expected = {"Scale=(1.50 1.50 1.50)", "Position=(-2.2 100.0 0.0)",
                                               "Rotation=(22 -90 360)"};
  EXPECT_EQ(PositionCaptions(p), expected);
}

TEST(CameraPresets, ListOperations) {
  TCameraPresets presets;
  EXPECT_EQ(NewPresetName(presets), "Preset#1");
  EXPECT_EQ(AddPreset(presets, "Front", {0, 0, 500}, {0, 0, 0}), 0);
  EXPECT_FALSE(CanRemovePreset(presets));
  EXPECT_FALSE(RemovePreset(presets, 0));  // a model keeps one preset
  EXPECT_EQ(AddPreset(presets, "Side", {500, 0, 0}, {0, 10, 0}), 1);
  EXPECT_EQ(AddPreset(presets, "Top", {0, 500, 0}, {0, 0, 0}), 2);
  EXPECT_EQ(NewPresetName(presets), "Preset#4");
  EXPECT_EQ(PresetTarget(presets[1]), (TAffineVector{0, 10, 0}));

  // Nothing happens without a selection.
  for (int none : {-1, 3}) {
    EXPECT_FALSE(RemovePreset(presets, none));
    EXPECT_FALSE(RenamePreset(presets, none, "X"));
    EXPECT_FALSE(SetPreset(presets, none, {1, 1, 1}, {1, 1, 1}));
  }
  EXPECT_FALSE(RenamePreset(presets, 1, ""));
  EXPECT_TRUE(RenamePreset(presets, 1, "Left"));
  EXPECT_TRUE(SetPreset(presets, 2, {1, 2, 3}, {4, 5, 6}));
  EXPECT_TRUE(RemovePreset(presets, 1));
  ASSERT_EQ(presets.size(), 2u);
  EXPECT_EQ(presets[0].Name, "Front");
  EXPECT_EQ(presets[1].Name, "Top");  // the later ones move up
  EXPECT_EQ(PresetCamera(presets[1]), (TAffineVector{1, 2, 3}));
  EXPECT_EQ(PresetTarget(presets[1]), (TAffineVector{4, 5, 6}));
}

}  // namespace
