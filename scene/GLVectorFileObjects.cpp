#include "scene/GLVectorFileObjects.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "platform/Streams.h"
#include "scene/OpenGL12.h"

namespace {
[[noreturn]] void AssertionFailure() { throw EAssertionFailed("Assertion failure"); }

template <typename T>
void RemoveItem(std::vector<T*>& items, T* item) {
  items.erase(std::remove(items.begin(), items.end(), item), items.end());
}
}  // namespace

// --- mesh object

TMeshObject::TMeshObject(TMeshObjectList* owner) : FOwner(owner), FFaceGroups(std::make_unique<TFaceGroups>(this)) {
  if (FOwner) FOwner->FItems.push_back(this);
}

TMeshObject::~TMeshObject() {
  FFaceGroups.reset();
  if (FOwner) RemoveItem(FOwner->FItems, this);
}

void TMeshObject::DeclareArraysToOpenGL(bool evenIfAlreadyDeclared) {
  if (FArraysDeclared && !evenIfAlreadyDeclared) return;
  auto declare = [](GLenum array, bool used, auto setPointer) {
    if (used) {
      GL.glEnableClientState(array);
      setPointer();
    } else {
      GL.glDisableClientState(array);
    }
  };
  declare(GL_VERTEX_ARRAY, Vertices.Count() > 0, [&] { GL.glVertexPointer(3, GL_FLOAT, 0, Vertices.List()); });
  declare(GL_NORMAL_ARRAY, Normals.Count() > 0, [&] { GL.glNormalPointer(GL_FLOAT, 0, Normals.List()); });
  declare(GL_COLOR_ARRAY, Colors.Count() > 0, [&] { GL.glColorPointer(4, GL_FLOAT, 0, Colors.List()); });
  // The third float of each texture coordinate is skipped by the stride.
  declare(GL_TEXTURE_COORD_ARRAY, TexCoords.Count() > 0,
          [&] { GL.glTexCoordPointer(2, GL_FLOAT, 12, TexCoords.List()); });
  FArraysDeclared = true;
}

void TMeshObject::BuildList(TGLMaterialLibrary* library, TRenderContextInfo& rci) {
  FArraysDeclared = false;
  switch (Mode) {
    case momTriangles:
    case momTriangleStrip: {
      const int n = Vertices.Count();
      if (n == 0) return;
      DeclareArraysToOpenGL(false);
      const bool normals = Normals.Count() == n, texCoords = TexCoords.Count() == n, colors = Colors.Count() == n;
      GL.glBegin(Mode == momTriangles ? GL_TRIANGLES : GL_TRIANGLE_STRIP);
      if (colors) {
        GL.glPushAttrib(GL_ENABLE_BIT);
        GL.glEnable(GL_COLOR_MATERIAL);
        GL.glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        ResetGLMaterialColors();
      }
      for (int i = 0; i < n; ++i) {
        if (normals) GL.glNormal3fv(Normals[i].data());
        if (texCoords) GL.glTexCoord2fv(TexCoords[i].data());
        if (colors) GL.glColor4fv(Colors[i].data());
        GL.glVertex3fv(Vertices[i].data());
      }
      GL.glEnd();
      if (colors) GL.glPopAttrib();
      break;
    }
    case momFaceGroups:
      for (int i = 0; i < FFaceGroups->Count(); ++i) {
        TFaceGroup* g = FFaceGroups->Items(i);
        if (library) g->PrepareMaterial(library, rci);
        g->BuildList(rci);
      }
      break;
    default: AssertionFailure();
  }
}

// --- mesh object list

TMeshObjectList::~TMeshObjectList() { Clear(); }

void TMeshObjectList::Clear() {
  std::vector<TMeshObject*> items;
  items.swap(FItems);
  for (TMeshObject* m : items) {
    m->FOwner = nullptr;
    delete m;
  }
}

TMeshObject* TMeshObjectList::Add(std::unique_ptr<TMeshObject> meshObject) {
  if (meshObject->FOwner) AssertionFailure();
  meshObject->FOwner = this;
  FItems.push_back(meshObject.release());
  return FItems.back();
}

void TMeshObjectList::BuildList(TGLMaterialLibrary* library, TRenderContextInfo& rci) {
  for (TMeshObject* m : FItems) m->BuildList(library, rci);
}

void TMeshObjectList::Lerp(int i1, int i2, float t) {
  for (TMeshObject* m : FItems)
    if (auto* morph = dynamic_cast<TMorphableMeshObject*>(m))
      if (morph->MorphTargets().Count() > 0) morph->Lerp(i1, i2, t);
}

void TMeshObjectList::GetExtents(TAffineVector& min, TAffineVector& max) const {
  min = {INFINITY, INFINITY, INFINITY};
  max = {-INFINITY, -INFINITY, -INFINITY};
  for (const TMeshObject* m : FItems) {
    TAffineVector lo, hi;
    m->GetExtents(lo, hi);
    for (int k = 0; k < 3; ++k) {
      min[k] = std::min(min[k], lo[k]);
      max[k] = std::max(max[k], hi[k]);
    }
  }
}

// --- morph targets

TMeshMorphTarget::TMeshMorphTarget(TMeshMorphTargetList* owner) : FOwner(owner) {
  if (FOwner) FOwner->FItems.push_back(this);
}

TMeshMorphTarget::~TMeshMorphTarget() {
  if (FOwner) RemoveItem(FOwner->FItems, this);
}

void TMeshMorphTargetList::Clear() {
  std::vector<TMeshMorphTarget*> items;
  items.swap(FItems);
  for (TMeshMorphTarget* t : items) {
    t->FOwner = nullptr;
    delete t;
  }
}

void TMorphableMeshObject::MorphTo(int index) {
  if (index < 0 || index >= FMorphTargets.Count()) AssertionFailure();
  TMeshMorphTarget* t = FMorphTargets.Items(index);
  if (t->Vertices.Count() > 0) Vertices.Assign(&t->Vertices);
  if (t->Normals.Count() > 0) Normals.Assign(&t->Normals);
}

void TMorphableMeshObject::Lerp(int index1, int index2, float t) {
  const int n = FMorphTargets.Count();
  if (index1 < 0 || index1 >= n || index2 < 0 || index2 >= n) AssertionFailure();
  if (t == 0) return MorphTo(index1);
  if (t == 1) return MorphTo(index2);
  TMeshMorphTarget* a = FMorphTargets.Items(index1);
  TMeshMorphTarget* b = FMorphTargets.Items(index2);
  if (a->Vertices.Count() > 0) Vertices.Lerp(a->Vertices, b->Vertices, t);
  if (a->Normals.Count() > 0) {
    Normals.Lerp(a->Normals, b->Normals, t);
    Normals.Normalize();
  }
}

// --- face groups

TFaceGroup::TFaceGroup(TFaceGroups* owner) : FOwner(owner) {
  if (FOwner) FOwner->FItems.push_back(this);
}

TFaceGroup::~TFaceGroup() {
  if (FOwner) RemoveItem(FOwner->FItems, this);
}

TMeshObject* TFaceGroup::MeshObject() const { return FOwner ? FOwner->Owner() : nullptr; }

void TFaceGroup::PrepareMaterial(TGLMaterialLibrary* library, TRenderContextInfo& rci) {
  if (!library) return;
  if (TGLLibMaterial* m = library->Materials().GetLibMaterialByName(MaterialName)) m->Material().Apply(rci);
}

void TFaceGroups::Clear() {
  std::vector<TFaceGroup*> items;
  items.swap(FItems);
  for (TFaceGroup* g : items) {
    g->FOwner = nullptr;
    delete g;
  }
}

void TFGVertexIndexList::CheckIndices(std::initializer_list<std::pair<const TIntegerList*, int>> lists) {
  std::array<int, 6> counts{};  // no allocation: this runs every frame
  size_t n = 0;
  for (const auto& [indices, bound] : lists) {
    if (n + 2 > counts.size()) AssertionFailure();
    counts[n++] = indices->Count();
    counts[n++] = bound;
  }
  if (FChecked && counts == FCheckedCounts) return;
  for (const auto& [indices, bound] : lists)
    for (int i = 0; i < indices->Count(); ++i)
      if ((*indices)[i] < 0 || (*indices)[i] >= bound) AssertionFailure();
  FCheckedCounts = counts;
  FChecked = true;
}

namespace {
GLenum BeginMode(TFaceGroupMode m) {
  switch (m) {
    case fgmTriangles:
    case fgmTriangles2: return GL_TRIANGLES;
    case fgmTriangleStrip: return GL_TRIANGLE_STRIP;
  }
  AssertionFailure();
}
}  // namespace

void TFGVertexIndexList::BuildList(TRenderContextInfo&) {
  TMeshObject* mo = MeshObject();
  if (!mo || VertexIndices.Count() == 0) return;
  const GLenum mode = BeginMode(Mode);
  // Every array the mesh object declares is read at each index.
  int bound = mo->Vertices.Count();
  if (mo->Normals.Count() > 0) bound = std::min(bound, mo->Normals.Count());
  if (mo->Colors.Count() > 0) bound = std::min(bound, mo->Colors.Count());
  if (mo->TexCoords.Count() > 0) bound = std::min(bound, mo->TexCoords.Count());
  CheckIndices({{&VertexIndices, bound}});
  mo->DeclareArraysToOpenGL(false);
  GL.glDrawElements(mode, VertexIndices.Count(), GL_UNSIGNED_INT, VertexIndices.List());
}

void TFGVertexNormalTexIndexList::Add(int vertexIndex, int normalIndex, int texCoordIndex) {
  VertexIndices.Add(vertexIndex);
  NormalIndices.Add(normalIndex);
  TexCoordIndices.Add(texCoordIndex);
}

void TFGVertexNormalTexIndexList::BuildList(TRenderContextInfo&) {
  const int n = VertexIndices.Count();
  if (NormalIndices.Count() != n || TexCoordIndices.Count() != n) AssertionFailure();
  TMeshObject* mo = MeshObject();
  if (!mo || n == 0) return;
  const GLenum mode = BeginMode(Mode);
  CheckIndices({{&VertexIndices, mo->Vertices.Count()},
                {&NormalIndices, mo->Normals.Count()},
                {&TexCoordIndices, mo->TexCoords.Count()}});
  const TAffineVector* v = mo->Vertices.List();
  const TAffineVector* nr = mo->Normals.List();
  const TAffineVector* tc = mo->TexCoords.List();
  const int32_t* vi = VertexIndices.List();
  const int32_t* ni = NormalIndices.List();
  const int32_t* ti = TexCoordIndices.List();
  GL.glBegin(mode);
  for (int i = 0; i < n; ++i) {
    GL.glNormal3fv(nr[ni[i]].data());
    GL.glTexCoord2fv(tc[ti[i]].data());
    GL.glVertex3fv(v[vi[i]].data());
  }
  GL.glEnd();
}

void TFGIndexTexCoordList::Add(int vertexIndex, float s, float t) {
  TexCoords.Add(s, t, 0);
  VertexIndices.Add(vertexIndex);
}

void TFGIndexTexCoordList::BuildList(TRenderContextInfo&) {
  const int n = VertexIndices.Count();
  if (TexCoords.Count() != n) AssertionFailure();
  TMeshObject* mo = MeshObject();
  if (!mo || n == 0) return;
  const GLenum mode = BeginMode(Mode);
  CheckIndices({{&VertexIndices, mo->Vertices.Count()}});
  GL.glBegin(mode);
  for (int i = 0; i < n; ++i) {
    GL.glTexCoord2fv(TexCoords[i].data());
    GL.glVertex3fv(mo->Vertices[VertexIndices[i]].data());
  }
  GL.glEnd();
}

// --- base mesh and free form

TBaseMesh::TBaseMesh(TComponent* owner) : TGLSceneObject(owner), FMeshObjects(std::make_unique<TMeshObjectList>(this)) {
  FObjectStyle |= osDoesTemperWithColorsOrFaceWinding;
}

void TBaseMesh::BuildList(TRenderContextInfo& rci) { FMeshObjects->BuildList(nullptr, rci); }

TFreeForm::TFreeForm(TComponent* owner) : TBaseMesh(owner) {}

TFreeForm::~TFreeForm() { SetMaterialLibrary(nullptr); }

void TFreeForm::SetUseMeshMaterials(bool v) {
  if (v == FUseMeshMaterials) return;
  FUseMeshMaterials = v;
  StructureChanged();
}

void TFreeForm::SetMaterialLibrary(TGLMaterialLibrary* library) {
  if (library == FMaterialLibrary) return;
  if (FMaterialLibrary) {
    DestroyHandle(true);
    FMaterialLibrary->RemoveFreeNotification(this);
  }
  FMaterialLibrary = library;
  if (FMaterialLibrary) FMaterialLibrary->FreeNotification(this);
  StructureChanged();
}

void TFreeForm::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == FMaterialLibrary) {
    FMaterialLibrary = nullptr;
    StructureChanged();
  }
  TBaseMesh::Notification(component, operation);
}

void TFreeForm::BuildList(TRenderContextInfo& rci) {
  GL.glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT);
  TScopeGuard pop([] { GL.glPopAttrib(); });
  GL.glFrontFace(FNormalsOrientation == mnoDefault ? GL_CW : GL_CCW);
  MeshObjects().BuildList(FUseMeshMaterials ? FMaterialLibrary : nullptr, rci);
}

void TFreeForm::DestroyHandle(bool glsOnly) {
  if (FMaterialLibrary) FMaterialLibrary->Materials().DestroyHandles(glsOnly);
  TBaseMesh::DestroyHandle(glsOnly);
}

// --- actor

int TActorAnimation::Clamp(int v) const {
  const int frames = FActor ? FActor->FrameCount() : 0;
  if (v < 0) return 0;
  if (v >= frames) return frames - 1 < 0 ? 0 : frames - 1;
  return v;
}

void TActorAnimation::SetStartFrame(int v) {
  FStartFrame = Clamp(v);
  if (FEndFrame < FStartFrame) FEndFrame = FStartFrame;
}

void TActorAnimation::SetEndFrame(int v) {
  FEndFrame = Clamp(v);
  if (FStartFrame > FEndFrame) FStartFrame = FEndFrame;
}

std::string TActorAnimation::DisplayName(int index) const {
  return std::to_string(index) + " - " + Name + " [" + std::to_string(FStartFrame) + " - " + std::to_string(FEndFrame) +
         "]";
}

void TActorAnimation::Assign(const TActorAnimation& other) {
  Name = other.Name;
  FStartFrame = other.FStartFrame;
  FEndFrame = other.FEndFrame;
}

TActor::TActor(TComponent* owner) : TBaseMesh(owner) { FObjectStyle |= osDirectDraw; }

TActorAnimation* TActor::AddAnimation() {
  FAnimations.push_back(std::make_unique<TActorAnimation>(this));
  return FAnimations.back().get();
}

void TActor::SetCurrentFrame(int v) {
  if (v == FCurrentFrame) return;
  if (v > FFrameCount - 1) v = FFrameCount - 1;
  if (v < 0) v = 0;
  FCurrentFrame = v;
  CurrentFrameDelta = 0;
  switch (FAnimationMode) {
    case aamPlayOnce:
      if (FCurrentFrame == FEndFrame) FAnimationMode = aamNone;
      break;
    case aamBounceForward:
      if (FCurrentFrame == FEndFrame) FAnimationMode = aamBounceBackward;
      break;
    case aamBounceBackward:
      if (FCurrentFrame == FStartFrame) FAnimationMode = aamBounceForward;
      break;
    default: break;
  }
  StructureChanged();
  if (OnFrameChanged) OnFrameChanged(this);
}

void TActor::SetStartFrame(int v) {
  if (v >= 0 && v < FFrameCount && v != FStartFrame) FStartFrame = v;
  if (FEndFrame < FStartFrame) FEndFrame = FStartFrame;
  if (FCurrentFrame < FStartFrame) SetCurrentFrame(FStartFrame);
}

void TActor::SetEndFrame(int v) {
  if (v >= 0 && v < FFrameCount && v != FEndFrame) FEndFrame = v;
  if (FCurrentFrame > FEndFrame) SetCurrentFrame(FEndFrame);
}

int TActor::NextFrameIndex() const {
  if (FAnimationMode == aamBounceBackward) {
    int next = FCurrentFrame - 1;
    if (next < FStartFrame) {
      next = FEndFrame - (FStartFrame - next - 1);
      if (next < FStartFrame) next = FStartFrame;
    }
    return next;
  }
  int next = FCurrentFrame + 1;
  if (next > FEndFrame) {
    next = FStartFrame + (next - FEndFrame - 1);
    if (next > FEndFrame) next = FEndFrame;
  }
  return next;
}

void TActor::NextFrame(int n) {
  for (int i = 0; i < n; ++i) {
    SetCurrentFrame(NextFrameIndex());
    if (FCurrentFrame == FEndFrame && OnEndFrameReached) OnEndFrameReached(this);
    if (FCurrentFrame == FStartFrame && OnStartFrameReached) OnStartFrameReached(this);
  }
}

void TActor::DoProgress(double deltaTime, double newTime) {
  TBaseMesh::DoProgress(deltaTime, newTime);
  if (FAnimationMode == aamNone || FStartFrame == FEndFrame || FFrameCount <= 1 || Interval <= 0) return;
  CurrentFrameDelta += static_cast<float>(deltaTime * 1000 / Interval);
  if (CurrentFrameDelta >= 1) {
    const float whole = std::floor(CurrentFrameDelta);
    const float fraction = CurrentFrameDelta - whole;
    // The huge step of a stalled clock must not overflow the count.
    NextFrame(static_cast<int>(std::min(whole, 1.0e7f)));
    CurrentFrameDelta = fraction;
  } else if (FrameInterpolation == afpLinear) {
    StructureChanged();
  }
}

void TActor::BuildList(TRenderContextInfo& rci) {
  if (FrameInterpolation == afpLinear) MeshObjects().Lerp(FCurrentFrame, NextFrameIndex(), CurrentFrameDelta);
  MeshObjects().BuildList(nullptr, rci);
}

// --- loaders

TVectorFile::TVectorFile(TPersistent* owner) : TDataFile(owner) {
  if (!dynamic_cast<TBaseMesh*>(owner)) AssertionFailure();
}

void TVectorFile::LoadFromFile(const std::string& fileName) {
  try {
    TDataFile::LoadFromFile(fileName);
  } catch (const EConvertError& e) {
    throw EConvertError(fileName + ": " + e.Message);
  } catch (const EFOpenError&) {
    throw;  // already names the file
  } catch (const Exception& e) {
    throw EReadError(fileName + ": " + e.Message);
  }
}

void TVectorFile::LoadFromStream(TStream& stream) {
  TMemoryStream memory;
  memory.LoadFromStream(stream);
  LoadFromMemory(memory.Memory(), memory.Bytes().size());
}
