#include "scene/SceneGraph.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/Exceptions.h"
#include "scene/GLViewerCore.h"
#include "scene/OpenGL12.h"
#include "scene/VectorLists.h"

namespace {
bool ZeroLength(const TVector& v) { return v[0] == 0 && v[1] == 0 && v[2] == 0; }
bool Finite(const TVector& v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]) && std::isfinite(v[3]);
}
}  // namespace

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
  try {
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
  } catch (...) {
    FIsCalculating = false;
    throw;
  }
  FIsCalculating = false;
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

TAffineVector TGLBaseSceneObject::AxisAlignedDimensions() const {
  return VectorScale(FScale->AsAffineVector(), 0.5f);
}

bool TGLBaseSceneObject::PointInObject(const TAffineVector& p) {
  const TVector local = VectorTransform(VectorMake(p, 1), InvertMatrix(WorldMatrix()));
  const TAffineVector d = AxisAlignedDimensions();
  for (int i = 0; i < 3; ++i)
    if (std::fabs(local[i]) > std::fabs(d[i])) return false;
  return true;
}

bool TGLBaseSceneObject::RayCastIntersect(const TVector& rayStart, const TVector& rayVector,
                                          TVector* intersectPoint, TVector* intersectNormal) {
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

// --- drawing

uint32_t TGLBaseSceneObject::GetHandle(TRenderContextInfo& rci) {
  if (FChanges & ocStructure) {
    if (FListHandle == 0) {
      FListHandle = GL.glGenLists(1);
      if (FListHandle == 0) throw EAssertionFailed(std::string("Handle=0 for ") + ClassName());
    }
    GL.glNewList(FListHandle, GL_COMPILE);
    try {
      BuildList(rci);
    } catch (...) {
      GL.glEndList();
      throw;
    }
    GL.glEndList();
  }
  return FListHandle;
}

void TGLBaseSceneObject::DestroyHandle(bool glsOnly) {
  if (FListHandle == 0) return;
  const uint32_t list = FListHandle;
  FListHandle = 0;
  FChanges |= ocStructure;
  if (glsOnly || !CurrentRC()) return;  // no context: the bookkeeping only
  GL.glDeleteLists(list, 1);
  const GLenum err = GL.glGetError();
  if (err != GL_NO_ERROR) throw EAssertionFailed(std::to_string(err));
}

void TGLBaseSceneObject::DestroyHandles(bool glsOnly) {
  bool activated = false;
  if (!glsOnly && !CurrentRC() && FScene) activated = FScene->ActivateDefaultRenderingContext();
  try {
    FChanges |= ocStructure;
    DestroyHandle(glsOnly);
    for (auto& c : FChildren) c->DestroyHandles(glsOnly);
  } catch (...) {
    if (activated) FScene->DeactivateDefaultRenderingContext();
    throw;
  }
  if (activated) FScene->DeactivateDefaultRenderingContext();
}

void TGLBaseSceneObject::BuildList(TRenderContextInfo&) {}

void TGLBaseSceneObject::Render(TRenderContextInfo& rci) {
  if (FObjectStyle & osDirectDraw)
    BuildList(rci);
  else
    GL.glCallList(GetHandle(rci));
  if (!FChildren.empty()) RenderChildren(0, Count() - 1, rci);
}

void TGLBaseSceneObject::PrepareRender(TRenderContextInfo& rci) {
  if (rci.DrawRelativeToParent) {
    GL.glPushMatrix();
    GL.glMultMatrixf(&LocalMatrix()[0][0]);
    FPushedMatrix = true;
  } else {
    GL.glLoadMatrixf(&FAbsoluteMatrix[0][0]);
    FPushedMatrix = false;
  }
}

void TGLBaseSceneObject::FinishRender(TRenderContextInfo&) {
  if (FPushedMatrix) GL.glPopMatrix();
  FPushedMatrix = false;
  FChanges &= static_cast<uint8_t>(~ocTransformation);
}

void TGLBaseSceneObject::DrawAxes(uint16_t pattern, float length) {
  GL.glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_LINE_BIT);
  GL.glDisable(GL_LIGHTING);
  GL.glEnable(GL_LINE_STIPPLE);
  GL.glEnable(GL_LINE_SMOOTH);
  GL.glEnable(GL_BLEND);
  GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  GL.glLineWidth(1);
  GL.glLineStipple(1, pattern);
  GL.glBegin(GL_LINES);
  const float axes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (const auto& a : axes) {
    GL.glColor3f(a[0] * 0.5f, a[1] * 0.5f, a[2] * 0.5f);
    GL.glVertex3f(0, 0, 0);
    GL.glVertex3f(-a[0] * length, -a[1] * length, -a[2] * length);
    GL.glColor3f(a[0], a[1], a[2]);
    GL.glVertex3f(0, 0, 0);
    GL.glVertex3f(a[0] * length, a[1] * length, a[2] * length);
  }
  GL.glEnd();
  GL.glPopAttrib();
}

void TGLBaseSceneObject::RenderChild(TRenderContextInfo& rci) {
  if (!FVisible) return;
  PrepareRender(rci);
  try {
    if (FShowAxes) {
      TGLCamera* cam = FScene ? FScene->CurrentCamera() : nullptr;
      DrawAxes(0xCCCC, cam ? cam->DepthOfView() : 100.0f);
    }
    if (FEffects->Count() > 0) {
      GL.glPushMatrix();
      FEffects->RenderPreEffects(rci);
      GL.glPopMatrix();
      GL.glPushMatrix();
      Render(rci);
      FEffects->RenderPostEffects(rci);
      GL.glPopMatrix();
    } else {
      Render(rci);
    }
    if (FObjectStyle & osDoesTemperWithColorsOrFaceWinding) {
      ResetGLPolygonMode();
      ResetGLMaterialColors();
    }
  } catch (...) {
    FinishRender(rci);
    throw;
  }
  FinishRender(rci);
  FChanges &= static_cast<uint8_t>(~ocStructure);
}

void TGLBaseSceneObject::RenderChildren(int first, int last, TRenderContextInfo& rci) {
  if (first < 0 || last >= Count() || first > last) return;
  if (first == last) {
    Children(first)->RenderChild(rci);
    return;
  }
  const TGLObjectsSorting saved = rci.ObjectsSorting;
  if (FObjectsSorting != osInherited) rci.ObjectsSorting = FObjectsSorting;
  auto distanceKey = [&](TGLBaseSceneObject* obj) {
    const TVector d = VectorSubtract(obj->BarycenterAbsolutePosition(), rci.CameraPosition);
    return static_cast<float>(double(d[0]) * d[0] + double(d[1]) * d[1] + double(d[2]) * d[2]);
  };
  auto drawSorted = [&](TSingleList& keys, std::vector<void*>& objects) {
    if (keys.Count() > 1) QuickSort(0, keys.Count() - 1, keys, objects);
    for (int i = keys.Count() - 1; i >= 0; --i)
      static_cast<TGLBaseSceneObject*>(objects[static_cast<size_t>(i)])->RenderChild(rci);
  };
  try {
    switch (rci.ObjectsSorting) {
      case osNone:
        for (int i = first; i <= last; ++i) Children(i)->RenderChild(rci);
        break;
      case osRenderFarthestFirst: {
        TSingleList keys;
        std::vector<void*> objects;
        for (int i = first; i <= last; ++i) {
          keys.Add(distanceKey(Children(i)));
          objects.push_back(Children(i));
        }
        drawSorted(keys, objects);
        break;
      }
      case osRenderBlendedLast: {
        TSingleList keys;
        std::vector<void*> objects;
        for (int i = first; i <= last; ++i) {
          TGLBaseSceneObject* c = Children(i);
          if (c->IsBlended()) {
            keys.Add(distanceKey(c));
            objects.push_back(c);
          } else {
            c->RenderChild(rci);
          }
        }
        drawSorted(keys, objects);
        break;
      }
      default:
        throw EAssertionFailed("Assertion failure");
    }
  } catch (...) {
    rci.ObjectsSorting = saved;
    throw;
  }
  rci.ObjectsSorting = saved;
}

// ===================================================================== descendants

TGLCustomSceneObject::TGLCustomSceneObject(TComponent* owner)
    : TGLBaseSceneObject(owner), FMaterial(std::make_unique<TGLMaterial>(this)) {}

void TGLCustomSceneObject::Render(TRenderContextInfo& rci) {
  FMaterial->Apply(rci);
  if (FObjectStyle & osDirectDraw)
    BuildList(rci);
  else
    GL.glCallList(GetHandle(rci));
  FMaterial->UnApply(rci);
  if (Count() > 0) RenderChildren(0, Count() - 1, rci);
}

void TGLCustomSceneObject::Assign(const TPersistent* source) {
  TGLBaseSceneObject::Assign(source);
  if (auto* s = dynamic_cast<const TGLCustomSceneObject*>(source)) {
    FMaterial->Assign(s->FMaterial.get());
    Hint = s->Hint;
  }
}

TGLSceneRootObject::TGLSceneRootObject(TComponent* owner) : TGLCustomSceneObject(owner) {
  FObjectStyle = osDirectDraw;
}

TDirectOpenGL::TDirectOpenGL(TComponent* owner) : TGLImmaterialSceneObject(owner) {
  FObjectStyle = osDirectDraw | osDoesTemperWithColorsOrFaceWinding;
}

void TDirectOpenGL::SetUseBuildList(bool v) {
  if (v == FUseBuildList) return;
  FUseBuildList = v;
  if (v)
    FObjectStyle &= static_cast<uint8_t>(~osDirectDraw);
  else
    FObjectStyle |= osDirectDraw;
  StructureChanged();
}

void TDirectOpenGL::BuildList(TRenderContextInfo& rci) {
  if (OnRender) OnRender(this, rci);
}

void TDirectOpenGL::Assign(const TPersistent* source) {
  TGLImmaterialSceneObject::Assign(source);
  if (auto* s = dynamic_cast<const TDirectOpenGL*>(source)) {
    SetUseBuildList(s->FUseBuildList);
    OnRender = s->OnRender;
  }
}

// ===================================================================== light source

TGLLightSource::TGLLightSource(TComponent* owner)
    : TGLBaseSceneObject(owner),
      FSpotDirection(std::make_unique<TGLCoordinates>(this, TVector{0, 0, -1, 0})),
      FAmbient(std::make_unique<TGLColor>(this)),
      FDiffuse(std::make_unique<TGLColor>(this, TVector{1, 1, 1, 1})),
      FSpecular(std::make_unique<TGLColor>(this)) {
  SetVisible(false);
  FChanges = 0;
}

TGLLightSource::~TGLLightSource() {
  BeginDestruction();
  if (Scene()) Scene()->RemoveLight(this);
}

void TGLLightSource::SetSpotDirection(const TGLCoordinates& c) {
  FSpotDirection->DirectVector() = {c.X(), c.Y(), c.Z(), 0};
  FChanges |= ocSpot;
  NotifyChange(this);
}

void TGLLightSource::SetParameter(float& field, float v, uint8_t change) {
  if (v == field) return;
  field = v;
  FChanges |= change;
  NotifyChange(this);
}

void TGLLightSource::SetSpotExponent(float v) { SetParameter(FSpotExponent, v, ocSpot); }
void TGLLightSource::SetSpotCutOff(float v) { SetParameter(FSpotCutOff, v, ocSpot); }
void TGLLightSource::SetConstAttenuation(float v) { SetParameter(FConstAttenuation, v, ocAttenuation); }
void TGLLightSource::SetLinearAttenuation(float v) { SetParameter(FLinearAttenuation, v, ocAttenuation); }
void TGLLightSource::SetQuadraticAttenuation(float v) { SetParameter(FQuadraticAttenuation, v, ocAttenuation); }

void TGLLightSource::SetShining(bool v) {
  if (v == FShining) return;
  FShining = v;
  NotifyChange(this);
}

void TGLLightSource::SetLightStyle(TLightStyle v) {
  if (v == FLightStyle) return;
  FLightStyle = v;
  FChanges |= ocSpot;
  NotifyChange(this);
}

void TGLLightSource::CoordinateChanged(TGLCoordinates* sender) {
  if (sender == FSpotDirection.get()) {
    FChanges |= ocSpot;
    NotifyChange(this);
    return;
  }
  TGLBaseSceneObject::CoordinateChanged(sender);
}

void TGLLightSource::DestroyHandle(bool glsOnly) {
  if (!glsOnly && FShining && FLightID && CurrentRC()) GL.glDisable(FLightID);
}

void TGLLightSource::UpdateAbsoluteMatrices() {
  // Only the position counts for a light: no orientation, no scale.
  TMatrix m = CreateTranslationMatrix(Position().AsAffineVector());
  if (Parent()) m = MatrixMultiply(m, Parent()->AbsoluteMatrix());
  FAbsoluteMatrix = m;
  for (int i = 0; i < Count(); ++i) Children(i)->UpdateAbsoluteMatrices();
  FChanges &= static_cast<uint8_t>(~ocTransformation);
}

void TGLLightSource::Render(TRenderContextInfo& rci) {
  if (Count() > 0) RenderChildren(0, Count() - 1, rci);
}

// ===================================================================== camera

TGLCamera::TGLCamera(TComponent* owner) : TGLBaseSceneObject(owner) {
  Direction().SetVector(0, 0, -1, 0);  // through the setter, so the orientation follows
  Direction().Initialize({0, 0, -1, 0});
}

TGLCamera::~TGLCamera() {
  BeginDestruction();
  if (FTargetObject) RemoveFreeNotification(FTargetObject);
}

void TGLCamera::SetFocalLength(float v) {
  if (v < 1) v = 1;
  if (v == FFocalLength) return;
  FFocalLength = v;
  if (!(Scene() && Scene()->Loading())) TransformationChanged();
}

void TGLCamera::SetDepthOfView(float v) {
  if (v == FDepthOfView) return;
  FDepthOfView = v;
  if (!(Scene() && Scene()->Loading())) TransformationChanged();
}

void TGLCamera::SetTargetObject(TGLBaseSceneObject* target) {
  if (target == FTargetObject) return;
  if (FTargetObject) RemoveFreeNotification(FTargetObject);
  FTargetObject = target;
  if (target) FreeNotification(target);
  FLastDirection = Direction().AsVector();
  if (!(Scene() && Scene()->Loading())) TransformationChanged();
}

void TGLCamera::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component == FTargetObject) FTargetObject = nullptr;
  TGLBaseSceneObject::Notification(component, operation);
}

void TGLCamera::ApplyPerspective(const TViewport& viewport, int width, int height, int dpi) {
  // A control of zero width or height (minimised, collapsed splitter) is drawn as one pixel.
  if (width < 1) width = 1;
  if (height < 1) height = 1;
  const double d = std::max(width, height);
  const double left = -(width - 2 * viewport.Left) / (2 * d);
  const double right = (2 * viewport.Left + width) / (2 * d);
  const double bottom = -(height - 2 * viewport.Top) / (2 * d);
  const double top = (2 * viewport.Top + height) / (2 * d);
  FNearPlane = static_cast<float>(FFocalLength * 2.0 * dpi / (25.4 * d));
  const double farPlane = double(FNearPlane) + FDepthOfView;
  FLastViewport = viewport;
  GL.glFrustum(left, right, bottom, top, FNearPlane, farPlane);
}

void TGLCamera::Apply() {
  bool looked = false;
  if (!FTargetObject) {
    if (!(FChanges & ocTransformation)) return;
    const TVector eye = AbsolutePosition();
    // The orientation in world space comes from the parents' matrices: the camera's own absolute
    // matrix holds the view matrix of the last frame, not its placement.
    const TMatrix parent = Parent() ? Parent()->WorldMatrix() : IdentityHmgMatrix;
    const TVector d = VectorTransform(Direction().AsVector(), parent);
    const TVector u = VectorTransform(Up().AsVector(), parent);
    GL.gluLookAt(eye[0], eye[1], eye[2], eye[0] + d[0], eye[1] + d[1], eye[2] + d[2], u[0], u[1], u[2]);
    looked = true;
  } else {
    const TVector t = FTargetObject->AbsolutePosition();
    const TVector c = AbsolutePosition();
    TVector d = VectorSubtract(t, c);
    d[3] = 0;
    if (!ZeroLength(d)) NormalizeVector(d);
    if (!(FChanges & ocTransformation) && !(VectorSpacing(d, FLastDirection) > 0)) return;
    FLastDirection = d;
    const TVector& u = Up().AsVector();
    GL.gluLookAt(c[0], c[1], c[2], t[0], t[1], t[2], u[0], u[1], u[2]);
    looked = true;
  }
  if (looked) {
    GL.glGetFloatv(GL_MODELVIEW_MATRIX, &FAbsoluteMatrix[0][0]);
    // A new view matrix must reach the object root even when only the target moved.
    FChanges |= ocTransformation;
  }
}

void TGLCamera::ResetPosition() {
  TGLViewerCore* viewer = nullptr;
  if (Scene()) {
    viewer = Scene()->CurrentViewer();
    if (!viewer && !Scene()->Viewers().empty()) viewer = Scene()->Viewers().front();
  }
  if (!viewer) return;  // no frame drawn and no viewer: nothing to measure from
  const TViewport& vp = viewer->Viewport();
  const float m = std::min(vp.Width, vp.Height) * 0.25f;
  Position().DirectVector() = NullHmgPoint;
  Move(-FNearPlane * m);
  const TVector& p = Position().AsVector();
  if (ZeroLength(p)) {
    TransformationChanged();
    return;  // the direction stays: the camera sits on the origin
  }
  Direction().SetVector(-p[0], -p[1], -p[2], 0);
}

void TGLCamera::MoveAroundTarget(float pitchDelta, float turnDelta) {
  if (!FTargetObject) return;
  const TVector v4 = VectorSubtract(AbsolutePosition(), FTargetObject->AbsolutePosition());
  const TAffineVector v = AffineVectorMake(v4);
  const float d = VectorLength(v);
  TAffineVector a = VectorCrossProduct(Up().AsAffineVector(), v);
  // On the target, or looking along the up vector, there is no plane to turn in.
  if (d == 0 || VectorLength(a) == 0) return;
  NormalizeVector(a);
  TAffineVector c = VectorNormalize(VectorCrossProduct(v, a));
  TAffineVector b = VectorCrossProduct(c, a);
  TAffineVector p{0, -d, 0};
  const double theta = double(turnDelta) * cPIdiv180, phi = double(pitchDelta) * cPIdiv180;
  const double ct = std::cos(theta), st = std::sin(theta), cp = std::cos(phi), sp = std::sin(phi);
  TAffineVector q{float(p[0] * ct - p[1] * st), float(p[0] * st + p[1] * ct), p[2]};
  p = {q[0], float(q[1] * cp - q[2] * sp), float(q[1] * sp + q[2] * cp)};
  TAffineVector vNew;
  for (int i = 0; i < 3; ++i) vNew[i] = static_cast<float>(double(p[0]) * a[i] + double(p[1]) * b[i] + double(p[2]) * c[i]);
  const TAffineVector delta = VectorSubtract(vNew, v);
  Position().AddScaledVector(1.0f, delta);
}

void TGLCamera::AdjustDistanceToTarget(float distanceRatio) {
  if (!FTargetObject) return;
  const TVector v = VectorSubtract(AbsolutePosition(), FTargetObject->AbsolutePosition());
  Position().AddScaledVector(distanceRatio - 1, AffineVectorMake(v));
}

// ===================================================================== fog

TGLFogEnvironment::TGLFogEnvironment(TGLViewerCore* viewer)
    : TGLUpdateAbleObject(nullptr), FViewer(viewer), FFogColor(std::make_unique<TGLColor>(this)) {}

void TGLFogEnvironment::SetFogColor(const TGLColor* c) {
  if (c) FFogColor->Assign(c);
}
void TGLFogEnvironment::SetFogStart(float v) {
  if (v == FFogStart) return;
  FFogStart = v;
  NotifyChange(this);
}
void TGLFogEnvironment::SetFogEnd(float v) {
  if (v == FFogEnd) return;
  FFogEnd = v;
  NotifyChange(this);
}
void TGLFogEnvironment::SetFogMode(TFogMode m) {
  if (m == FFogMode) return;
  FFogMode = m;
  NotifyChange(this);
}

void TGLFogEnvironment::NotifyChange(TPersistent*) {
  FChanged = true;
  if (FViewer) FViewer->Invalidate();
}

void TGLFogEnvironment::Assign(const TPersistent* source) {
  if (auto* f = dynamic_cast<const TGLFogEnvironment*>(source)) {
    FFogColor->Assign(f->FFogColor.get());
    FFogStart = f->FFogStart;
    FFogEnd = f->FFogEnd;
    FFogMode = f->FFogMode;
    FChanged = true;
    return;
  }
  TGLUpdateAbleObject::Assign(source);
}

void TGLFogEnvironment::ApplyFog() {
  if (!FChanged || !FViewer || !FViewer->RenderingContext()) return;
  FViewer->Activate();
  try {
    switch (FFogMode) {
      case fmLinear:
        GL.glFogi(GL_FOG_MODE, GL_LINEAR);
        break;
      case fmExp:
        GL.glFogi(GL_FOG_MODE, GL_EXP);
        GL.glFogf(GL_FOG_DENSITY, FFogColor->Alpha());
        break;
      case fmExp2:
        GL.glFogi(GL_FOG_MODE, GL_EXP2);
        GL.glFogf(GL_FOG_DENSITY, FFogColor->Alpha());
        break;
    }
    GL.glFogfv(GL_FOG_COLOR, FFogColor->AsAddress());
    GL.glFogf(GL_FOG_START, FFogStart);
    GL.glFogf(GL_FOG_END, FFogEnd);
  } catch (...) {
    FViewer->Deactivate();
    throw;
  }
  FViewer->Deactivate();
  FChanged = false;
}

// ===================================================================== scene

TGLScene::TGLScene(TComponent* owner)
    : TGLUpdateAbleComponent(owner),
      FObjects(std::make_unique<TGLSceneRootObject>(this)),
      FCameras(std::make_unique<TGLBaseSceneObject>(this)) {
  FObjects->Name = "ObjectRoot";
  FCameras->Name = "CameraRoot";
  FObjects->SetScene(this);
  FCameras->SetScene(this);
}

TGLScene::~TGLScene() {
  BeginDestruction();
  // Viewers outlive the scene in some windows: they drop it first, then the lists are forgotten
  // (no OpenGL call in a destructor).
  std::vector<TGLViewerCore*> viewers = FViewers;
  for (TGLViewerCore* v : viewers) v->SceneDestroyed(this);
  FViewers.clear();
  FLights.fill(nullptr);
  // The trees leave the scene first, so no object being destroyed reaches back into it.
  FObjects->DestroyHandles(true);
  FCameras->DestroyHandles(true);
  FObjects->SetScene(nullptr);
  FCameras->SetScene(nullptr);
  FCameras.reset();
  FObjects.reset();
}

TGLBaseSceneObject* TGLScene::AddObject(std::unique_ptr<TGLBaseSceneObject> object) {
  if (dynamic_cast<TGLCamera*>(object.get())) return FCameras->AddChild(std::move(object));
  return FObjects->AddChild(std::move(object));
}

void TGLScene::SetObjectsSorting(TGLObjectsSorting v) {
  if (v == FObjectsSorting) return;
  FObjectsSorting = v;
  NotifyChange(this);
}

void TGLScene::AddLight(TGLLightSource* light) {
  for (size_t i = 0; i < FLights.size(); ++i) {
    if (FLights[i] == light) return;
    if (!FLights[i]) {
      FLights[i] = light;
      light->FLightID = GL_LIGHT0 + static_cast<uint32_t>(i);
      return;
    }
  }
}

void TGLScene::RemoveLight(TGLLightSource* light) {
  for (auto& l : FLights)
    if (l == light) l = nullptr;
}

void TGLScene::AddViewer(TGLViewerCore* viewer) {
  if (std::find(FViewers.begin(), FViewers.end(), viewer) != FViewers.end()) return;
  FViewers.push_back(viewer);
  // Every context is created sharing the process-wide share context, so the lists and textures
  // built in the first viewer are already visible to this one.
  if (!FBaseContext) FBaseContext = FViewers.front()->RenderingContext();
}

void TGLScene::RemoveViewer(TGLViewerCore* viewer) {
  auto it = std::find(FViewers.begin(), FViewers.end(), viewer);
  if (it == FViewers.end()) return;
  FViewers.erase(it);
  if (FCurrentViewer == viewer) FCurrentViewer = nullptr;
  if (!FViewers.empty()) {
    FBaseContext = FViewers.front()->RenderingContext();
  } else {
    FObjects->DestroyHandles(true);  // the lists died with the last context
    FBaseContext = nullptr;
  }
}

bool TGLScene::ActivateDefaultRenderingContext() {
  if (FViewers.empty() || !FViewers.front()->RenderingContext()) return false;
  FViewers.front()->Activate();
  return true;
}

void TGLScene::DeactivateDefaultRenderingContext() {
  if (!FViewers.empty()) FViewers.front()->Deactivate();
}

bool TGLScene::IsUpdating() const { return FUpdateCount > 0 || Loading() || Destroying(); }

void TGLScene::NotifyChange(TPersistent*) {
  if (IsUpdating()) return;
  for (TGLViewerCore* v : FViewers) v->Invalidate();
}

void TGLScene::EndUpdate() {
  if (FUpdateCount == 0) throw EAssertionFailed("Assertion failure");
  if (--FUpdateCount == 0) NotifyChange(this);
}

void TGLScene::SetupCamera(TGLCamera* camera) {
  FCurrentCamera = camera;
  camera->Apply();
  FObjects->UpdateAbsoluteMatrices();
  camera->FChanges &= static_cast<uint8_t>(~ocTransformation);
  FLastCamera = camera;
}

void TGLScene::SetupLights(int lightLimit) {
  const int n = std::min(lightLimit, 8);
  for (int i = 0; i < n; ++i) {
    TGLLightSource* light = FLights[static_cast<size_t>(i)];
    if (!light) {
      GL.glDisable(GL_LIGHT0 + static_cast<GLenum>(i));
      continue;
    }
    if (!light->Shining()) {
      GL.glDisable(light->LightID());
      continue;
    }
    const GLenum id = light->LightID();
    GL.glEnable(id);
    GL.glLoadMatrixf(&light->AbsoluteMatrix()[0][0]);
    if (light->LightStyle() == lsParallel) {
      const TVector& s = light->SpotDirection().AsVector();
      const GLfloat pos[4] = {s[0], s[1], s[2], 0};
      GL.glLightfv(id, GL_POSITION, pos);
    } else {
      // The light's matrix already holds the translation to its position: the light sits at
      // the origin of that frame (its position again would place it twice as far).
      static constexpr GLfloat origin[4] = {0, 0, 0, 1};
      GL.glLightfv(id, GL_POSITION, origin);
    }
    GL.glLightfv(id, GL_AMBIENT, light->Ambient().AsAddress());
    GL.glLightfv(id, GL_DIFFUSE, light->Diffuse().AsAddress());
    GL.glLightfv(id, GL_SPECULAR, light->Specular().AsAddress());
    if (light->FChanges & ocSpot) {
      if (light->LightStyle() == lsSpot) {
        if (light->SpotCutOff() != 180) {
          GL.glLightfv(id, GL_SPOT_DIRECTION, light->SpotDirection().AsAddress());
          GL.glLightf(id, GL_SPOT_EXPONENT, light->SpotExponent());
        }
        GL.glLightf(id, GL_SPOT_CUTOFF, light->SpotCutOff());
      } else if (light->LightStyle() == lsOmni) {
        GL.glLightf(id, GL_SPOT_CUTOFF, 180);
      }
      light->FChanges &= static_cast<uint8_t>(~ocSpot);
    }
    if (light->FChanges & ocAttenuation) {
      GL.glLightf(id, GL_CONSTANT_ATTENUATION, light->ConstAttenuation());
      GL.glLightf(id, GL_LINEAR_ATTENUATION, light->LinearAttenuation());
      GL.glLightf(id, GL_QUADRATIC_ATTENUATION, light->QuadraticAttenuation());
      light->FChanges &= static_cast<uint8_t>(~ocAttenuation);
    }
  }
}

void TGLScene::RenderScene(TGLViewerCore* viewer, int width, int height) {
  ResetGLPolygonMode();
  ResetGLMaterialColors();
  viewer->AfterEffects.clear();
  FCurrentViewer = viewer;
  TRenderContextInfo rci;
  rci.Viewer = viewer;
  rci.ObjectsSorting = FObjectsSorting;
  if (TGLCamera* cam = viewer->Camera()) {
    rci.CameraPosition = cam->AbsolutePosition();
    rci.CameraDirection = cam->FLastDirection;
    rci.CameraDirection[3] = 0;
  }
  rci.CurrentStates = viewer->CurrentStates;
  rci.DrawRelativeToParent = false;
  rci.Width = width;
  rci.Height = height;
  try {
    FObjects->RenderChild(rci);
    for (TGLObjectAfterEffect* e : viewer->AfterEffects) e->Render(viewer, rci);
  } catch (...) {
    viewer->CurrentStates = rci.CurrentStates;
    throw;
  }
  viewer->CurrentStates = rci.CurrentStates;
}
