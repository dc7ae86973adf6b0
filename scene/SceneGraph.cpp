#include "scene/SceneGraph.h"

#include <algorithm>
#include <cmath>

#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "scene/OpenGL12.h"

// ===================================================================== TGLBaseSceneObject

namespace {
// Under itself or a descendant a subtree would own itself: refused before anything moves.
void RefuseUnderItself(const TGLBaseSceneObject* object, const TGLBaseSceneObject* newParent) {
  for (const TGLBaseSceneObject* p = newParent; p; p = p->Parent())
    if (p == object) throw EAssertionFailed("Assertion failure");
}
}  // namespace

TGLBaseSceneObject::TGLBaseSceneObject(TComponent* owner)
    : TGLUpdateAbleComponent(owner),
      FPosition(std::make_unique<TGLCoordinates>(this, NullHmgPoint)),
      FDirection(std::make_unique<TGLCoordinates>(this, ZHmgVector)),
      FUp(std::make_unique<TGLCoordinates>(this, YHmgVector)),
      FScale(std::make_unique<TGLCoordinates>(this, TVector{1, 1, 1, 0})),
      FBehaviours(std::make_unique<TGLBehaviours>(this)),
      FEffects(std::make_unique<TGLObjectEffects>(this)) {}

TGLBaseSceneObject::~TGLBaseSceneObject() {
  BeginDestruction();
  // Destructors never throw: the list is released under the scene's first viewer's context when
  // none is active, and only forgotten when there is no context at all.
  if (FScene && FListHandle) {
    bool activated = false;
    try {
      if (!CurrentRC()) activated = FScene->ActivateDefaultRenderingContext();
      DestroyHandle(false);
    } catch (...) {
      FListHandle = 0;
    }
    try {
      if (activated) FScene->DeactivateDefaultRenderingContext();
    } catch (...) {
    }
  }
  DeleteChildren();
  if (FParent) FParent->Remove(this, false).release();  // we are being destroyed already
}

std::unique_ptr<TGLBaseSceneObject> TGLBaseSceneObject::CreateSame() const {
  return std::make_unique<TGLBaseSceneObject>();
}

// --- tree

TGLBaseSceneObject* TGLBaseSceneObject::AddChild(std::unique_ptr<TGLBaseSceneObject> child) {
  TGLBaseSceneObject* c = child.get();
  if (FScene)
    if (auto* light = dynamic_cast<TGLLightSource*>(c)) FScene->AddLight(light);
  FChildren.push_back(std::move(child));
  c->FParent = this;
  c->SetScene(FScene);
  TransformationChanged();
  return c;
}

void TGLBaseSceneObject::Insert(int index, TGLBaseSceneObject* child) {
  if (!child) return;
  RefuseUnderItself(child, this);
  std::unique_ptr<TGLBaseSceneObject> owned =
      child->FParent ? child->FParent->Remove(child, false) : std::unique_ptr<TGLBaseSceneObject>(child);
  Insert(index, std::move(owned));
}

void TGLBaseSceneObject::Insert(int index, std::unique_ptr<TGLBaseSceneObject> child) {
  if (!child) return;
  if (child->FParent) {
    // Already in a tree: take it from there (the given pointer then owns nothing).
    TGLBaseSceneObject* raw = child.release();
    Insert(index, raw);
    return;
  }
  TGLBaseSceneObject* c = child.get();
  index = std::clamp(index, 0, Count());
  FChildren.insert(FChildren.begin() + index, std::move(child));
  c->FParent = this;
  c->SetScene(FScene);
  if (FScene)
    if (auto* light = dynamic_cast<TGLLightSource*>(c)) FScene->AddLight(light);
  TransformationChanged();
}

std::unique_ptr<TGLBaseSceneObject> TGLBaseSceneObject::Remove(TGLBaseSceneObject* child, bool keepChildren) {
  auto it = std::find_if(FChildren.begin(), FChildren.end(), [&](const auto& p) { return p.get() == child; });
  if (it == FChildren.end()) return nullptr;
  if (FScene)
    if (auto* light = dynamic_cast<TGLLightSource*>(child)) FScene->RemoveLight(light);
  std::unique_ptr<TGLBaseSceneObject> owned = std::move(*it);
  FChildren.erase(it);
  owned->FParent = nullptr;
  if (keepChildren) {
    BeginUpdate();
    while (owned->Count() > 0) owned->Children(0)->MoveTo(this);
    EndUpdate();
  } else if (!Destroying()) {
    NotifyChange(this);
  }
  return owned;
}

std::unique_ptr<TGLBaseSceneObject> TGLBaseSceneObject::MoveTo(TGLBaseSceneObject* newParent) {
  RefuseUnderItself(this, newParent);
  std::unique_ptr<TGLBaseSceneObject> self;
  if (FParent) self = FParent->Remove(this, false);
  if (newParent) {
    if (!self) self.reset(this);  // a parentless object given to a parent is taken over
    newParent->AddChild(std::move(self));
    return nullptr;
  }
  SetScene(nullptr);
  return self;
}

void TGLBaseSceneObject::SetParentComponent(TComponent* value) {
  auto* parent = dynamic_cast<TGLBaseSceneObject*>(value);
  if (auto* scene = dynamic_cast<TGLScene*>(value))
    parent = dynamic_cast<TGLCamera*>(this) ? &scene->Cameras() : static_cast<TGLBaseSceneObject*>(&scene->Objects());
  if (!parent) throw EAssertionFailed("Assertion failure");
  MoveTo(parent);
}

void TGLBaseSceneObject::DeleteChildren() {
  while (!FChildren.empty()) {
    std::unique_ptr<TGLBaseSceneObject> c = std::move(FChildren.back());
    FChildren.pop_back();
    if (FScene)
      if (auto* light = dynamic_cast<TGLLightSource*>(c.get())) FScene->RemoveLight(light);
    c->FParent = nullptr;
  }
}

int TGLBaseSceneObject::IndexOfChild(const TGLBaseSceneObject* child) const {
  for (size_t i = 0; i < FChildren.size(); ++i)
    if (FChildren[i].get() == child) return static_cast<int>(i);
  return -1;
}

void TGLBaseSceneObject::MoveChildDown(int i) {
  if (i < 0 || i >= Count() - 1) return;
  std::swap(FChildren[static_cast<size_t>(i)], FChildren[static_cast<size_t>(i) + 1]);
  NotifyChange(this);
}

void TGLBaseSceneObject::MoveDown() {
  if (FParent) FParent->MoveChildDown(Index());
}

void TGLBaseSceneObject::SetIndex(int i) {
  if (!FParent) return;
  TGLBaseSceneObject* parent = FParent;
  i = std::clamp(i, 0, parent->Count() - 1);
  if (i == Index()) return;
  if (FScene) FScene->BeginUpdate();
  std::unique_ptr<TGLBaseSceneObject> self = parent->Remove(this, false);
  parent->Insert(i, std::move(self));
  if (FScene) FScene->EndUpdate();
}

void TGLBaseSceneObject::SetScene(TGLScene* scene) {
  if (scene == FScene) return;
  // The lists belong to the old scene's contexts: released there (only forgotten when it has
  // none), and a failing release never leaves a move half done.
  try {
    DestroyHandles(FScene == nullptr);
  } catch (...) {
    DestroyHandles(true);
  }
  AssignScene(scene);
}

void TGLBaseSceneObject::AssignScene(TGLScene* scene) {
  FScene = scene;
  for (auto& c : FChildren) c->AssignScene(scene);
}

// --- transform

void TGLBaseSceneObject::SetPosition(const TGLCoordinates& c) { FPosition->SetVector(c.X(), c.Y(), c.Z(), 1); }
void TGLBaseSceneObject::SetDirection(const TGLCoordinates& c) {
  FDirection->SetVector(c.X(), c.Y(), c.Z(), 0);
  TransformationChanged();
}
void TGLBaseSceneObject::SetUp(const TGLCoordinates& c) {
  FUp->SetVector(c.X(), c.Y(), c.Z(), 0);
  TransformationChanged();
}
void TGLBaseSceneObject::SetScale(const TGLCoordinates& c) {
  FScale->Assign(&c);
  TransformationChanged();
}

void TGLBaseSceneObject::TransformationChanged() {
  FLocalMatrixDirty = true;
  if (!(FChanges & ocTransformation)) {
    FChanges |= ocTransformation;
    NotifyChange(this);
  }
}

void TGLBaseSceneObject::StructureChanged() {
  if (!(FChanges & ocStructure)) {
    FChanges |= ocStructure;
    NotifyChange(this);
  }
}

void TGLBaseSceneObject::CoordinateChanged(TGLCoordinates* sender) {
  if (FIsCalculating) return;
  FIsCalculating = true;
  {
    TScopeGuard done([this] { FIsCalculating = false; });
    TVector& dir = FDirection->DirectVector();
    TVector& up = FUp->DirectVector();
    auto fallbackRight = [](const TVector& v) { return TVector{v[0] + 1, v[1] + 2, v[2] + 3, 0}; };
    if (sender == FDirection.get()) {
      if (ZeroLength(dir) || !Finite(dir)) {
        dir = FGoodDirection;  // a zero direction has no orientation: keep the old one
      } else {
        if (ZeroLength(up)) up = YHmgVector;
        NormalizeVector(dir);
        TVector right = VectorCrossProduct(dir, up);
        if (VectorLength(right) == 0) right = fallbackRight(dir);
        up = VectorCrossProduct(right, dir);
        NormalizeVector(up);
      }
    } else if (sender == FUp.get()) {
      if (ZeroLength(up) || !Finite(up)) {
        up = FGoodUp;
      } else {
        if (ZeroLength(dir)) dir = ZHmgVector;
        NormalizeVector(up);
        TVector right = VectorCrossProduct(dir, up);
        if (VectorLength(right) == 0) right = fallbackRight(up);
        dir = VectorCrossProduct(up, right);
        NormalizeVector(dir);
      }
    }
    if (Finite(dir) && !ZeroLength(dir)) FGoodDirection = dir;
    if (Finite(up) && !ZeroLength(up)) FGoodUp = up;
    TransformationChanged();
  }
}

const TMatrix& TGLBaseSceneObject::LocalMatrix() {
  if (FLocalMatrixDirty) {
    const TVector& up = FUp->AsVector();
    const TVector& dir = FDirection->AsVector();
    const TVector& s = FScale->AsVector();
    TVector right = VectorCrossProduct(up, dir);
    FLocalMatrix[0] = VectorScale(right, s[0], s[0]);
    FLocalMatrix[0][3] = 0;
    FLocalMatrix[1] = VectorScale(up, s[1], s[1]);
    FLocalMatrix[2] = VectorScale(dir, s[2], s[2]);
    FLocalMatrix[3] = FPosition->AsVector();
    FLocalMatrixDirty = false;
  }
  return FLocalMatrix;
}

TMatrix TGLBaseSceneObject::WorldMatrix() {
  // The object root's matrix is the camera's when drawing: world coordinates start below it.
  if (FScene && this == static_cast<TGLBaseSceneObject*>(&FScene->Objects())) return IdentityHmgMatrix;
  TMatrix m = LocalMatrix();
  for (TGLBaseSceneObject* p = FParent; p; p = p->FParent) {
    if (p->FScene && p == static_cast<TGLBaseSceneObject*>(&p->FScene->Objects())) break;
    m = MatrixMultiply(m, p->LocalMatrix());
  }
  return m;
}

TVector TGLBaseSceneObject::AbsolutePosition() {
  if (!FParent) return FPosition->AsVector();
  return VectorTransform(FPosition->AsVector(), FParent->WorldMatrix());
}

TAffineVector TGLBaseSceneObject::AxisAlignedDimensions() const { return VectorScale(FScale->AsAffineVector(), 0.5f); }

bool TGLBaseSceneObject::PointInObject(const TAffineVector& p) {
  const TVector local = VectorTransform(VectorMake(p, 1), InvertMatrix(WorldMatrix()));
  const TAffineVector d = AxisAlignedDimensions();
  for (int i = 0; i < 3; ++i)
    if (std::fabs(local[i]) > std::fabs(d[i])) return false;
  return true;
}

bool TGLBaseSceneObject::RayCastIntersect(const TVector& rayStart, const TVector& rayVector, TVector* intersectPoint,
                                          TVector* intersectNormal) {
  // The ray in local space against the two triangles of the unit square z = 0 of the object.
  const TMatrix world = WorldMatrix();
  const TMatrix inv = InvertMatrix(world);
  const TVector s = VectorTransform(TVector{rayStart[0], rayStart[1], rayStart[2], 1}, inv);
  const TVector v = VectorTransform(TVector{rayVector[0], rayVector[1], rayVector[2], 0}, inv);
  TVector p, n;
  const bool hit = RayCastTriangleIntersect(s, v, {-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, &p, &n) ||
                   RayCastTriangleIntersect(s, v, {-0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}, &p, &n);
  if (!hit) return false;
  if (intersectPoint) *intersectPoint = VectorTransform(p, world);
  if (intersectNormal) {
    *intersectNormal = VectorTransform(n, world);
    NormalizeVector(*intersectNormal);
  }
  return true;
}

void TGLBaseSceneObject::GetOrientationVectors(TVector& up, TVector& direction) const {
  if (TransformationMode != tmLocal && FParent) {
    up = FParent->FUp->AsVector();
    direction = FParent->FDirection->AsVector();
  } else {
    up = FUp->AsVector();
    direction = FDirection->AsVector();
  }
}

void TGLBaseSceneObject::Move(float distance) {
  TVector up, dir;
  if (TransformationMode == tmParentWithPos)
    GetOrientationVectors(up, dir);
  else
    dir = FDirection->AsVector();
  FPosition->DirectVector()[0] += distance * dir[0];
  FPosition->DirectVector()[1] += distance * dir[1];
  FPosition->DirectVector()[2] += distance * dir[2];
  TransformationChanged();
}

void TGLBaseSceneObject::RotateAbout(const TVector& axis, float oldAngle, float newAngle) {
  const TMatrix r = CreateRotationMatrix(AffineVectorMake(axis), DegToRad(double(oldAngle) - newAngle));
  TVector& up = FUp->DirectVector();
  TVector& dir = FDirection->DirectVector();
  up = VectorTransform(up, r);
  NormalizeVector(up);
  dir = VectorTransform(dir, r);
  NormalizeVector(dir);
  if (TransformationMode == tmParentWithPos) FPosition->DirectVector() = VectorTransform(FPosition->AsVector(), r);
  if (Finite(dir) && !ZeroLength(dir)) FGoodDirection = dir;
  if (Finite(up) && !ZeroLength(up)) FGoodUp = up;
  TransformationChanged();
}

void TGLBaseSceneObject::SetPitchAngle(float v) {
  if (v == FPitchAngle) return;
  if (!Loading()) {
    TVector up, dir;
    GetOrientationVectors(up, dir);
    RotateAbout(VectorCrossProduct(dir, up), FPitchAngle, v);
  }
  FPitchAngle = NormalizeDegAngle(v);
}

void TGLBaseSceneObject::SetRollAngle(float v) {
  if (v == FRollAngle) return;
  if (!Loading()) {
    TVector up, dir;
    GetOrientationVectors(up, dir);
    RotateAbout(dir, FRollAngle, v);
  }
  FRollAngle = NormalizeDegAngle(v);
}

void TGLBaseSceneObject::SetTurnAngle(float v) {
  if (v == FTurnAngle) return;
  if (!Loading()) {
    TVector up, dir;
    GetOrientationVectors(up, dir);
    RotateAbout(up, FTurnAngle, v);
  }
  FTurnAngle = NormalizeDegAngle(v);
}

void TGLBaseSceneObject::UpdateAbsoluteMatrices() {
  if (FParent) {
    if ((FChanges & ocTransformation) || (FParent->FChanges & ocTransformation)) {
      FAbsoluteMatrix = MatrixMultiply(LocalMatrix(), FParent->FAbsoluteMatrix);
      FChanges |= ocTransformation;
    }
  } else if (FScene) {
    TGLCamera* cam = FScene->CurrentCamera();
    if (cam && (cam != FScene->PreviousCamera() || (cam->FChanges & ocTransformation))) {
      FAbsoluteMatrix = cam->FAbsoluteMatrix;  // the view matrix
      FChanges |= ocTransformation;
    }
  }
  for (auto& c : FChildren) c->UpdateAbsoluteMatrices();
  FChanges &= static_cast<uint8_t>(~ocTransformation);
}

// --- properties

void TGLBaseSceneObject::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  NotifyChange(this);
}

void TGLBaseSceneObject::SetShowAxes(bool v) {
  if (v == FShowAxes) return;
  FShowAxes = v;
  NotifyChange(this);
}

void TGLBaseSceneObject::SetObjectsSorting(TGLObjectsSorting v) {
  if (v == FObjectsSorting) return;
  FObjectsSorting = v;
  NotifyChange(this);
}

void TGLBaseSceneObject::Assign(const TPersistent* source) {
  auto* s = dynamic_cast<const TGLBaseSceneObject*>(source);
  if (!s) {
    TGLUpdateAbleComponent::Assign(source);
    return;
  }
  if (s == this) return;
  DestroyHandles(false);
  FPosition->Assign(s->FPosition.get());
  FDirection->Assign(s->FDirection.get());
  FUp->Assign(s->FUp.get());
  FScale->Assign(s->FScale.get());
  FVisible = s->FVisible;
  FLocalMatrix = s->FLocalMatrix;
  FAbsoluteMatrix = s->FAbsoluteMatrix;
  FLocalMatrixDirty = s->FLocalMatrixDirty;
  FShowAxes = s->FShowAxes;
  FObjectsSorting = s->FObjectsSorting;
  FRollAngle = s->FRollAngle;
  FPitchAngle = s->FPitchAngle;
  FTurnAngle = s->FTurnAngle;
  FGoodDirection = s->FGoodDirection;
  FGoodUp = s->FGoodUp;
  TransformationMode = s->TransformationMode;
  if (FScene) FScene->BeginUpdate();
  DeleteChildren();
  for (const auto& c : s->FChildren) {
    std::unique_ptr<TGLBaseSceneObject> copy = c->CreateSame();
    copy->Assign(c.get());
    AddChild(std::move(copy));
  }
  if (FScene) FScene->EndUpdate();
  OnProgress = s->OnProgress;
  FBehaviours->Assign(s->FBehaviours.get());
  FEffects->Assign(s->FEffects.get());
  TagFloat = s->TagFloat;
  FChanges = ocTransformation | ocStructure;
}

void TGLBaseSceneObject::Loaded() {
  TGLUpdateAbleComponent::Loaded();
  FPosition->SetCoordinate(3, 1);
  FBehaviours->Loaded();
  FEffects->Loaded();
}

// --- notification

bool TGLBaseSceneObject::IsUpdating() const { return FUpdateCount > 0 || Loading(); }

void TGLBaseSceneObject::NotifyChange(TPersistent*) {
  if (IsUpdating() || Destroying()) return;
  if (FScene) FScene->NotifyChange(this);
}

void TGLBaseSceneObject::EndUpdate() {
  if (FUpdateCount == 0) throw EAssertionFailed("Unbalanced Begin/EndUpdate");
  if (--FUpdateCount == 0) NotifyChange(this);
}

void TGLBaseSceneObject::DoProgress(double deltaTime, double newTime) {
  for (int i = Count() - 1; i >= 0; --i) Children(i)->DoProgress(deltaTime, newTime);
  FBehaviours->DoProgress(deltaTime, newTime);
  if (FEffects->Count() > 0) FEffects->DoProgress(deltaTime, newTime);
  if (OnProgress) OnProgress(this, deltaTime, newTime);
}
