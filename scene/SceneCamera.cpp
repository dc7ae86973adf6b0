// The camera: projection, view and moves around a target.
#include "scene/SceneGraph.h"

#include <algorithm>
#include <cmath>

#include "scene/GLViewerCore.h"
#include "scene/OpenGL12.h"

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
  for (int i = 0; i < 3; ++i)
    vNew[i] = static_cast<float>(double(p[0]) * a[i] + double(p[1]) * b[i] + double(p[2]) * c[i]);
  const TAffineVector delta = VectorSubtract(vNew, v);
  Position().AddScaledVector(1.0f, delta);
}

void TGLCamera::AdjustDistanceToTarget(float distanceRatio) {
  if (!FTargetObject) return;
  const TVector v = VectorSubtract(AbsolutePosition(), FTargetObject->AbsolutePosition());
  Position().AddScaledVector(distanceRatio - 1, AffineVectorMake(v));
}
