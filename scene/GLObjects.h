#pragma once
// Ready-made scene objects: the invisible dummy cube that groups and targets, sprites (one in
// screen space for the head-up display), planes, lines, boxes, the quadric shapes, torus,
// teapot, arrows, the dodecahedron and flat polygons. Every property write stores a changed
// value and rebuilds the object on the next frame.
#include <cstdint>
#include <memory>

#include "scene/SceneGraph.h"

// The wire cube of dummy cubes and line nodes: a box of side `size` centred at the origin.
void CubeWireframeBuildList(bool stippled, float size, const TVector& color);

class TDummyCube : public TGLImmaterialSceneObject {
 public:
  explicit TDummyCube(TComponent* owner = nullptr);
  CORVANE_SCENE_CLASS(TDummyCube, TGLImmaterialSceneObject)
  float CubeSize() const { return FCubeSize; }
  void SetCubeSize(float v);
  TGLColor& EdgeColor() { return *FEdgeColor; }
  void SetEdgeColor(const TGLColor& c) { FEdgeColor->Assign(&c); }
  bool VisibleAtRunTime() const { return FVisibleAtRunTime; }
  void SetVisibleAtRunTime(bool v);
  void Assign(const TPersistent* source) override;
  // Its own position without children, else the mean of the children's barycentres.
  TVector BarycenterAbsolutePosition() override;
  // The stippled cube, only while designing or when visible at run time.
  void BuildList(TRenderContextInfo& rci) override;

 private:
  float FCubeSize = 1;
  std::unique_ptr<TGLColor> FEdgeColor;
  bool FVisibleAtRunTime = false;
};

class TSprite : public TGLSceneObject {
 public:
  explicit TSprite(TComponent* owner = nullptr);
  CORVANE_SCENE_CLASS(TSprite, TGLSceneObject)
  float Width() const { return FWidth; }
  float Height() const { return FHeight; }
  float Rotation() const { return FRotation; }
  float AlphaChannel() const { return FAlphaChannel; }
  void SetWidth(float v);
  void SetHeight(float v);
  void SetRotation(float v);
  void SetAlphaChannel(float v);  // limited to 0..1
  bool StoredAlphaChannel() const { return FAlphaChannel != 1; }
  void Assign(const TPersistent* source) override;
  // A quad facing the viewer.
  void BuildList(TRenderContextInfo& rci) override;

 protected:
  float FWidth = 1, FHeight = 1, FRotation = 0, FAlphaChannel = 1;
};

// A sprite in screen space: Position is in pixels from the viewport's top-left corner (Y down),
// Width and Height in pixels; never hidden by depth.
class THUDSprite : public TSprite {
 public:
  using TSprite::TSprite;
  CORVANE_SCENE_CLASS(THUDSprite, TSprite)
  void Render(TRenderContextInfo& rci) override;
};
