#pragma once
// Base classes and small shared routines of the scene library: the change-notification chain
// by which a property change climbs to the scene, the coordinates property, nodes with the
// polygon tessellator, file-backed data, and the caches of OpenGL state that keep redundant
// calls out of every frame.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/Geometry.h"
#include "scene/Classes.h"

class TStream;
class TCubicSpline;
class TGLCoordinates;

// Notified instead of a plain change when coordinates it owns change (scene objects).
class ICoordinateOwner {
 public:
  virtual ~ICoordinateOwner() = default;
  virtual void CoordinateChanged(TGLCoordinates* sender) = 0;
};

// A value object that tells its owner about changes.
class TGLUpdateAbleObject : public TPersistent {
 public:
  explicit TGLUpdateAbleObject(TPersistent* owner) : Owner(owner) {}
  const char* ClassName() const override { return "TGLUpdateAbleObject"; }
  TPersistent* GetOwner() const override { return Owner; }
  virtual void NotifyChange(TPersistent* sender);
  void BeginUpdate() { ++FUpdating; }
  void EndUpdate() { --FUpdating; }
  int Updating() const { return FUpdating; }

  TPersistent* Owner;
  TNotifyEvent OnNotifyChange;

 private:
  int FUpdating = 0;
};

class TGLCadenceAbleComponent : public TComponent {
 public:
  using TComponent::TComponent;
  const char* ClassName() const override { return "TGLCadenceAbleComponent"; }
  virtual void DoProgress(double deltaTime, double newTime);
};

class TGLUpdateAbleComponent : public TGLCadenceAbleComponent {
 public:
  using TGLCadenceAbleComponent::TGLCadenceAbleComponent;
  const char* ClassName() const override { return "TGLUpdateAbleComponent"; }
  // Passes the change to the owner, which must be an updatable component (EInvalidCast
  // otherwise).
  virtual void NotifyChange(TPersistent* sender);
};

// Sends the removal notification for `self` to a component whose destruction it had asked to
// be told about, when a setter drops the reference.
void ReleaseReferencedComponent(TComponent* self, TComponent* old);

// A four-float vector property: positions, directions, up vectors, scales, texture offsets.
class TGLCoordinates : public TGLUpdateAbleObject {
 public:
  TGLCoordinates(TPersistent* owner, const TVector& value);  // value is also the default
  explicit TGLCoordinates(TPersistent* owner) : TGLCoordinates(owner, NullHmgVector) {}
  const char* ClassName() const override { return "TGLCoordinates"; }
  void Initialize(const TVector& value);            // value and default, no notification
  void Assign(const TPersistent* source) override;  // X, Y, Z, W (not the default), no notification
  void NotifyChange(TPersistent* sender) override;

  float X() const { return FCoords[0]; }
  float Y() const { return FCoords[1]; }
  float Z() const { return FCoords[2]; }
  float W() const { return FCoords[3]; }
  void SetX(float v) { SetCoordinate(0, v); }
  void SetY(float v) { SetCoordinate(1, v); }
  void SetZ(float v) { SetCoordinate(2, v); }
  // Each of these notifies, even when the value does not change.
  void SetCoordinate(int index, float value);
  void SetVector(float x, float y, float z, float w);
  void SetVector(float x, float y, float z) { SetVector(x, y, z, FCoords[3]); }
  void SetAsVector(const TVector& v) { SetVector(v[0], v[1], v[2], v[3]); }
  void SetAsAffineVector(const TAffineVector& v) { SetVector(v[0], v[1], v[2]); }
  void AddScaledVector(float factor, const TVector& v);
  void AddScaledVector(float factor, const TAffineVector& v);
  void Normalize();  // four components, no notification
  float VectorLength() const { return ::VectorLength(FCoords); }
  bool Equals(const TVector& v) const { return VectorEquals(FCoords, v); }
  const TVector& AsVector() const { return FCoords; }
  TAffineVector AsAffineVector() const { return AffineVectorMake(FCoords); }
  const float* AsAddress() const { return FCoords.data(); }
  // Raw access for the owner's own adjustments (no notification).
  TVector& DirectVector() { return FCoords; }
  const TVector& Default() const { return FDefault; }

  // Stored form: the binary property "Coordinates", 16 bytes (X, Y, Z, W little-endian),
  // written only when the vector differs from the default.
  bool StoredCoordinates() const { return !VectorEquals(FCoords, FDefault); }
  void WriteData(TStream& s) const;
  void ReadData(TStream& s);

 private:
  TVector FCoords;
  TVector FDefault;
};

class TGLNodes;

class TGLNode {
 public:
  explicit TGLNode(TGLNodes* collection) : FCollection(collection) {}
  float X() const { return FCoords[0]; }
  float Y() const { return FCoords[1]; }
  float Z() const { return FCoords[2]; }
  float W() const { return FCoords[3]; }
  void SetX(float v) { SetCoordinate(0, v); }
  void SetY(float v) { SetCoordinate(1, v); }
  void SetZ(float v) { SetCoordinate(2, v); }
  void SetCoordinate(int index, float v);
  bool StoredX() const { return FCoords[0] != 0; }
  bool StoredY() const { return FCoords[1] != 0; }
  bool StoredZ() const { return FCoords[2] != 0; }
  std::string DisplayName() const;  // "%.4f; %.4f; %.4f", always with a point
  const TVector& AsVector() const { return FCoords; }
  float* AsAddress() { return FCoords.data(); }

 private:
  TGLNodes* FCollection;
  TVector FCoords{0, 0, 0, 0};
};

class TGLNodes {
 public:
  explicit TGLNodes(TPersistent* owner) : Owner(owner) {}
  TPersistent* Owner;
  int Count() const { return static_cast<int>(FItems.size()); }
  TGLNode* Items(int i) const { return FItems.at(static_cast<size_t>(i)).get(); }
  TGLNode* Add();
  TGLNode* AddNode(float x, float y, float z);
  void Delete(int i);
  void Clear();
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  void NotifyChange();
  // A spline through the X, Y and Z of the nodes (the caller owns it).
  std::unique_ptr<TCubicSpline> CreateNewCubicSpline() const;
  // Draws the outline as one tessellated polygon through GLU. Needs three nodes or more.
  void RenderTesselatedPolygon(bool textured, const TAffineVector* normal, int splineDivisions,
                               bool invertNormals = false);

 private:
  std::vector<std::unique_ptr<TGLNode>> FItems;
  int FUpdateCount = 0;
};

// Tessellates closed contours in one plane with GLU and draws the triangles (the vertex doubles
// as texture coordinate when textured). windingRule is a GLU_TESS_WINDING_* value.
void RenderTesselatedContours(const std::vector<std::vector<TAffineVector>>& contours, bool textured,
                              const TAffineVector* normal, uint32_t windingRule);

// Base of data read from files (vector files of meshes).
class TDataFile : public TPersistent {
 public:
  explicit TDataFile(TPersistent* owner) : Owner(owner) {}
  const char* ClassName() const override { return "TDataFile"; }
  TPersistent* GetOwner() const override { return Owner; }
  TPersistent* Owner;
  // A new instance of the same class with that owner (nullptr when called on nullptr).
  static std::unique_ptr<TDataFile> CreateCopy(const TDataFile* self, TPersistent* owner);
  virtual std::unique_ptr<TDataFile> NewInstance(TPersistent* owner) const = 0;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);  // through a temporary file and a rename
  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream);  // "Assertion failure" unless overridden
};

// --- OpenGL capability cache

enum TGLState : uint32_t {
  stAlphaTest,
  stAutoNormal,
  stBlend,
  stColorMaterial,
  stCullFace,
  stDepthTest,
  stDither,
  stFog,
  stLighting,
  stLineSmooth,
  stLineStipple,
  stLogicOp,
  stNormalize,
  stPointSmooth,
  stPolygonSmooth,
  stPolygonStipple,
  stScissorTest,
  stStencilTest,
  stTexture1D,
  stTexture2D
};
inline constexpr int cGLStateCount = 20;
using TGLStates = uint32_t;  // bit n for TGLState n
inline constexpr TGLStates StateBit(TGLState s) { return TGLStates(1) << s; }
inline bool HasState(TGLStates states, TGLState s) { return (states & StateBit(s)) != 0; }
// The OpenGL capability of each state.
uint32_t GLStateCapability(TGLState s);

void SetGLState(TGLStates& states, TGLState state);    // glEnable when not yet in the set
void UnSetGLState(TGLStates& states, TGLState state);  // glDisable when in the set
// glEnable of each member in TGLState order.
void EnableGLStates(TGLStates states);

// Polygon mode and material colour caches (valid for the one current context; the scene resets
// them at the start of every frame). face and mode are OpenGL enumerations.
void SetGLPolygonMode(uint32_t face, uint32_t mode);
void ResetGLPolygonMode();
void SetGLMaterialColors(uint32_t face, const TVector& emission, const TVector& ambient, const TVector& diffuse,
                         const TVector& specular);
void SetGLMaterialAlphaChannel(uint32_t face, float alpha);
void ResetGLMaterialColors();
void SetGLTextureMatrix(const TMatrix& matrix);
void ResetGLTextureMatrix();

// --- other routines
int RoundUpToPowerOf2(int value);
float NormalizeDegAngle(float angle);
const std::array<uint8_t, 256>& GetSqrt255Array();
void SaveStringToFile(const std::string& fileName, const std::string& data);
std::string LoadStringFromFile(const std::string& fileName);

// --- what every drawing operation is handed (filled by the scene each frame)
class TGLViewerCore;
enum TGLObjectsSorting : uint8_t { osInherited, osNone, osRenderFarthestFirst, osRenderBlendedLast };

struct TRenderContextInfo {
  TGLObjectsSorting ObjectsSorting = osNone;
  TVector CameraPosition = NullHmgPoint;
  TVector CameraDirection = NullHmgVector;  // w is 0
  TGLStates CurrentStates = 0;              // the viewer's enabled capabilities
  bool DrawRelativeToParent = false;        // set by proxies
  int Width = 0, Height = 0;
  TGLViewerCore* Viewer = nullptr;  // the viewer drawing the frame (after-effects queue there)
};

// Owners that are told when a value they own changes what must be drawn (scene objects: the
// display list is rebuilt).
class IStructureOwner {
 public:
  virtual ~IStructureOwner() = default;
  virtual void StructureChanged() = 0;
  virtual void NotifyChange(TPersistent* sender) = 0;
};
