#pragma once
// Ready-made scene objects: the invisible dummy cube that groups and targets, sprites (one in
// screen space for the head-up display), planes, lines, boxes, the quadric shapes, torus,
// teapot, arrows, the dodecahedron and flat polygons. Every property write stores a changed
// value and rebuilds the object on the next frame.
#include <array>
#include <cstdint>
#include <memory>

#include "scene/SceneGraph.h"

// A property whose write stores a changed value and rebuilds the object.
#define CORVANE_SHAPE_PROPERTY(Type, Name) \
  Type Name() const { return F##Name; }    \
  void Set##Name(Type v) {                 \
    if (v == F##Name) return;              \
    F##Name = v;                           \
    StructureChanged();                    \
  }

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

class TPlane : public TGLSceneObject {
 public:
  using TGLSceneObject::TGLSceneObject;
  CORVANE_SCENE_CLASS(TPlane, TGLSceneObject)
  CORVANE_SHAPE_PROPERTY(float, Width)
  CORVANE_SHAPE_PROPERTY(float, Height)
  CORVANE_SHAPE_PROPERTY(float, XOffset)
  CORVANE_SHAPE_PROPERTY(float, YOffset)
  CORVANE_SHAPE_PROPERTY(float, XTiles)
  CORVANE_SHAPE_PROPERTY(float, YTiles)
  void BuildList(TRenderContextInfo& rci) override;

 private:
  float FWidth = 1, FHeight = 1, FXOffset = 0, FYOffset = 0, FXTiles = 1, FYTiles = 1;
};

class TLineBase : public TGLImmaterialSceneObject {
 public:
  explicit TLineBase(TComponent* owner = nullptr);
  CORVANE_SCENE_CLASS(TLineBase, TGLImmaterialSceneObject)
  TGLColor& LineColor() { return *FLineColor; }
  CORVANE_SHAPE_PROPERTY(uint16_t, LinePattern)
  CORVANE_SHAPE_PROPERTY(float, LineWidth)
  CORVANE_SHAPE_PROPERTY(bool, AntiAliased)
  bool StoredLineWidth() const { return FLineWidth != 1; }

 protected:
  // Line width, stipple, smoothing and colour (the attributes pushed by the caller).
  void SetupLineStyle();
  std::unique_ptr<TGLColor> FLineColor;
  uint16_t FLinePattern = 65535;
  float FLineWidth = 1;
  bool FAntiAliased = false;
};

enum TLineNodesAspect : uint8_t { lnaInvisible, lnaAxes, lnaCube, lnaDodecahedron };
enum TLineSplineMode : uint8_t { lsmLines, lsmCubicSpline };

class TLines : public TLineBase {
 public:
  explicit TLines(TComponent* owner = nullptr);
  CORVANE_SCENE_CLASS(TLines, TLineBase)
  TGLNodes& Nodes() { return FNodes; }
  TGLColor& NodeColor() { return *FNodeColor; }
  // A node change rebuilds the line.
  void NotifyChange(TPersistent* sender) override {
    FChanges |= ocStructure;
    TLineBase::NotifyChange(sender);
  }
  CORVANE_SHAPE_PROPERTY(TLineNodesAspect, NodesAspect)
  CORVANE_SHAPE_PROPERTY(int, Division)
  CORVANE_SHAPE_PROPERTY(TLineSplineMode, SplineMode)
  void BuildList(TRenderContextInfo& rci) override;

 private:
  TGLNodes FNodes{this};
  std::unique_ptr<TGLColor> FNodeColor;
  TLineNodesAspect FNodesAspect = lnaAxes;
  int FDivision = 10;
  TLineSplineMode FSplineMode = lsmLines;
};

enum TNormalDirection : uint8_t { ndInside, ndOutside };
enum TCubePart : uint8_t { cpTop = 1, cpBottom = 2, cpFront = 4, cpBack = 8, cpLeft = 16, cpRight = 32 };

class TCube : public TGLSceneObject {
 public:
  using TGLSceneObject::TGLSceneObject;
  CORVANE_SCENE_CLASS(TCube, TGLSceneObject)
  CORVANE_SHAPE_PROPERTY(float, CubeWidth)
  CORVANE_SHAPE_PROPERTY(float, CubeHeight)
  CORVANE_SHAPE_PROPERTY(float, CubeDepth)
  CORVANE_SHAPE_PROPERTY(TNormalDirection, NormalDirection)
  CORVANE_SHAPE_PROPERTY(uint8_t, Parts)  // TCubePart bits
  void BuildList(TRenderContextInfo& rci) override;

 private:
  float FCubeWidth = 1, FCubeHeight = 1, FCubeDepth = 1;
  TNormalDirection FNormalDirection = ndOutside;
  uint8_t FParts = cpTop | cpBottom | cpFront | cpBack | cpLeft | cpRight;
};

enum TNormalSmoothing : uint8_t { nsFlat, nsSmooth, nsNone };

class TQuadricObject : public TGLSceneObject {
 public:
  using TGLSceneObject::TGLSceneObject;
  CORVANE_SCENE_CLASS(TQuadricObject, TGLSceneObject)
  CORVANE_SHAPE_PROPERTY(TNormalSmoothing, Normals)
  CORVANE_SHAPE_PROPERTY(TNormalDirection, NormalDirection)

 protected:
  // A new GLU quadric set up for these properties; deleted however the drawing ends.
  struct TQuadric {
    explicit TQuadric(const TQuadricObject& o);
    ~TQuadric();
    TQuadric(const TQuadric&) = delete;
    TQuadric& operator=(const TQuadric&) = delete;
    void* Q;
  };
  TNormalSmoothing FNormals = nsSmooth;
  TNormalDirection FNormalDirection = ndOutside;
};

enum TCapType : uint8_t { ctNone, ctCenter, ctFlat };

class TSphere : public TQuadricObject {
 public:
  using TQuadricObject::TQuadricObject;
  CORVANE_SCENE_CLASS(TSphere, TQuadricObject)
  CORVANE_SHAPE_PROPERTY(float, Radius)
  CORVANE_SHAPE_PROPERTY(int, Slices)
  CORVANE_SHAPE_PROPERTY(int, Stacks)
  int Top() const { return FTop; }
  int Bottom() const { return FBottom; }
  int Start() const { return FStart; }
  int Stop() const { return FStop; }
  void SetTop(int v);     // -90..90
  void SetBottom(int v);  // -90..90
  void SetStart(int v);   // 0..360
  void SetStop(int v);    // 0..360
  CORVANE_SHAPE_PROPERTY(TCapType, TopCap)
  CORVANE_SHAPE_PROPERTY(TCapType, BottomCap)
  void BuildList(TRenderContextInfo& rci) override;

 private:
  float FRadius = 0.5f;
  int FSlices = 16, FStacks = 16, FTop = 90, FBottom = -90, FStart = 0, FStop = 360;
  TCapType FTopCap = ctNone, FBottomCap = ctNone;
};

class TDisk : public TQuadricObject {
 public:
  using TQuadricObject::TQuadricObject;
  CORVANE_SCENE_CLASS(TDisk, TQuadricObject)
  CORVANE_SHAPE_PROPERTY(float, InnerRadius)
  CORVANE_SHAPE_PROPERTY(float, OuterRadius)
  CORVANE_SHAPE_PROPERTY(int, Slices)
  CORVANE_SHAPE_PROPERTY(int, Loops)
  CORVANE_SHAPE_PROPERTY(float, StartAngle)
  CORVANE_SHAPE_PROPERTY(float, SweepAngle)
  void BuildList(TRenderContextInfo& rci) override;

 private:
  float FInnerRadius = 0, FOuterRadius = 0.5f;
  int FSlices = 16, FLoops = 2;
  float FStartAngle = 0, FSweepAngle = 360;
};

class TCylinderBase : public TQuadricObject {
 public:
  using TQuadricObject::TQuadricObject;
  CORVANE_SCENE_CLASS(TCylinderBase, TQuadricObject)
  CORVANE_SHAPE_PROPERTY(float, BottomRadius)
  CORVANE_SHAPE_PROPERTY(float, Height)
  CORVANE_SHAPE_PROPERTY(int, Slices)
  CORVANE_SHAPE_PROPERTY(int, Stacks)
  CORVANE_SHAPE_PROPERTY(int, Loops)

 protected:
  float FBottomRadius = 0.5f, FHeight = 1;
  int FSlices = 16, FStacks = 8, FLoops = 1;
};

enum TConePart : uint8_t { coSides = 1, coBottom = 2 };

class TCone : public TCylinderBase {
 public:
  using TCylinderBase::TCylinderBase;
  CORVANE_SCENE_CLASS(TCone, TCylinderBase)
  CORVANE_SHAPE_PROPERTY(uint8_t, Parts)  // TConePart bits
  void BuildList(TRenderContextInfo& rci) override;

 private:
  uint8_t FParts = coSides | coBottom;
};

enum TCylinderPart : uint8_t { cySides = 1, cyBottom = 2, cyTop = 4 };

class TCylinder : public TCylinderBase {
 public:
  using TCylinderBase::TCylinderBase;
  CORVANE_SCENE_CLASS(TCylinder, TCylinderBase)
  CORVANE_SHAPE_PROPERTY(float, TopRadius)
  CORVANE_SHAPE_PROPERTY(uint8_t, Parts)  // TCylinderPart bits
  void BuildList(TRenderContextInfo& rci) override;

 private:
  float FTopRadius = 0.5f;
  uint8_t FParts = cySides | cyBottom | cyTop;
};

enum TAnnulusPart : uint8_t { anInnerSides = 1, anOuterSides = 2, anBottom = 4, anTop = 8 };

class TAnnulus : public TCylinderBase {
 public:
  using TCylinderBase::TCylinderBase;
  CORVANE_SCENE_CLASS(TAnnulus, TCylinderBase)
  CORVANE_SHAPE_PROPERTY(float, BottomInnerRadius)
  CORVANE_SHAPE_PROPERTY(float, TopInnerRadius)
  CORVANE_SHAPE_PROPERTY(float, TopRadius)
  CORVANE_SHAPE_PROPERTY(uint8_t, Parts)  // TAnnulusPart bits
  void BuildList(TRenderContextInfo& rci) override;

 private:
  float FBottomInnerRadius = 0.3f, FTopInnerRadius = 0.3f, FTopRadius = 0.5f;
  uint8_t FParts = anInnerSides | anOuterSides | anBottom | anTop;
};

class TTorus : public TGLSceneObject {
 public:
  using TGLSceneObject::TGLSceneObject;
  CORVANE_SCENE_CLASS(TTorus, TGLSceneObject)
  CORVANE_SHAPE_PROPERTY(float, MajorRadius)
  CORVANE_SHAPE_PROPERTY(float, MinorRadius)
  CORVANE_SHAPE_PROPERTY(int, Rings)
  CORVANE_SHAPE_PROPERTY(int, Sides)
  void BuildList(TRenderContextInfo& rci) override;

 private:
  float FMajorRadius = 0.4f, FMinorRadius = 0.1f;
  int FRings = 25, FSides = 15;
};

// A teapot of bicubic Bezier patches (body, lid and knob turned about the Y axis; spout and
// handle as swept tubes), evaluated by OpenGL.
class TTeapot : public TGLSceneObject {
 public:
  using TGLSceneObject::TGLSceneObject;
  CORVANE_SCENE_CLASS(TTeapot, TGLSceneObject)
  void BuildList(TRenderContextInfo& rci) override;
};

enum TArrowHeadStackingStyle : uint8_t { ahssStacked, ahssCentered, ahssIncluded };
enum TArrowLinePart : uint8_t { alLine = 1, alTopArrow = 2, alBottomArrow = 4 };

class TArrowLine : public TCylinderBase {
 public:
  explicit TArrowLine(TComponent* owner = nullptr);
  CORVANE_SCENE_CLASS(TArrowLine, TCylinderBase)
  CORVANE_SHAPE_PROPERTY(float, TopRadius)
  CORVANE_SHAPE_PROPERTY(TArrowHeadStackingStyle, HeadStackingStyle)
  CORVANE_SHAPE_PROPERTY(uint8_t, Parts)  // TArrowLinePart bits
  CORVANE_SHAPE_PROPERTY(float, TopArrowHeadHeight)
  CORVANE_SHAPE_PROPERTY(float, BottomArrowHeadHeight)
  CORVANE_SHAPE_PROPERTY(float, TopArrowHeadRadius)
  CORVANE_SHAPE_PROPERTY(float, BottomArrowHeadRadius)
  void BuildList(TRenderContextInfo& rci) override;

 private:
  float FTopRadius = 0.1f;
  TArrowHeadStackingStyle FHeadStackingStyle = ahssStacked;
  uint8_t FParts = alLine | alTopArrow;
  float FTopArrowHeadHeight = 0.5f, FBottomArrowHeadHeight = 0.5f;
  float FTopArrowHeadRadius = 0.2f, FBottomArrowHeadRadius = 0.2f;
};

class TDodecahedron : public TGLSceneObject {
 public:
  using TGLSceneObject::TGLSceneObject;
  CORVANE_SCENE_CLASS(TDodecahedron, TGLSceneObject)
  void BuildList(TRenderContextInfo& rci) override;
};
// The twelve faces of a dodecahedron of circumradius 1: each five corners counter-clockwise
// seen from outside, and the face normal.
struct TDodecahedronFace {
  std::array<TAffineVector, 5> Corners;
  TAffineVector Normal;
};
const std::array<TDodecahedronFace, 12>& DodecahedronFaces();

class TPolygonBase : public TGLSceneObject {
 public:
  using TGLSceneObject::TGLSceneObject;
  CORVANE_SCENE_CLASS(TPolygonBase, TGLSceneObject)
  TGLNodes& Nodes() { return FNodes; }
  CORVANE_SHAPE_PROPERTY(int, Division)
  CORVANE_SHAPE_PROPERTY(TLineSplineMode, SplineMode)
  // A node change rebuilds the polygon.
  void NotifyChange(TPersistent* sender) override {
    FChanges |= ocStructure;
    TGLSceneObject::NotifyChange(sender);
  }

 protected:
  TGLNodes FNodes{this};
  int FDivision = 10;
  TLineSplineMode FSplineMode = lsmLines;
};

enum TPolygonPart : uint8_t { ppTop = 1, ppBottom = 2 };

// A flat polygon through the nodes (in the XY plane), tessellated by GLU.
class TPolygon : public TPolygonBase {
 public:
  using TPolygonBase::TPolygonBase;
  CORVANE_SCENE_CLASS(TPolygon, TPolygonBase)
  CORVANE_SHAPE_PROPERTY(uint8_t, Parts)  // TPolygonPart bits
  void BuildList(TRenderContextInfo& rci) override;

 private:
  uint8_t FParts = ppTop | ppBottom;
};
