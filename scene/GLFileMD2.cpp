#include <memory>

#include "scene/FileMD2.h"
#include "scene/VectorFileFormats.h"

namespace {

// Vertex normals of one frame: the face normals of the triangles around each vertex, added and
// normalised (a vertex on no triangle keeps a zero normal).
void FrameNormals(const TFileMD2& md2, const std::vector<TMD2Vertex>& frame, TAffineVectorList& normals) {
  std::vector<TAffineVector> sum(frame.size(), TAffineVector{0, 0, 0});
  for (const TMD2Triangle& t : md2.Triangles()) {
    TAffineVector p[3];
    for (int k = 0; k < 3; ++k) p[k] = {frame[t.Vertex[k]].X, frame[t.Vertex[k]].Y, frame[t.Vertex[k]].Z};
    TAffineVector n;
    CalcPlaneNormal(p[0], p[1], p[2], n);
    for (uint16_t v : t.Vertex) AddVector(sum[v], n);
  }
  normals.SetCapacity(static_cast<int>(sum.size()));
  for (TAffineVector& n : sum) {
    if (VectorLength(n) > 0) NormalizeVector(n);
    normals.Add(n);
  }
}

}  // namespace

void TGLMD2VectorFile::LoadFromMemory(const uint8_t* data, size_t size) {
  TFileMD2 md2;
  md2.LoadFromMemory(data, size);
  auto mo = std::make_unique<TMorphableMeshObject>();
  mo->Mode = momFaceGroups;
  auto* group = new TFGIndexTexCoordList(&mo->FaceGroups());
  for (const TMD2Triangle& t : md2.Triangles())
    for (int k = 0; k < 3; ++k) group->Add(t.Vertex[k], t.U[k], t.V[k]);
  for (int f = 0; f < md2.FrameCount(); ++f) {
    auto* target = new TMeshMorphTarget(&mo->MorphTargets());
    target->Name = "Frame" + std::to_string(f);
    const auto& frame = md2.Frame(f);
    target->Vertices.SetCapacity(static_cast<int>(frame.size()));
    for (const TMD2Vertex& v : frame) target->Vertices.Add(v.X, v.Y, v.Z);
    FrameNormals(md2, frame, target->Normals);
  }
  if (md2.FrameCount() > 0) mo->MorphTo(0);
  if (auto* actor = dynamic_cast<TActor*>(OwnerMesh())) {
    actor->SetFrameCount(md2.FrameCount());
    actor->Animations().clear();
    const auto& runs = md2.FrameNames;
    for (size_t i = 0; i < runs.size(); ++i) {
      TActorAnimation* a = actor->AddAnimation();
      a->Name = runs[i].first;
      const int end = i + 1 < runs.size() ? runs[i + 1].second - 1 : md2.FrameCount() - 1;
      a->SetFramesDirect(runs[i].second, end);
    }
  }
  OwnerMesh()->MeshObjects().Add(std::move(mo));
}
