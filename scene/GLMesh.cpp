#include "scene/GLMesh.h"

#include <cstddef>

#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "scene/OpenGL12.h"

void TVertexList::SetItem(int i, const TVertexData& v) {
  FItems.at(static_cast<size_t>(i)) = v;
  NotifyChange(this);
}

void TVertexList::Add(const TVertexData& v) {
  FItems.push_back(v);
  NotifyChange(this);
}

void TVertexList::AddVertex(const TAffineVector& position, const TAffineVector& normal, const TVector& color, float s,
                            float t) {
  Add({{s, t},
       {color[0], color[1], color[2], color[3]},
       {normal[0], normal[1], normal[2]},
       {position[0], position[1], position[2]}});
}

void TVertexList::Clear() {
  FItems.clear();
  NotifyChange(this);
}

void TVertexList::Assign(const TPersistent* source) {
  if (auto* s = dynamic_cast<const TVertexList*>(source)) {
    FItems = s->FItems;
    NotifyChange(this);
    return;
  }
  TGLUpdateAbleObject::Assign(source);
}

TMesh::TMesh(TComponent* owner) : TGLSceneObject(owner) {
  FVertices.BeginUpdate();
  FVertices.AddVertex({1, 0, 0}, {0, 0, 1});
  FVertices.AddVertex({0, 1, 0}, {0, 0, 1});
  FVertices.AddVertex({0, 0, 1}, {0, 0, 1});
  FVertices.EndUpdate();
}

void TMesh::SetMode(TMeshMode m) {
  if (m == FMode) return;
  FMode = m;
  StructureChanged();
}

void TMesh::SetVertexMode(TVertexMode m) {
  if (m == FVertexMode) return;
  FVertexMode = m;
  StructureChanged();
}

void TMesh::BuildList(TRenderContextInfo&) {
  if (FVertexMode == vmVNT || FVertexMode == vmVT)
    throw EAssertionFailed("Interleaved Array format not supported yet. Sorry.");
  if (FVertices.Count() == 0) return;
  GL.glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT);
  TScopeGuard pop([] { GL.glPopAttrib(); });
  GL.glFrontFace(GL_CCW);
  const auto* base = reinterpret_cast<const uint8_t*>(FVertices.List());
  switch (FVertexMode) {
    case vmV: GL.glInterleavedArrays(GL_V3F, 48, base + offsetof(TVertexData, Coord)); break;
    case vmVN: GL.glInterleavedArrays(GL_N3F_V3F, 48, base + offsetof(TVertexData, Normal)); break;
    case vmVNC: GL.glInterleavedArrays(GL_C4F_N3F_V3F, 48, base + offsetof(TVertexData, Color)); break;
    default: GL.glInterleavedArrays(GL_T2F_C4F_N3F_V3F, 0, base);
  }
  if (FVertexMode == vmVNC || FVertexMode == vmVNCT) {
    GL.glEnable(GL_COLOR_MATERIAL);
    GL.glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    ResetGLMaterialColors();
  }
  static constexpr GLenum modes[6] = {GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN, GL_TRIANGLES,
                                      GL_QUAD_STRIP,     GL_QUADS,        GL_POLYGON};
  GL.glDrawArrays(modes[FMode], 0, FVertices.Count());
}
