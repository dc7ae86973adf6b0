#include "scene/GLObjects.h"

#include <cmath>

#include "scene/OpenGL12.h"

void CubeWireframeBuildList(bool stippled, float size, const TVector& color) {
  GL.glPushAttrib(GL_CURRENT_BIT | GL_LINE_BIT | GL_LIGHTING_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
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
  static constexpr int strip[10][3] = {{1, -1, -1}, {1, 1, -1},  {1, 1, 1},   {1, -1, 1},  {1, -1, -1},
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
  Material().UnApply(rci);
  if (Count() > 0) RenderChildren(0, Count() - 1, rci);
}
