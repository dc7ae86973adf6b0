#pragma once
// The scene tree: objects with a position, orientation and scale, children drawn in a chosen
// order, display lists; the camera, light sources, fog and the scene that owns it all.
//
// A parent owns its children. Remove hands a child back to the caller (as a unique_ptr); an
// object that is destroyed leaves its parent first.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/GLMisc.h"
#include "scene/GLTexture.h"
#include "scene/XCollection.h"

class TGLScene;
class TStream;
class TGLCamera;
class TGLLightSource;
class TGLViewerCore;
class TGLBaseSceneObject;

// --- behaviours and effects: collection items a scene object owns. Nothing in the program
// creates any; they are here for objects that want to move themselves over time or draw
// around themselves.
class TGLBaseBehaviour : public TXCollectionItem {
 public:
  const char* ClassName() const override { return "TGLBaseBehaviour"; }
  TGLBaseSceneObject* OwnerBaseSceneObject() const;
  // Its own version (0) before the item's data; another version fails with "Assertion failure".
  void WriteToFiler(TWriter& writer) const override;
  void ReadFromFiler(TReader& reader) override;
  virtual void DoProgress(double deltaTime, double newTime);
};

class TGLBehaviour : public TGLBaseBehaviour {
 public:
  const char* ClassName() const override { return "TGLBehaviour"; }
};

// Owned by a scene object ("Assertion failure" for any other owner).
class TGLBehaviours : public TXCollection {
 public:
  explicit TGLBehaviours(TPersistent* owner);
  const char* ClassName() const override { return "TGLBehaviours"; }
  void DoProgress(double deltaTime, double newTime);
};

class TGLObjectEffect : public TGLBaseBehaviour {
 public:
  const char* ClassName() const override { return "TGLObjectEffect"; }
  virtual void Render(TGLViewerCore* viewer, TRenderContextInfo& rci);
};
// Drawn before the object, after it, and after the whole scene.
class TGLObjectPreEffect : public TGLObjectEffect {};
class TGLObjectPostEffect : public TGLObjectEffect {};
class TGLObjectAfterEffect : public TGLObjectEffect {};

class TGLObjectEffects : public TXCollection {
 public:
  explicit TGLObjectEffects(TPersistent* owner);
  const char* ClassName() const override { return "TGLObjectEffects"; }
  void DoProgress(double deltaTime, double newTime);
  void RenderPreEffects(TRenderContextInfo& rci);
  // Post-effects are drawn; after-effects are queued on the viewer of the frame.
  void RenderPostEffects(TRenderContextInfo& rci);
};

enum TGLObjectStyleFlag : uint8_t {
  osDirectDraw = 1,                        // no display list: the list-building step runs every frame
  osDoesTemperWithColorsOrFaceWinding = 2  // caches of polygon mode and material reset after drawing
};
enum TGLObjectChange : uint8_t { ocSpot = 1, ocAttenuation = 2, ocTransformation = 4, ocStructure = 8 };
enum TTransformationMode : uint8_t { tmLocal, tmParentNoPos, tmParentWithPos };

class TGLBaseSceneObject : public TGLUpdateAbleComponent, public ICoordinateOwner, public IStructureOwner {
 public:
  explicit TGLBaseSceneObject(TComponent* owner = nullptr);
  ~TGLBaseSceneObject() override;
  const char* ClassName() const override { return "TGLBaseSceneObject"; }
  // A new object of the same class (used when a tree is copied).
  virtual std::unique_ptr<TGLBaseSceneObject> CreateSame() const;

  // --- tree
  TGLBaseSceneObject* Parent() const { return FParent; }
  TGLScene* Scene() const { return FScene; }
  int Count() const { return static_cast<int>(FChildren.size()); }
  TGLBaseSceneObject* Children(int i) const { return FChildren.at(static_cast<size_t>(i)).get(); }
  TGLBaseSceneObject* AddChild(std::unique_ptr<TGLBaseSceneObject> child);
  template <typename T, typename... A>
  T* AddNewChild(A&&... args) {
    auto p = std::make_unique<T>(this, std::forward<A>(args)...);
    T* raw = p.get();
    AddChild(std::move(p));
    return raw;
  }
  // Takes the child from its old parent (if any) and inserts it at index; this object itself or
  // one of its ancestors fails with "Assertion failure".
  void Insert(int index, TGLBaseSceneObject* child);
  void Insert(int index, std::unique_ptr<TGLBaseSceneObject> child);
  // The child leaves the list and is handed back; with keepChildren its children move here.
  std::unique_ptr<TGLBaseSceneObject> Remove(TGLBaseSceneObject* child, bool keepChildren);
  // Leaves the old parent; without a new parent the caller receives the object. A parentless
  // object is taken over by its new parent. Moving under itself or a descendant fails with
  // "Assertion failure" and changes nothing.
  std::unique_ptr<TGLBaseSceneObject> MoveTo(TGLBaseSceneObject* newParent);
  // Stored-scene loading: under another scene object, or, for a scene, under its "CameraRoot"
  // (cameras) or "ObjectRoot" (everything else); any other value fails with "Assertion failure".
  void SetParentComponent(TComponent* value);
  void DeleteChildren();  // from the last to the first
  int IndexOfChild(const TGLBaseSceneObject* child) const;
  void MoveChildDown(int i);
  void MoveDown();
  int Index() const { return FParent ? FParent->IndexOfChild(this) : -1; }
  void SetIndex(int i);

  // --- transform
  TGLCoordinates& Position() { return *FPosition; }
  TGLCoordinates& Direction() { return *FDirection; }
  TGLCoordinates& Up() { return *FUp; }
  TGLCoordinates& Scale() { return *FScale; }
  const TGLCoordinates& Position() const { return *FPosition; }
  const TGLCoordinates& Direction() const { return *FDirection; }
  const TGLCoordinates& Up() const { return *FUp; }
  const TGLCoordinates& Scale() const { return *FScale; }
  void SetPosition(const TGLCoordinates& c);
  void SetDirection(const TGLCoordinates& c);
  void SetUp(const TGLCoordinates& c);
  void SetScale(const TGLCoordinates& c);
  float PitchAngle() const { return FPitchAngle; }
  float RollAngle() const { return FRollAngle; }
  float TurnAngle() const { return FTurnAngle; }
  void SetPitchAngle(float v);
  void SetRollAngle(float v);
  void SetTurnAngle(float v);
  TTransformationMode TransformationMode = tmLocal;
  void Move(float distance);
  void TransformationChanged();
  void StructureChanged() override;
  void CoordinateChanged(TGLCoordinates* sender) override;
  const TMatrix& LocalMatrix();
  const TMatrix& AbsoluteMatrix() const { return FAbsoluteMatrix; }
  // World matrix by walking up the parents (the object root's own matrix not included).
  TMatrix WorldMatrix();
  TVector AbsolutePosition();
  virtual TVector BarycenterAbsolutePosition() { return AbsolutePosition(); }
  virtual TAffineVector AxisAlignedDimensions() const;
  virtual bool PointInObject(const TAffineVector& p);
  // Ray against the unit cube of the object in local space.
  virtual bool RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                                TVector* intersectNormal);
  void GetOrientationVectors(TVector& up, TVector& direction) const;
  virtual void UpdateAbsoluteMatrices();

  // --- properties
  bool Visible() const { return FVisible; }
  void SetVisible(bool v);
  bool ShowAxes() const { return FShowAxes; }
  void SetShowAxes(bool v);
  TGLObjectsSorting ObjectsSorting() const { return FObjectsSorting; }
  void SetObjectsSorting(TGLObjectsSorting v);
  float TagFloat = 0;
  std::function<void(TPersistent* sender, double deltaTime, double newTime)> OnProgress;
  TGLBehaviours& Behaviours() { return *FBehaviours; }
  TGLObjectEffects& Effects() { return *FEffects; }
  void SetBehaviours(const TGLBehaviours& b) { FBehaviours->Assign(&b); }
  void SetEffects(const TGLObjectEffects& e) { FEffects->Assign(&e); }
  // Stored form of the two collections: the binary properties "BehavioursData" and
  // "EffectsData", each the collection's stream, stored only when the collection has items.
  bool StoredBehaviours() const { return FBehaviours->Count() > 0; }
  bool StoredEffects() const { return FEffects->Count() > 0; }
  void WriteBehavioursData(TStream& s) const;
  void ReadBehavioursData(TStream& s);
  void WriteEffectsData(TStream& s) const;
  void ReadEffectsData(TStream& s);
  uint8_t Changes() const { return FChanges; }
  uint8_t ObjectStyle() const { return FObjectStyle; }
  void Assign(const TPersistent* source) override;
  void Loaded() override;

  // --- notification
  void NotifyChange(TPersistent* sender) override;
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();  // "Unbalanced Begin/EndUpdate" without BeginUpdate
  void DoProgress(double deltaTime, double newTime) override;

  // --- drawing
  virtual uint32_t GetHandle(TRenderContextInfo& rci);
  uint32_t ListHandle() const { return FListHandle; }
  // Releases the display list; with glsOnly, or when no context is active, only forgets it.
  virtual void DestroyHandle(bool glsOnly);
  void DestroyHandles(bool glsOnly);
  virtual void BuildList(TRenderContextInfo& rci);
  virtual void Render(TRenderContextInfo& rci);
  void RenderChild(TRenderContextInfo& rci);  // drawing one object as its parent does
  void RenderChildren(int first, int last, TRenderContextInfo& rci);
  // Drawn after the opaque ones under osRenderBlendedLast (a material that blends).
  virtual bool IsBlended() const { return false; }

 protected:
  friend class TGLScene;
  friend class TGLCamera;
  void SetScene(TGLScene* scene);
  void AssignScene(TGLScene* scene);  // the object and its subtree, nothing released
  void PrepareRender(TRenderContextInfo& rci);
  void FinishRender(TRenderContextInfo& rci);
  void DrawAxes(uint16_t pattern, float length);
  // The object is updating: BeginUpdate pending or the component loading.
  bool IsUpdating() const;
  // The object's own rotation about an axis by the difference of two angles.
  void RotateAbout(const TVector& axis, float oldAngle, float newAngle);

  uint8_t FObjectStyle = 0;
  uint32_t FListHandle = 0;
  uint8_t FChanges = ocTransformation | ocStructure;
  TMatrix FAbsoluteMatrix = IdentityHmgMatrix;
  bool FPushedMatrix = false;

 private:
  std::unique_ptr<TGLCoordinates> FPosition, FDirection, FUp, FScale;
  TGLBaseSceneObject* FParent = nullptr;
  TGLScene* FScene = nullptr;
  std::vector<std::unique_ptr<TGLBaseSceneObject>> FChildren;
  bool FVisible = true;
  TMatrix FLocalMatrix = IdentityHmgMatrix;
  bool FLocalMatrixDirty = true;
  int FUpdateCount = 0;
  bool FShowAxes = false;
  float FRollAngle = 0, FPitchAngle = 0, FTurnAngle = 0;
  bool FIsCalculating = false;
  TGLObjectsSorting FObjectsSorting = osInherited;
  std::unique_ptr<TGLBehaviours> FBehaviours;
  std::unique_ptr<TGLObjectEffects> FEffects;
  // The last orientation that had non-zero vectors: a zero direction or up vector set by a
  // caller falls back to it.
  TVector FGoodDirection{0, 0, 1, 0}, FGoodUp{0, 1, 0, 0};
};

#define CORVANE_SCENE_CLASS(Name, Base)                    \
  const char* ClassName() const override { return #Name; } \
  std::unique_ptr<TGLBaseSceneObject> CreateSame() const override { return std::make_unique<Name>(); }

class TGLCustomSceneObject : public TGLBaseSceneObject {
 public:
  explicit TGLCustomSceneObject(TComponent* owner = nullptr);
  CORVANE_SCENE_CLASS(TGLCustomSceneObject, TGLBaseSceneObject)
  TGLMaterial& Material() { return *FMaterial; }
  const TGLMaterial& Material() const { return *FMaterial; }
  void SetMaterial(const TGLMaterial& m) { FMaterial->Assign(&m); }
  std::string Hint;
  void Render(TRenderContextInfo& rci) override;
  void Assign(const TPersistent* source) override;
  bool IsBlended() const override { return FMaterial->BlendingMode() != bmOpaque; }
  // The display list and the material's texture.
  void DestroyHandle(bool glsOnly) override;

 private:
  std::unique_ptr<TGLMaterial> FMaterial;
};

// The root of a scene's object tree ("ObjectRoot"), drawn without a display list.
class TGLSceneRootObject : public TGLCustomSceneObject {
 public:
  explicit TGLSceneRootObject(TComponent* owner = nullptr);
  CORVANE_SCENE_CLASS(TGLSceneRootObject, TGLCustomSceneObject)
};

class TGLImmaterialSceneObject : public TGLCustomSceneObject {
 public:
  using TGLCustomSceneObject::TGLCustomSceneObject;
  CORVANE_SCENE_CLASS(TGLImmaterialSceneObject, TGLCustomSceneObject)
};

class TGLSceneObject : public TGLImmaterialSceneObject {
 public:
  using TGLImmaterialSceneObject::TGLImmaterialSceneObject;
  CORVANE_SCENE_CLASS(TGLSceneObject, TGLImmaterialSceneObject)
};

// Drawn by its OnRender event: directly every frame, or compiled once into a display list when
// UseBuildList is set.
class TDirectOpenGL : public TGLImmaterialSceneObject {
 public:
  explicit TDirectOpenGL(TComponent* owner = nullptr);
  CORVANE_SCENE_CLASS(TDirectOpenGL, TGLImmaterialSceneObject)
  bool UseBuildList() const { return FUseBuildList; }
  void SetUseBuildList(bool v);
  std::function<void(TDirectOpenGL* sender, TRenderContextInfo& rci)> OnRender;
  void BuildList(TRenderContextInfo& rci) override;
  void Assign(const TPersistent* source) override;

 private:
  bool FUseBuildList = false;
};

enum TGLProxyObjectOption : uint8_t { pooEffects = 1, pooObjects = 2 };
using TGLProxyObjectOptions = uint8_t;

// Draws another object (its master) at its own place, then its own children.
class TGLProxyObject : public TGLBaseSceneObject {
 public:
  explicit TGLProxyObject(TComponent* owner = nullptr);
  ~TGLProxyObject() override;
  CORVANE_SCENE_CLASS(TGLProxyObject, TGLBaseSceneObject)
  TGLBaseSceneObject* MasterObject() const { return FMasterObject; }
  void SetMasterObject(TGLBaseSceneObject* master);
  TGLProxyObjectOptions ProxyOptions() const { return FProxyOptions; }
  void SetProxyOptions(TGLProxyObjectOptions o);
  void Notification(TComponent* component, TOperation operation) override;
  void Render(TRenderContextInfo& rci) override;
  void Assign(const TPersistent* source) override;

 private:
  TGLBaseSceneObject* FMasterObject = nullptr;
  TGLProxyObjectOptions FProxyOptions = pooEffects | pooObjects;
  bool FRendering = false;  // a master that (indirectly) shows this proxy is not drawn again
};

enum TLightStyle : uint8_t { lsSpot, lsOmni, lsParallel };

class TGLLightSource : public TGLBaseSceneObject {
 public:
  explicit TGLLightSource(TComponent* owner = nullptr);
  ~TGLLightSource() override;
  CORVANE_SCENE_CLASS(TGLLightSource, TGLBaseSceneObject)
  uint32_t LightID() const { return FLightID; }
  TGLCoordinates& SpotDirection() { return *FSpotDirection; }
  void SetSpotDirection(const TGLCoordinates& c);
  float SpotExponent() const { return FSpotExponent; }
  void SetSpotExponent(float v);
  float SpotCutOff() const { return FSpotCutOff; }
  void SetSpotCutOff(float v);
  float ConstAttenuation() const { return FConstAttenuation; }
  float LinearAttenuation() const { return FLinearAttenuation; }
  float QuadraticAttenuation() const { return FQuadraticAttenuation; }
  void SetConstAttenuation(float v);
  void SetLinearAttenuation(float v);
  void SetQuadraticAttenuation(float v);
  bool Shining() const { return FShining; }
  void SetShining(bool v);
  TLightStyle LightStyle() const { return FLightStyle; }
  void SetLightStyle(TLightStyle v);
  TGLColor& Ambient() { return *FAmbient; }
  TGLColor& Diffuse() { return *FDiffuse; }
  TGLColor& Specular() { return *FSpecular; }
  void CoordinateChanged(TGLCoordinates* sender) override;
  void DestroyHandle(bool glsOnly) override;
  uint32_t GetHandle(TRenderContextInfo&) override { return 0; }
  void UpdateAbsoluteMatrices() override;
  void Render(TRenderContextInfo& rci) override;

 private:
  friend class TGLScene;
  // Stores a changed value, marks what must be sent to OpenGL again, and notifies.
  void SetParameter(float& field, float v, uint8_t change);
  uint32_t FLightID = 0;
  std::unique_ptr<TGLCoordinates> FSpotDirection;
  float FSpotExponent = 0, FSpotCutOff = 180;
  float FConstAttenuation = 1, FLinearAttenuation = 0, FQuadraticAttenuation = 0;
  bool FShining = true;
  std::unique_ptr<TGLColor> FAmbient, FDiffuse, FSpecular;
  TLightStyle FLightStyle = lsSpot;
};

struct TViewport {
  int Left = 0, Top = 0, Width = 0, Height = 0;
};

class TGLCamera : public TGLBaseSceneObject {
 public:
  explicit TGLCamera(TComponent* owner = nullptr);
  ~TGLCamera() override;
  CORVANE_SCENE_CLASS(TGLCamera, TGLBaseSceneObject)
  float FocalLength() const { return FFocalLength; }
  void SetFocalLength(float v);  // below 1 is stored as 1
  float DepthOfView() const { return FDepthOfView; }
  void SetDepthOfView(float v);
  float NearPlane() const { return FNearPlane; }
  TGLBaseSceneObject* TargetObject() const { return FTargetObject; }
  void SetTargetObject(TGLBaseSceneObject* target);
  void Notification(TComponent* component, TOperation operation) override;

  // The projection for a viewport of the viewer (width, height of the control, dots per inch).
  void ApplyPerspective(const TViewport& viewport, int width, int height, int dpi);
  // The view transform (the modelview matrix is the identity when it is called).
  void Apply();
  void ResetPosition();
  void MoveAroundTarget(float pitchDelta, float turnDelta);
  void AdjustDistanceToTarget(float distanceRatio);
  void Render(TRenderContextInfo&) override {}

 private:
  friend class TGLScene;
  float FFocalLength = 50, FDepthOfView = 100, FNearPlane = 0;
  TGLBaseSceneObject* FTargetObject = nullptr;
  TVector FLastDirection = NullHmgVector;
  TViewport FLastViewport;
};

enum TFogMode : uint8_t { fmLinear, fmExp, fmExp2 };

class TGLFogEnvironment : public TGLUpdateAbleObject {
 public:
  TGLFogEnvironment(TGLViewerCore* viewer);
  const char* ClassName() const override { return "TGLFogEnvironment"; }
  TGLColor& FogColor() { return *FFogColor; }
  void SetFogColor(const TGLColor* c);  // only when a colour is given
  float FogStart() const { return FFogStart; }
  float FogEnd() const { return FFogEnd; }
  TFogMode FogMode() const { return FFogMode; }
  void SetFogStart(float v);
  void SetFogEnd(float v);
  void SetFogMode(TFogMode m);
  bool Changed() const { return FChanged; }
  void NotifyChange(TPersistent* sender) override;  // changed, and the viewer repaints
  void Assign(const TPersistent* source) override;
  void ApplyFog();

 private:
  TGLViewerCore* FViewer;
  std::unique_ptr<TGLColor> FFogColor;
  float FFogStart = 10, FFogEnd = 1000;
  TFogMode FFogMode = fmLinear;
  bool FChanged = true;
};

class TGLScene : public TGLUpdateAbleComponent {
 public:
  explicit TGLScene(TComponent* owner = nullptr);
  ~TGLScene() override;
  const char* ClassName() const override { return "TGLScene"; }
  TGLSceneRootObject& Objects() { return *FObjects; }
  TGLBaseSceneObject& Cameras() { return *FCameras; }
  // A top-level object of a stored scene: cameras under "CameraRoot", the rest under "ObjectRoot".
  TGLBaseSceneObject* AddObject(std::unique_ptr<TGLBaseSceneObject> object);
  TGLObjectsSorting ObjectsSorting() const { return FObjectsSorting; }
  void SetObjectsSorting(TGLObjectsSorting v);

  void AddLight(TGLLightSource* light);
  void RemoveLight(TGLLightSource* light);
  TGLLightSource* LightSlot(int i) const { return FLights.at(static_cast<size_t>(i)); }
  void AddViewer(TGLViewerCore* viewer);
  void RemoveViewer(TGLViewerCore* viewer);
  const std::vector<TGLViewerCore*>& Viewers() const { return FViewers; }
  void* BaseContext() const { return FBaseContext; }
  bool ActivateDefaultRenderingContext();
  void DeactivateDefaultRenderingContext();

  void NotifyChange(TPersistent* sender) override;
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();  // "Assertion failure" without BeginUpdate
  bool IsUpdating() const;

  void SetupCamera(TGLCamera* camera);
  void SetupLights(int lightLimit);
  void RenderScene(TGLViewerCore* viewer, int width, int height);
  TGLCamera* CurrentCamera() const { return FCurrentCamera; }
  TGLCamera* PreviousCamera() const { return FLastCamera; }
  TGLViewerCore* CurrentViewer() const { return FCurrentViewer; }
  TNotifyEvent OnProgress;  // never fired here

 private:
  int FUpdateCount = 0;
  std::unique_ptr<TGLSceneRootObject> FObjects;
  std::unique_ptr<TGLBaseSceneObject> FCameras;
  void* FBaseContext = nullptr;
  std::array<TGLLightSource*, 8> FLights{};
  std::vector<TGLViewerCore*> FViewers;
  TGLCamera* FLastCamera = nullptr;
  TGLCamera* FCurrentCamera = nullptr;
  TGLViewerCore* FCurrentViewer = nullptr;
  TGLObjectsSorting FObjectsSorting = osRenderBlendedLast;
  bool FDefaultActivated = false;
};
