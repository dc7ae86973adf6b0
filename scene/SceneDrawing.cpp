// Drawing scene objects: display lists, the matrix around each object, children in sorted order;
// and the plain descendants of the base object.
#include "scene/SceneGraph.h"

#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "scene/GLViewerCore.h"
#include "scene/OpenGL12.h"
#include "scene/VectorLists.h"

// --- drawing

uint32_t TGLBaseSceneObject::GetHandle(TRenderContextInfo& rci) {
  if (FChanges & ocStructure) {
    if (FListHandle == 0) {
      FListHandle = GL.glGenLists(1);
      if (FListHandle == 0) throw EAssertionFailed(std::string("Handle=0 for ") + ClassName());
    }
    GL.glNewList(FListHandle, GL_COMPILE);
    {
      TScopeGuard endList([] { GL.glEndList(); });
      BuildList(rci);
    }
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
  {
    TScopeGuard deactivate([&] {
      if (activated) FScene->DeactivateDefaultRenderingContext();
    });
    FChanges |= ocStructure;
    DestroyHandle(glsOnly);
    for (auto& c : FChildren) c->DestroyHandles(glsOnly);
  }
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
  TScopeGuard pop([] { GL.glPopAttrib(); });
  // Drawn before the object's own material, so whatever the object drawn before left on would
  // reach the axes: a masked texture's transparent texel made them vanish.
  GL.glDisable(GL_TEXTURE_2D);
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
}

void TGLBaseSceneObject::RenderChild(TRenderContextInfo& rci) {
  if (!FVisible) return;
  PrepareRender(rci);
  {
    TScopeGuard finish([&] { FinishRender(rci); });
    if (FShowAxes) {
      TGLCamera* cam = FScene ? FScene->CurrentCamera() : nullptr;
      DrawAxes(0xCCCC, cam ? cam->DepthOfView() : 100.0f);
    }
    if (FEffects->Count() > 0) {
      {
        GL.glPushMatrix();
        TScopeGuard pop([] { GL.glPopMatrix(); });
        FEffects->RenderPreEffects(rci);
      }
      GL.glPushMatrix();
      TScopeGuard pop([] { GL.glPopMatrix(); });
      Render(rci);
      FEffects->RenderPostEffects(rci);
    } else {
      Render(rci);
    }
    if (FObjectStyle & osDoesTemperWithColorsOrFaceWinding) {
      ResetGLPolygonMode();
      ResetGLMaterialColors();
    }
  }
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
  {
    TScopeGuard restore([&] { rci.ObjectsSorting = saved; });
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
      default: throw EAssertionFailed("Assertion failure");
    }
  }
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

void TGLCustomSceneObject::DestroyHandle(bool glsOnly) {
  TGLBaseSceneObject::DestroyHandle(glsOnly);
  FMaterial->DestroyHandle(glsOnly);
}

void TGLCustomSceneObject::Assign(const TPersistent* source) {
  TGLBaseSceneObject::Assign(source);
  if (auto* s = dynamic_cast<const TGLCustomSceneObject*>(source)) {
    FMaterial->Assign(s->FMaterial.get());
    Hint = s->Hint;
  }
}

TGLSceneRootObject::TGLSceneRootObject(TComponent* owner) : TGLCustomSceneObject(owner) { FObjectStyle = osDirectDraw; }

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
