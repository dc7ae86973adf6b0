#pragma once
// TMesh: a free list of vertices (texture coordinate, colour, normal, position) drawn as one
// interleaved array in a chosen primitive mode.
#include <cstdint>
#include <vector>

#include "scene/SceneGraph.h"

// One vertex, 48 bytes, in the order of the interleaved format GL_T2F_C4F_N3F_V3F.
struct TVertexData {
  float TexCoord[2];
  float Color[4];
  float Normal[3];
  float Coord[3];
};
static_assert(sizeof(TVertexData) == 48);

class TVertexList : public TGLUpdateAbleObject {
 public:
  explicit TVertexList(TPersistent* owner) : TGLUpdateAbleObject(owner) {}
  const char* ClassName() const override { return "TVertexList"; }
  int Count() const { return static_cast<int>(FItems.size()); }
  const TVertexData& Items(int i) const { return FItems.at(static_cast<size_t>(i)); }
  void SetItem(int i, const TVertexData& v);
  void Add(const TVertexData& v);
  void AddVertex(const TAffineVector& position, const TAffineVector& normal, const TVector& color = {1, 1, 1, 1},
                 float s = 0, float t = 0);
  void Clear();
  const TVertexData* List() const { return FItems.data(); }
  void Assign(const TPersistent* source) override;

 private:
  std::vector<TVertexData> FItems;
};

enum TMeshMode : uint8_t { mmTriangleStrip, mmTriangleFan, mmTriangles, mmQuadStrip, mmQuads, mmPolygon };
enum TVertexMode : uint8_t { vmV, vmVN, vmVNC, vmVNCT, vmVNT, vmVT };

class TMesh : public TGLSceneObject {
 public:
  explicit TMesh(TComponent* owner = nullptr);
  CORVANE_SCENE_CLASS(TMesh, TGLSceneObject)
  TMeshMode Mode() const { return FMode; }
  void SetMode(TMeshMode m);
  TVertexMode VertexMode() const { return FVertexMode; }
  void SetVertexMode(TVertexMode m);
  TVertexList& Vertices() { return FVertices; }
  // A vertex change rebuilds the mesh.
  void NotifyChange(TPersistent* sender) override {
    FChanges |= ocStructure;
    TGLSceneObject::NotifyChange(sender);
  }
  // vmVNT and vmVT raise "Interleaved Array format not supported yet. Sorry.".
  void BuildList(TRenderContextInfo& rci) override;

 private:
  TMeshMode FMode = mmTriangleStrip;
  TVertexMode FVertexMode = vmVNCT;
  TVertexList FVertices{this};
};
