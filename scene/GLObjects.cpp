#include "scene/GLObjects.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/ScopeGuard.h"
#include "scene/OpenGL12.h"
#include "scene/Spline.h"

void CubeWireframeBuildList(bool stippled, float size, const TVector& color) {
  GL.glPushAttrib(GL_CURRENT_BIT | GL_LINE_BIT | GL_LIGHTING_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
  // Plain coloured lines, whatever texture the object's material or the one before left on.
  GL.glDisable(GL_TEXTURE_2D);
  GL.glDisable(GL_LIGHTING);
  GL.glEnable(GL_LINE_SMOOTH);
  if (stippled) {
    GL.glEnable(GL_LINE_STIPPLE);
    GL.glEnable(GL_BLEND);
    GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GL.glLineStipple(1, 0xCCCC);
  }
  GL.glLineWidth(1);
  GL.glColor3f(color[0], color[1], color[2]);
  const float a = size * 0.5f;
  static constexpr int strip[10][3] = {{1, -1, -1},  {1, 1, -1},  {1, 1, 1},  {1, -1, 1},  {1, -1, -1},
                                       {-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}};
  GL.glBegin(GL_LINE_STRIP);
  for (const auto& p : strip) GL.glVertex3f(p[0] * a, p[1] * a, p[2] * a);
  GL.glEnd();
  static constexpr int lines[6][3] = {{1, 1, 1}, {-1, 1, 1}, {-1, -1, -1}, {-1, 1, -1}, {1, -1, 1}, {-1, -1, 1}};
  GL.glBegin(GL_LINES);
  for (const auto& p : lines) GL.glVertex3f(p[0] * a, p[1] * a, p[2] * a);
  GL.glEnd();
  GL.glPopAttrib();
}

// --- dummy cube

TDummyCube::TDummyCube(TComponent* owner)
    : TGLImmaterialSceneObject(owner), FEdgeColor(std::make_unique<TGLColor>(this, TVector{1, 1, 1, 1})) {
  FObjectStyle |= osDirectDraw;
}

void TDummyCube::SetCubeSize(float v) {
  if (v == FCubeSize) return;
  FCubeSize = v;
  StructureChanged();
}

void TDummyCube::SetVisibleAtRunTime(bool v) {
  if (v == FVisibleAtRunTime) return;
  FVisibleAtRunTime = v;
  StructureChanged();
}

void TDummyCube::Assign(const TPersistent* source) {
  if (auto* d = dynamic_cast<const TDummyCube*>(source)) {
    FCubeSize = d->FCubeSize;
    FEdgeColor->BeginUpdate();
    FEdgeColor->Assign(d->FEdgeColor.get());
    FEdgeColor->EndUpdate();
    FVisibleAtRunTime = d->FVisibleAtRunTime;
    StructureChanged();
  }
  TGLImmaterialSceneObject::Assign(source);
}

TVector TDummyCube::BarycenterAbsolutePosition() {
  if (Count() == 0) return AbsolutePosition();
  TVector sum{0, 0, 0, 0};
  for (int i = 0; i < Count(); ++i) sum = VectorAdd(sum, Children(i)->BarycenterAbsolutePosition());
  ScaleVector(sum, 1.0f / static_cast<float>(Count()));
  return sum;
}

void TDummyCube::BuildList(TRenderContextInfo&) {
  if ((ComponentState & csDesigning) || FVisibleAtRunTime) CubeWireframeBuildList(true, FCubeSize, FEdgeColor->Color());
}

// --- sprite

TSprite::TSprite(TComponent* owner) : TGLSceneObject(owner) {
  FObjectStyle |= osDirectDraw;
  Material().Texture().SetDisabled(false);
}

namespace {
template <typename T>
bool StoreChanged(T& field, T v) {
  if (field == v) return false;
  field = v;
  return true;
}
}  // namespace

void TSprite::SetWidth(float v) {
  if (StoreChanged(FWidth, v)) StructureChanged();
}
void TSprite::SetHeight(float v) {
  if (StoreChanged(FHeight, v)) StructureChanged();
}
void TSprite::SetRotation(float v) {
  if (StoreChanged(FRotation, v)) StructureChanged();
}
void TSprite::SetAlphaChannel(float v) {
  if (!(v >= 0)) v = 0;  // NaN too
  if (v > 1) v = 1;
  if (StoreChanged(FAlphaChannel, v)) StructureChanged();
}

void TSprite::Assign(const TPersistent* source) {
  if (auto* s = dynamic_cast<const TSprite*>(source)) {
    FWidth = s->FWidth;
    FHeight = s->FHeight;
    FRotation = s->FRotation;
    FAlphaChannel = s->FAlphaChannel;
  }
  TGLSceneObject::Assign(source);
}

void TSprite::BuildList(TRenderContextInfo&) {
  // The current modelview matrix without its rotation: the quad faces the viewer.
  GLfloat mv[16];
  GL.glGetFloatv(GL_MODELVIEW_MATRIX, mv);
  const float sx = std::sqrt(mv[0] * mv[0] + mv[1] * mv[1] + mv[2] * mv[2]);
  const float sy = std::sqrt(mv[4] * mv[4] + mv[5] * mv[5] + mv[6] * mv[6]);
  GL.glPushMatrix();
  GLfloat m[16] = {sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, 1, 0, mv[12], mv[13], mv[14], 1};
  GL.glLoadMatrixf(m);
  if (FAlphaChannel != 1) SetGLMaterialAlphaChannel(GL_FRONT, FAlphaChannel);
  const float w = FWidth * 0.5f, h = FHeight * 0.5f;
  float s = 0, c = 1;
  if (FRotation != 0) SinCos(DegToRad(FRotation), s, c);
  auto corner = [&](float x, float y) { GL.glVertex3f(x * c - y * s, x * s + y * c, 0); };
  GL.glNormal3f(0, 0, 1);
  GL.glBegin(GL_QUADS);
  GL.glTexCoord2f(1, 1);
  corner(w, h);
  GL.glTexCoord2f(0, 1);
  corner(-w, h);
  GL.glTexCoord2f(0, 0);
  corner(-w, -h);
  GL.glTexCoord2f(1, 0);
  corner(w, -h);
  GL.glEnd();
  GL.glPopMatrix();
}

// --- head-up sprite

void THUDSprite::Render(TRenderContextInfo& rci) {
  Material().Apply(rci);
  TScopeGuard unApply([&] { Material().UnApply(rci); });
  if (FAlphaChannel != 1) SetGLMaterialAlphaChannel(GL_FRONT, FAlphaChannel);
  const float vw = static_cast<float>(rci.Width), vh = static_cast<float>(rci.Height);
  GL.glMatrixMode(GL_MODELVIEW);
  GL.glPushMatrix();
  GL.glLoadIdentity();
  GL.glScalef(2 / (vw > 0 ? vw : 1), 2 / (vh > 0 ? vh : 1), 1);
  GL.glTranslatef(Position().X() - vw * 0.5f, vh * 0.5f - Position().Y(), Position().Z());
  if (FRotation != 0) GL.glRotatef(FRotation, 0, 0, 1);
  GL.glMatrixMode(GL_PROJECTION);
  GL.glPushMatrix();
  GL.glLoadIdentity();
  GL.glPushAttrib(GL_ENABLE_BIT);
  GL.glDisable(GL_DEPTH_TEST);
  const float w = FWidth * 0.5f, h = FHeight * 0.5f;
  GL.glBegin(GL_QUADS);
  GL.glNormal3f(0, 1, 0);
  GL.glTexCoord2f(0, 0);
  GL.glVertex2f(-w, -h);
  GL.glTexCoord2f(1, 0);
  GL.glVertex2f(w, -h);
  GL.glTexCoord2f(1, 1);
  GL.glVertex2f(w, h);
  GL.glTexCoord2f(0, 1);
  GL.glVertex2f(-w, h);
  GL.glEnd();
  GL.glPopAttrib();
  GL.glPopMatrix();
  GL.glMatrixMode(GL_MODELVIEW);
  GL.glPopMatrix();
  unApply.Dismiss();
  Material().UnApply(rci);
  if (Count() > 0) RenderChildren(0, Count() - 1, rci);
}

// --- plane

void TPlane::BuildList(TRenderContextInfo&) {
  const float w = FWidth * 0.5f, h = FHeight * 0.5f;
  const float s0 = FXOffset, t0 = FYOffset, s1 = FXOffset + FXTiles, t1 = FYOffset + FYTiles;
  GL.glNormal3f(0, 0, 1);
  GL.glBegin(GL_QUADS);
  GL.glTexCoord2f(s1, t1);
  GL.glVertex3f(w, h, 0);
  GL.glTexCoord2f(s0, t1);
  GL.glVertex3f(-w, h, 0);
  GL.glTexCoord2f(s0, t0);
  GL.glVertex3f(-w, -h, 0);
  GL.glTexCoord2f(s1, t0);
  GL.glVertex3f(w, -h, 0);
  GL.glEnd();
}

// --- lines

TLineBase::TLineBase(TComponent* owner)
    : TGLImmaterialSceneObject(owner), FLineColor(std::make_unique<TGLColor>(this, TVector{1, 1, 1, 1})) {}

void TLineBase::SetupLineStyle() {
  GL.glDisable(GL_LIGHTING);
  if (FLinePattern != 0xFFFF) {
    GL.glEnable(GL_LINE_STIPPLE);
    GL.glLineStipple(1, FLinePattern);
  }
  if (FAntiAliased) {
    GL.glEnable(GL_LINE_SMOOTH);
    GL.glEnable(GL_BLEND);
    GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }
  GL.glLineWidth(FLineWidth);
  GL.glColor4fv(FLineColor->AsAddress());
}

TLines::TLines(TComponent* owner)
    : TLineBase(owner), FNodeColor(std::make_unique<TGLColor>(this, TVector{0, 0, 1, 1})) {}

void TLines::BuildList(TRenderContextInfo& rci) {
  if (FNodes.Count() == 0) return;
  {
    GL.glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LINE_BIT | GL_COLOR_BUFFER_BIT);
    TScopeGuard pop([] { GL.glPopAttrib(); });
    SetupLineStyle();
    GL.glBegin(GL_LINE_STRIP);
    if (FSplineMode == lsmCubicSpline && FNodes.Count() > 1 && FDivision > 0) {
      auto spline = FNodes.CreateNewCubicSpline();
      const int steps = (FNodes.Count() - 1) * FDivision;
      for (int i = 0; i <= steps; ++i) {
        TAffineVector v;
        spline->SplineAffineVector(static_cast<float>(i) / static_cast<float>(FDivision), v);
        GL.glVertex3fv(v.data());
      }
    } else {
      for (int i = 0; i < FNodes.Count(); ++i) GL.glVertex3fv(FNodes.Items(i)->AsAddress());
    }
    GL.glEnd();
  }
  if (FNodesAspect == lnaInvisible) return;
  const float size = 0.1f;  // node markers are small whatever the line's size
  for (int i = 0; i < FNodes.Count(); ++i) {
    GL.glPushMatrix();
    TScopeGuard pop([] { GL.glPopMatrix(); });
    const TGLNode* n = FNodes.Items(i);
    GL.glTranslatef(n->X(), n->Y(), n->Z());
    switch (FNodesAspect) {
      case lnaAxes: DrawAxes(0xAAAA, size * 2); break;
      case lnaCube: CubeWireframeBuildList(false, size, FNodeColor->Color()); break;
      case lnaDodecahedron: {
        GL.glPushAttrib(GL_LIGHTING_BIT);
        TScopeGuard popLighting([] { GL.glPopAttrib(); });
        SetGLMaterialColors(GL_FRONT, {0, 0, 0, 1}, FNodeColor->Color(), FNodeColor->Color(), {0, 0, 0, 1});
        GL.glScalef(size, size, size);
        TDodecahedron().BuildList(rci);
        break;
      }
      default: break;
    }
  }
}

// --- cube

void TCube::BuildList(TRenderContextInfo&) {
  const float w = FCubeWidth * 0.5f, h = FCubeHeight * 0.5f, d = FCubeDepth * 0.5f;
  const float sign = FNormalDirection == ndInside ? -1.0f : 1.0f;
  struct TFace {
    TCubePart Part;
    float N[3];
    float U[3], V[3];  // corner = N + s U + t V, counter-clockwise from outside
  };
  static constexpr TFace faces[6] = {{cpFront, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
                                     {cpBack, {0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
                                     {cpLeft, {-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
                                     {cpRight, {1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
                                     {cpTop, {0, 1, 0}, {1, 0, 0}, {0, 0, -1}},
                                     {cpBottom, {0, -1, 0}, {1, 0, 0}, {0, 0, 1}}};
  static constexpr float st[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  GL.glBegin(GL_QUADS);
  for (const TFace& f : faces) {
    if (!(FParts & f.Part)) continue;
    GL.glNormal3f(f.N[0] * sign, f.N[1] * sign, f.N[2] * sign);
    for (int k = 0; k < 4; ++k) {
      // Inward normals turn the winding round too.
      const auto& c = st[sign > 0 ? k : 3 - k];
      GL.glTexCoord2f((c[0] + 1) * 0.5f, (c[1] + 1) * 0.5f);
      GL.glVertex3f((f.N[0] + c[0] * f.U[0] + c[1] * f.V[0]) * w, (f.N[1] + c[0] * f.U[1] + c[1] * f.V[1]) * h,
                    (f.N[2] + c[0] * f.U[2] + c[1] * f.V[2]) * d);
    }
  }
  GL.glEnd();
}

// --- quadrics

TQuadricObject::TQuadric::TQuadric(const TQuadricObject& o) : Q(GL.gluNewQuadric()) {
  auto* q = static_cast<GLUquadric*>(Q);
  GL.gluQuadricDrawStyle(q, GLU_FILL);
  static constexpr GLenum normals[3] = {GLU_FLAT, GLU_SMOOTH, GLU_NONE};
  GL.gluQuadricNormals(q, normals[o.FNormals]);
  GL.gluQuadricTexture(q, GL_TRUE);
  GL.gluQuadricOrientation(q, o.FNormalDirection == ndInside ? GLU_INSIDE : GLU_OUTSIDE);
}

TQuadricObject::TQuadric::~TQuadric() {
  if (Q) GL.gluDeleteQuadric(static_cast<GLUquadric*>(Q));
}

namespace {
int Limit(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }
}  // namespace

void TSphere::SetTop(int v) { FTop == Limit(v, -90, 90) ? void() : (FTop = Limit(v, -90, 90), StructureChanged()); }
void TSphere::SetBottom(int v) {
  FBottom == Limit(v, -90, 90) ? void() : (FBottom = Limit(v, -90, 90), StructureChanged());
}
void TSphere::SetStart(int v) { FStart == Limit(v, 0, 360) ? void() : (FStart = Limit(v, 0, 360), StructureChanged()); }
void TSphere::SetStop(int v) { FStop == Limit(v, 0, 360) ? void() : (FStop = Limit(v, 0, 360), StructureChanged()); }

void TSphere::BuildList(TRenderContextInfo&) {
  const int slices = std::max(FSlices, 3), stacks = std::max(FStacks, 1);
  const float top = DegToRad(static_cast<float>(FTop)), bottom = DegToRad(static_cast<float>(FBottom));
  const float start = DegToRad(static_cast<float>(FStart)), stop = DegToRad(static_cast<float>(FStop));
  const float sign = FNormalDirection == ndInside ? -1.0f : 1.0f;
  auto point = [&](float lat, float lon, float s, float t) {
    float sl, cl, so, co;
    SinCos(lat, sl, cl);
    SinCos(lon, so, co);
    const TAffineVector n{cl * so, sl, cl * co};
    if (FNormals != nsNone) GL.glNormal3f(n[0] * sign, n[1] * sign, n[2] * sign);
    GL.glTexCoord2f(s, t);
    GL.glVertex3f(n[0] * FRadius, n[1] * FRadius, n[2] * FRadius);
  };
  for (int j = 0; j < stacks; ++j) {
    const float t0 = static_cast<float>(j) / stacks, t1 = static_cast<float>(j + 1) / stacks;
    const float lat0 = bottom + (top - bottom) * t0, lat1 = bottom + (top - bottom) * t1;
    GL.glBegin(GL_QUAD_STRIP);
    for (int i = 0; i <= slices; ++i) {
      const float s = static_cast<float>(i) / slices;
      const float lon = start + (stop - start) * s;
      // Outward faces are counter-clockwise from outside; inward ones the other way round.
      if (sign > 0) {
        point(lat1, lon, s, t1);
        point(lat0, lon, s, t0);
      } else {
        point(lat0, lon, s, t0);
        point(lat1, lon, s, t1);
      }
    }
    GL.glEnd();
  }
  auto cap = [&](TCapType type, float lat, float dir) {
    if (type == ctNone) return;
    float sl, cl;
    SinCos(lat, sl, cl);
    const float centreY = type == ctCenter ? 0 : sl * FRadius;
    GL.glBegin(GL_TRIANGLE_FAN);
    GL.glNormal3f(0, dir * sign, 0);
    GL.glTexCoord2f(0.5f, 0.5f);
    GL.glVertex3f(0, centreY, 0);
    for (int i = 0; i <= slices; ++i) {
      const float s = static_cast<float>(dir * sign > 0 ? slices - i : i) / slices;
      float so, co;
      SinCos(start + (stop - start) * s, so, co);
      GL.glTexCoord2f(0.5f + so * 0.5f, 0.5f + co * 0.5f);
      GL.glVertex3f(cl * so * FRadius, sl * FRadius, cl * co * FRadius);
    }
    GL.glEnd();
  };
  if (FTop < 90) cap(FTopCap, top, 1);
  if (FBottom > -90) cap(FBottomCap, bottom, -1);
}

void TDisk::BuildList(TRenderContextInfo&) {
  TQuadric q(*this);
  GL.gluPartialDisk(static_cast<GLUquadric*>(q.Q), FInnerRadius, FOuterRadius, FSlices, FLoops, FStartAngle,
                    FSweepAngle);
}

namespace {
// GLU builds along +Z from 0; the library's shapes stand along +Y, centred at the origin.
void AlongY(float height) {
  GL.glRotatef(-90, 1, 0, 0);
  GL.glTranslatef(0, 0, -height * 0.5f);
}
// A disk facing -Z at the current origin (the bottom of a shape built along +Z).
void BottomDisk(GLUquadric* q, float inner, float outer, int slices, int loops) {
  GL.glPushMatrix();
  GL.glRotatef(180, 1, 0, 0);
  GL.gluDisk(q, inner, outer, slices, loops);
  GL.glPopMatrix();
}
void TopDisk(GLUquadric* q, float height, float inner, float outer, int slices, int loops) {
  GL.glPushMatrix();
  GL.glTranslatef(0, 0, height);
  GL.gluDisk(q, inner, outer, slices, loops);
  GL.glPopMatrix();
}
}  // namespace

void TCone::BuildList(TRenderContextInfo&) {
  TQuadric q(*this);
  auto* quad = static_cast<GLUquadric*>(q.Q);
  GL.glPushMatrix();
  TScopeGuard pop([] { GL.glPopMatrix(); });
  AlongY(FHeight);
  if (FParts & coSides) GL.gluCylinder(quad, FBottomRadius, 0, FHeight, FSlices, FStacks);
  if (FParts & coBottom) BottomDisk(quad, 0, FBottomRadius, FSlices, FLoops);
}

void TCylinder::BuildList(TRenderContextInfo&) {
  TQuadric q(*this);
  auto* quad = static_cast<GLUquadric*>(q.Q);
  GL.glPushMatrix();
  TScopeGuard pop([] { GL.glPopMatrix(); });
  AlongY(FHeight);
  if (FParts & cySides) GL.gluCylinder(quad, FBottomRadius, FTopRadius, FHeight, FSlices, FStacks);
  if (FParts & cyBottom) BottomDisk(quad, 0, FBottomRadius, FSlices, FLoops);
  if (FParts & cyTop) TopDisk(quad, FHeight, 0, FTopRadius, FSlices, FLoops);
}

void TAnnulus::BuildList(TRenderContextInfo&) {
  TQuadric q(*this);
  auto* quad = static_cast<GLUquadric*>(q.Q);
  GL.glPushMatrix();
  TScopeGuard pop([] { GL.glPopMatrix(); });
  AlongY(FHeight);
  if (FParts & anOuterSides) GL.gluCylinder(quad, FBottomRadius, FTopRadius, FHeight, FSlices, FStacks);
  if (FParts & anInnerSides) {
    // The inner wall faces the axis.
    GL.gluQuadricOrientation(quad, FNormalDirection == ndInside ? GLU_OUTSIDE : GLU_INSIDE);
    GL.gluCylinder(quad, FBottomInnerRadius, FTopInnerRadius, FHeight, FSlices, FStacks);
    GL.gluQuadricOrientation(quad, FNormalDirection == ndInside ? GLU_INSIDE : GLU_OUTSIDE);
  }
  if (FParts & anBottom) BottomDisk(quad, FBottomInnerRadius, FBottomRadius, FSlices, FLoops);
  if (FParts & anTop) TopDisk(quad, FHeight, FTopInnerRadius, FTopRadius, FSlices, FLoops);
}

// --- torus

void TTorus::BuildList(TRenderContextInfo&) {
  const int rings = std::max(FRings, 3), sides = std::max(FSides, 3);
  const float twoPi = 6.2831853f;
  for (int i = 0; i < rings; ++i) {
    GL.glBegin(GL_QUAD_STRIP);
    for (int j = 0; j <= sides; ++j) {
      float sv, cv;
      SinCos(twoPi * static_cast<float>(j) / sides, sv, cv);
      for (int k : {i, i + 1}) {
        float su, cu;
        SinCos(twoPi * static_cast<float>(k) / rings, su, cu);
        GL.glNormal3f(cu * cv, su * cv, sv);
        GL.glTexCoord2f(static_cast<float>(k) / rings, static_cast<float>(j) / sides);
        const float r = FMajorRadius + FMinorRadius * cv;
        GL.glVertex3f(r * cu, r * su, FMinorRadius * sv);
      }
    }
    GL.glEnd();
  }
}

// --- teapot

namespace {

using TPatch = std::array<std::array<TAffineVector, 4>, 4>;  // [along the curve][across]

// A cubic profile (radius, height) turned about Y: four patches of quarter circles.
void AddRevolution(std::vector<TPatch>& patches, const float (&profile)[4][2]) {
  constexpr float k = 0.5523f;  // quarter circle as a cubic
  constexpr float across[4][2] = {{1, 0}, {1, k}, {k, 1}, {0, 1}};
  for (int q = 0; q < 4; ++q) {
    float sq, cq;
    SinCos(DegToRad(90.0f * static_cast<float>(q)), sq, cq);
    TPatch p;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        const float x = across[j][0] * profile[i][0], z = across[j][1] * profile[i][0];
        p[i][j] = {x * cq - z * sq, profile[i][1], x * sq + z * cq};
      }
    patches.push_back(p);
  }
}

// A tube along a cubic spine in the XY plane with a radius at each control point.
void AddTube(std::vector<TPatch>& patches, const float (&spine)[4][2], const float (&radius)[4]) {
  constexpr float k = 0.5523f;
  constexpr float across[4][2] = {{1, 0}, {1, k}, {k, 1}, {0, 1}};
  for (int q = 0; q < 4; ++q) {
    float sq, cq;
    SinCos(DegToRad(90.0f * static_cast<float>(q)), sq, cq);
    TPatch p;
    for (int i = 0; i < 4; ++i) {
      const int a = i == 0 ? 0 : i - 1, b = i == 3 ? 3 : i + 1;
      TAffineVector t{spine[b][0] - spine[a][0], spine[b][1] - spine[a][1], 0};
      NormalizeVector(t);
      const TAffineVector n{-t[1], t[0], 0};
      for (int j = 0; j < 4; ++j) {
        const float u = across[j][0] * cq - across[j][1] * sq, v = across[j][0] * sq + across[j][1] * cq;
        p[i][j] = {spine[i][0] + radius[i] * u * n[0], spine[i][1] + radius[i] * u * n[1], radius[i] * v};
      }
    }
    patches.push_back(p);
  }
}

const std::vector<TPatch>& TeapotPatches() {
  static const std::vector<TPatch> patches = [] {
    std::vector<TPatch> p;
    const float bottom[4][2] = {{0, 0}, {0.8f, 0}, {1.0f, 0}, {1.0f, 0.15f}};
    const float lower[4][2] = {{1.0f, 0.15f}, {1.05f, 0.45f}, {1.15f, 0.8f}, {1.0f, 1.05f}};
    const float upper[4][2] = {{1.0f, 1.05f}, {0.9f, 1.25f}, {0.8f, 1.35f}, {0.75f, 1.4f}};
    const float lid[4][2] = {{0.75f, 1.4f}, {0.6f, 1.45f}, {0.3f, 1.5f}, {0.12f, 1.55f}};
    const float knob[4][2] = {{0.12f, 1.55f}, {0.25f, 1.6f}, {0.2f, 1.75f}, {0, 1.75f}};
    for (const auto* profile : {&bottom, &lower, &upper, &lid, &knob}) AddRevolution(p, *profile);
    const float spout[4][2] = {{0.95f, 0.5f}, {1.6f, 0.6f}, {1.7f, 1.1f}, {2.0f, 1.35f}};
    const float spoutRadius[4] = {0.25f, 0.18f, 0.12f, 0.1f};
    AddTube(p, spout, spoutRadius);
    const float handle[4][2] = {{-0.95f, 1.0f}, {-1.7f, 1.1f}, {-1.7f, 0.35f}, {-1.0f, 0.35f}};
    const float handleRadius[4] = {0.08f, 0.08f, 0.08f, 0.08f};
    AddTube(p, handle, handleRadius);
    return p;
  }();
  return patches;
}

}  // namespace

void TTeapot::BuildList(TRenderContextInfo&) {
  constexpr int grid = 8;
  static constexpr GLfloat texPoints[2][2][2] = {{{0, 0}, {1, 0}}, {{0, 1}, {1, 1}}};
  GL.glPushAttrib(GL_ENABLE_BIT | GL_EVAL_BIT | GL_POLYGON_BIT);
  TScopeGuard pop([] { GL.glPopAttrib(); });
  GL.glEnable(GL_AUTO_NORMAL);
  GL.glEnable(GL_MAP2_VERTEX_3);
  GL.glEnable(GL_MAP2_TEXTURE_COORD_2);
  // The patches run both ways round: both sides are front.
  GL.glDisable(GL_CULL_FACE);
  GL.glPushMatrix();
  TScopeGuard popMatrix([] { GL.glPopMatrix(); });
  GL.glScalef(0.4f, 0.4f, 0.4f);
  GL.glTranslatef(0, -0.85f, 0);
  GL.glMap2f(GL_MAP2_TEXTURE_COORD_2, 0, 1, 2, 2, 0, 1, 4, 2, &texPoints[0][0][0]);
  GL.glMapGrid2f(grid, 0, 1, grid, 0, 1);
  for (const TPatch& p : TeapotPatches()) {
    // u runs along the profile, v across it: the derived normals point outwards.
    GL.glMap2f(GL_MAP2_VERTEX_3, 0, 1, 12, 4, 0, 1, 3, 4, p[0][0].data());
    GL.glEvalMesh2(GL_FILL, 0, grid, 0, grid);
  }
}

// --- arrow line

TArrowLine::TArrowLine(TComponent* owner) : TCylinderBase(owner) { FBottomRadius = 0.1f; }

void TArrowLine::BuildList(TRenderContextInfo&) {
  TQuadric q(*this);
  auto* quad = static_cast<GLUquadric*>(q.Q);
  // Where the shaft runs and where each head starts, along +Z from the bottom end.
  float shaftStart = 0, shaftEnd = FHeight, topHead = FHeight, bottomHead = 0;
  const bool top = FParts & alTopArrow, bottom = FParts & alBottomArrow;
  switch (FHeadStackingStyle) {
    case ahssStacked:  // heads beyond the ends of the shaft
      break;
    case ahssCentered:  // heads centred on the ends
      topHead = FHeight - FTopArrowHeadHeight * 0.5f;
      bottomHead = FBottomArrowHeadHeight * 0.5f;
      if (top) shaftEnd = topHead;
      if (bottom) shaftStart = bottomHead;
      break;
    case ahssIncluded:  // heads inside the height
      topHead = FHeight - FTopArrowHeadHeight;
      bottomHead = FBottomArrowHeadHeight;
      if (top) shaftEnd = topHead;
      if (bottom) shaftStart = bottomHead;
      break;
  }
  GL.glPushMatrix();
  TScopeGuard pop([] { GL.glPopMatrix(); });
  AlongY(FHeight);
  if ((FParts & alLine) && shaftEnd > shaftStart) {
    GL.glPushMatrix();
    GL.glTranslatef(0, 0, shaftStart);
    GL.gluCylinder(quad, FBottomRadius, FTopRadius, shaftEnd - shaftStart, FSlices, FStacks);
    BottomDisk(quad, 0, FBottomRadius, FSlices, FLoops);
    TopDisk(quad, shaftEnd - shaftStart, 0, FTopRadius, FSlices, FLoops);
    GL.glPopMatrix();
  }
  if (top) {
    GL.glPushMatrix();
    GL.glTranslatef(0, 0, topHead);
    GL.gluCylinder(quad, FTopArrowHeadRadius, 0, FTopArrowHeadHeight, FSlices, FStacks);
    BottomDisk(quad, 0, FTopArrowHeadRadius, FSlices, FLoops);
    GL.glPopMatrix();
  }
  if (bottom) {
    GL.glPushMatrix();
    GL.glTranslatef(0, 0, bottomHead);
    GL.glRotatef(180, 1, 0, 0);
    GL.gluCylinder(quad, FBottomArrowHeadRadius, 0, FBottomArrowHeadHeight, FSlices, FStacks);
    BottomDisk(quad, 0, FBottomArrowHeadRadius, FSlices, FLoops);
    GL.glPopMatrix();
  }
}

// --- dodecahedron

const std::array<TDodecahedronFace, 12>& DodecahedronFaces() {
  static const std::array<TDodecahedronFace, 12> faces = [] {
    const float phi = (1 + std::sqrt(5.0f)) / 2, inv = 1 / phi, r = 1 / std::sqrt(3.0f);
    std::vector<TAffineVector> v;
    for (float x : {-1.0f, 1.0f})
      for (float y : {-1.0f, 1.0f})
        for (float z : {-1.0f, 1.0f}) v.push_back({x, y, z});
    for (float a : {-1.0f, 1.0f})
      for (float b : {-1.0f, 1.0f}) {
        v.push_back({0, a * inv, b * phi});
        v.push_back({a * inv, b * phi, 0});
        v.push_back({a * phi, 0, b * inv});
      }
    for (auto& p : v) ScaleVector(p, r);
    // The face centres point at the vertices of an icosahedron.
    std::vector<TAffineVector> normals;
    for (float a : {-1.0f, 1.0f})
      for (float b : {-1.0f, 1.0f}) {
        normals.push_back(VectorNormalize({0, a * phi, b}));
        normals.push_back(VectorNormalize({a * phi, b, 0}));
        normals.push_back(VectorNormalize({a, 0, b * phi}));
      }
    std::array<TDodecahedronFace, 12> f;
    for (size_t i = 0; i < 12; ++i) {
      const TAffineVector n = normals[i];
      std::vector<TAffineVector> near(v);
      std::sort(near.begin(), near.end(), [&](const TAffineVector& a, const TAffineVector& b) {
        return VectorDotProduct(a, n) > VectorDotProduct(b, n);
      });
      near.resize(5);
      // Counter-clockwise about the normal.
      const TAffineVector u = VectorNormalize(VectorPerpendicular(near[0], n)), w = VectorCrossProduct(n, u);
      std::sort(near.begin(), near.end(), [&](const TAffineVector& a, const TAffineVector& b) {
        return std::atan2(VectorDotProduct(a, w), VectorDotProduct(a, u)) <
               std::atan2(VectorDotProduct(b, w), VectorDotProduct(b, u));
      });
      std::copy(near.begin(), near.end(), f[i].Corners.begin());
      f[i].Normal = n;
    }
    return f;
  }();
  return faces;
}

void TDodecahedron::BuildList(TRenderContextInfo&) {
  for (const TDodecahedronFace& f : DodecahedronFaces()) {
    GL.glNormal3fv(f.Normal.data());
    GL.glBegin(GL_TRIANGLE_FAN);
    for (const TAffineVector& c : f.Corners) GL.glVertex3fv(c.data());
    GL.glEnd();
  }
}

// --- polygon

void TPolygon::BuildList(TRenderContextInfo&) {
  const int division = FSplineMode == lsmCubicSpline ? FDivision : 0;
  if (FParts & ppTop) {
    const TAffineVector up{0, 0, 1};
    FNodes.RenderTesselatedPolygon(true, &up, division, false);
  }
  if (FParts & ppBottom) {
    const TAffineVector down{0, 0, -1};
    FNodes.RenderTesselatedPolygon(true, &down, division, true);
  }
}
