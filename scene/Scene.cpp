// The scene: object and camera roots, its viewers, lights, and drawing one frame.
#include "scene/SceneGraph.h"

#include <algorithm>

#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "scene/GLViewerCore.h"
#include "scene/OpenGL12.h"

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
  {
    TScopeGuard keepStates([&] { viewer->CurrentStates = rci.CurrentStates; });
    FObjects->RenderChild(rci);
    for (TGLObjectAfterEffect* e : viewer->AfterEffects) e->Render(viewer, rci);
  }
}
