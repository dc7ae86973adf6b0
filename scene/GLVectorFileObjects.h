#pragma once
// Meshes held as lists of vertices, normals, texture coordinates and colours, drawn directly
// or through face groups that index into those lists; the scene objects that carry them
// (TBaseMesh, TFreeForm, TActor with frames and animations); morph targets; and the loaders of
// model files with their registry of formats.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/GLMaterialLibrary.h"
#include "scene/SceneGraph.h"
#include "scene/VectorLists.h"

class TMeshObjectList;
class TFaceGroups;
class TBaseMesh;

enum TMeshObjectMode : uint8_t { momTriangles, momTriangleStrip, momFaceGroups };

class TMeshObject : public TPersistent {
 public:
  // Joins the owner's list when one is given.
  explicit TMeshObject(TMeshObjectList* owner = nullptr);
  ~TMeshObject() override;  // leaves its owner
  TMeshObject(const TMeshObject&) = delete;
  TMeshObject& operator=(const TMeshObject&) = delete;
  const char* ClassName() const override { return "TMeshObject"; }
  TMeshObjectList* Owner() const { return FOwner; }

  TAffineVectorList Vertices, Normals;
  TAffineVectorList TexCoords;  // s and t in the first two floats
  TVectorList Colors;
  TFaceGroups& FaceGroups() { return *FFaceGroups; }
  const TFaceGroups& FaceGroups() const { return *FFaceGroups; }
  TMeshObjectMode Mode = momTriangles;
  std::string Name;

  // Each non-empty list becomes an enabled client array; an empty one disables its own.
  void DeclareArraysToOpenGL(bool evenIfAlreadyDeclared = false);
  bool ArraysDeclared() const { return FArraysDeclared; }
  virtual void BuildList(TGLMaterialLibrary* library, TRenderContextInfo& rci);
  void GetExtents(TAffineVector& min, TAffineVector& max) const { Vertices.GetExtents(min, max); }

 private:
  friend class TMeshObjectList;
  TMeshObjectList* FOwner;
  std::unique_ptr<TFaceGroups> FFaceGroups;
  bool FArraysDeclared = false;
};

class TMeshObjectList : public TPersistent {
 public:
  explicit TMeshObjectList(TBaseMesh* owner = nullptr) : FOwner(owner) {}
  ~TMeshObjectList() override;
  TMeshObjectList(const TMeshObjectList&) = delete;
  TMeshObjectList& operator=(const TMeshObjectList&) = delete;
  const char* ClassName() const override { return "TMeshObjectList"; }
  TBaseMesh* Owner() const { return FOwner; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TMeshObject* Items(int i) const { return FItems.at(static_cast<size_t>(i)); }
  void Clear();
  // Takes a mesh object that has no list yet.
  TMeshObject* Add(std::unique_ptr<TMeshObject> meshObject);
  void BuildList(TGLMaterialLibrary* library, TRenderContextInfo& rci);
  // On the morphable mesh objects (those without morph targets are left as they are).
  void Lerp(int i1, int i2, float t);
  void GetExtents(TAffineVector& min, TAffineVector& max) const;

 private:
  friend class TMeshObject;
  TBaseMesh* FOwner;
  std::vector<TMeshObject*> FItems;  // owned; an item leaves in its destructor
};

class TMeshMorphTargetList;

class TMeshMorphTarget : public TPersistent {
 public:
  explicit TMeshMorphTarget(TMeshMorphTargetList* owner = nullptr);
  ~TMeshMorphTarget() override;
  const char* ClassName() const override { return "TMeshMorphTarget"; }
  std::string Name;
  TAffineVectorList Vertices, Normals;

 private:
  friend class TMeshMorphTargetList;
  TMeshMorphTargetList* FOwner;
};

class TMeshMorphTargetList : public TPersistent {
 public:
  TMeshMorphTargetList() = default;
  ~TMeshMorphTargetList() override { Clear(); }
  TMeshMorphTargetList(const TMeshMorphTargetList&) = delete;
  TMeshMorphTargetList& operator=(const TMeshMorphTargetList&) = delete;
  int Count() const { return static_cast<int>(FItems.size()); }
  TMeshMorphTarget* Items(int i) const { return FItems.at(static_cast<size_t>(i)); }
  void Clear();

 private:
  friend class TMeshMorphTarget;
  std::vector<TMeshMorphTarget*> FItems;
};

class TMorphableMeshObject : public TMeshObject {
 public:
  using TMeshObject::TMeshObject;
  const char* ClassName() const override { return "TMorphableMeshObject"; }
  TMeshMorphTargetList& MorphTargets() { return FMorphTargets; }
  // An index at or above the target count fails with "Assertion failure".
  void MorphTo(int index);
  void Lerp(int index1, int index2, float t);

 private:
  TMeshMorphTargetList FMorphTargets;
};

// --- face groups

class TFaceGroup : public TPersistent {
 public:
  explicit TFaceGroup(TFaceGroups* owner = nullptr);
  ~TFaceGroup() override;
  TFaceGroup(const TFaceGroup&) = delete;
  TFaceGroup& operator=(const TFaceGroup&) = delete;
  const char* ClassName() const override { return "TFaceGroup"; }
  TFaceGroups* Owner() const { return FOwner; }
  TMeshObject* MeshObject() const;
  std::string MaterialName;
  // Applies the library's material of that name, when there is one.
  void PrepareMaterial(TGLMaterialLibrary* library, TRenderContextInfo& rci);
  virtual void BuildList(TRenderContextInfo&) {}

 private:
  friend class TFaceGroups;
  TFaceGroups* FOwner;
};

enum TFaceGroupMode : uint8_t { fgmTriangles, fgmTriangleStrip, fgmTriangles2 };

class TFGVertexIndexList : public TFaceGroup {
 public:
  using TFaceGroup::TFaceGroup;
  const char* ClassName() const override { return "TFGVertexIndexList"; }
  TIntegerList VertexIndices;
  TFaceGroupMode Mode = fgmTriangles;
  void Add(int vertexIndex) { VertexIndices.Add(vertexIndex); }
  // glDrawElements over the mesh object's arrays.
  void BuildList(TRenderContextInfo& rci) override;

 protected:
  // The indices are checked against the lists they address whenever an index list or an
  // addressed list changed size since the last check; a bad one fails with "Assertion
  // failure" and nothing is drawn. The check costs nothing while nothing changes.
  void CheckIndices(std::initializer_list<std::pair<const TIntegerList*, int>> lists);

 private:
  // Index counts and list counts of the last check that passed.
  std::array<int, 6> FCheckedCounts{};
  bool FChecked = false;
};

// One vertex, one normal and one texture-coordinate index per corner, drawn in immediate mode.
class TFGVertexNormalTexIndexList : public TFGVertexIndexList {
 public:
  using TFGVertexIndexList::TFGVertexIndexList;
  const char* ClassName() const override { return "TFGVertexNormalTexIndexList"; }
  TIntegerList NormalIndices, TexCoordIndices;
  void Add(int vertexIndex, int normalIndex, int texCoordIndex);
  // Unequal counts of the three lists fail with "Assertion failure" and draw nothing.
  void BuildList(TRenderContextInfo& rci) override;
};

// One vertex index and one texture coordinate of its own per corner.
class TFGIndexTexCoordList : public TFGVertexIndexList {
 public:
  using TFGVertexIndexList::TFGVertexIndexList;
  const char* ClassName() const override { return "TFGIndexTexCoordList"; }
  TAffineVectorList TexCoords;
  void Add(int vertexIndex, float s, float t);
  void BuildList(TRenderContextInfo& rci) override;
};

class TFaceGroups : public TPersistent {
 public:
  explicit TFaceGroups(TMeshObject* owner) : FOwner(owner) {}
  ~TFaceGroups() override { Clear(); }
  TFaceGroups(const TFaceGroups&) = delete;
  TFaceGroups& operator=(const TFaceGroups&) = delete;
  TMeshObject* Owner() const { return FOwner; }
  int Count() const { return static_cast<int>(FItems.size()); }
  TFaceGroup* Items(int i) const { return FItems.at(static_cast<size_t>(i)); }
  void Clear();

 private:
  friend class TFaceGroup;
  TMeshObject* FOwner;
  std::vector<TFaceGroup*> FItems;
};

// --- scene objects carrying meshes

class TBaseMesh : public TGLSceneObject {
 public:
  explicit TBaseMesh(TComponent* owner = nullptr);
  CORVANE_SCENE_CLASS(TBaseMesh, TGLSceneObject)
  TMeshObjectList& MeshObjects() { return *FMeshObjects; }
  void BuildList(TRenderContextInfo& rci) override;

 private:
  std::unique_ptr<TMeshObjectList> FMeshObjects;
};

enum TMeshNormalsOrientation : uint8_t { mnoDefault, mnoInvert };

class TFreeForm : public TBaseMesh {
 public:
  explicit TFreeForm(TComponent* owner = nullptr);
  ~TFreeForm() override;
  CORVANE_SCENE_CLASS(TFreeForm, TBaseMesh)
  bool UseMeshMaterials() const { return FUseMeshMaterials; }
  void SetUseMeshMaterials(bool v);
  TMeshNormalsOrientation NormalsOrientation() const { return FNormalsOrientation; }
  void SetNormalsOrientation(TMeshNormalsOrientation v) { FNormalsOrientation = v; }
  TGLMaterialLibrary* MaterialLibrary() const { return FMaterialLibrary; }
  void SetMaterialLibrary(TGLMaterialLibrary* library);
  void Notification(TComponent* component, TOperation operation) override;
  void BuildList(TRenderContextInfo& rci) override;
  // Also the textures of every library material.
  void DestroyHandle(bool glsOnly) override;

 private:
  bool FUseMeshMaterials = true;
  TMeshNormalsOrientation FNormalsOrientation = mnoDefault;
  TGLMaterialLibrary* FMaterialLibrary = nullptr;
};

class TActor;

class TActorAnimation {
 public:
  explicit TActorAnimation(TActor* actor) : FActor(actor) {}
  std::string Name;
  int StartFrame() const { return FStartFrame; }
  int EndFrame() const { return FEndFrame; }
  // Clamped to the actor's frames; the other end follows.
  void SetStartFrame(int v);
  void SetEndFrame(int v);
  // Loaders set both ends as they are.
  void SetFramesDirect(int start, int end) {
    FStartFrame = start;
    FEndFrame = end;
  }
  std::string DisplayName(int index) const;  // "%d - %s [%d - %d]"
  void Assign(const TActorAnimation& other);

 private:
  int Clamp(int v) const;
  TActor* FActor;
  int FStartFrame = 0, FEndFrame = 0;
};

enum TActorFrameInterpolation : uint8_t { afpNone, afpLinear };
enum TActorAnimationMode : uint8_t { aamNone, aamPlayOnce, aamLoop, aamBounceForward, aamBounceBackward };

class TActor : public TBaseMesh {
 public:
  explicit TActor(TComponent* owner = nullptr);
  CORVANE_SCENE_CLASS(TActor, TBaseMesh)
  // Set by loaders; 0 otherwise, and then the frame setters store nothing.
  int FrameCount() const { return FFrameCount; }
  void SetFrameCount(int n) { FFrameCount = n < 0 ? 0 : n; }
  int StartFrame() const { return FStartFrame; }
  int EndFrame() const { return FEndFrame; }
  int CurrentFrame() const { return FCurrentFrame; }
  void SetStartFrame(int v);
  void SetEndFrame(int v);
  void SetCurrentFrame(int v);
  float CurrentFrameDelta = 0;
  TActorFrameInterpolation FrameInterpolation = afpLinear;
  int Interval = 100;  // milliseconds per frame
  TActorAnimationMode AnimationMode() const { return FAnimationMode; }
  void SetAnimationMode(TActorAnimationMode m) { FAnimationMode = m; }
  TNotifyEvent OnFrameChanged, OnEndFrameReached, OnStartFrameReached;
  std::vector<std::unique_ptr<TActorAnimation>>& Animations() { return FAnimations; }
  TActorAnimation* AddAnimation();

  int NextFrameIndex() const;
  void NextFrame(int n = 1);
  void DoProgress(double deltaTime, double newTime) override;
  void BuildList(TRenderContextInfo& rci) override;

 private:
  int FFrameCount = 0, FStartFrame = 0, FEndFrame = 0, FCurrentFrame = 0;
  TActorAnimationMode FAnimationMode = aamNone;
  std::vector<std::unique_ptr<TActorAnimation>> FAnimations;
};

// --- loaders of model files

// A loader bound to the mesh it fills; each load adds mesh objects to the owner's list, and a
// file that cannot be read adds nothing.
class TVectorFile : public TDataFile {
 public:
  // The owner must be a TBaseMesh ("Assertion failure" otherwise).
  explicit TVectorFile(TPersistent* owner);
  const char* ClassName() const override { return "TVectorFile"; }
  TBaseMesh* OwnerMesh() const { return static_cast<TBaseMesh*>(Owner); }
  TMeshNormalsOrientation NormalsOrientation = mnoDefault;
  // Errors name the file.
  void LoadFromFile(const std::string& fileName);
  void LoadFromStream(TStream& stream) override;
  // The whole file in memory (what LoadFromStream reads and hands on).
  virtual void LoadFromMemory(const uint8_t* data, size_t size) = 0;
};

using TVectorFileFactory = std::function<std::unique_ptr<TVectorFile>(TPersistent* owner)>;

struct TVectorFileFormat {
  std::string Extension;  // lower case, without the point
  std::string Description;
  int DescriptionIndex = 0;
  TVectorFileFactory Create;
};

// The formats by extension, in registration order: "md2", "3ds", "prj", "tin", "stl" and "obj"
// are registered on first use; further formats register through RegisterVectorFileFormat.
const std::vector<TVectorFileFormat>& GetVectorFileFormats();
void RegisterVectorFileFormat(const std::string& extension, const std::string& description, TVectorFileFactory create);
// Letter case ignored; nullptr when no format has the extension.
const TVectorFileFormat* FindVectorFileFormat(const std::string& extension);
