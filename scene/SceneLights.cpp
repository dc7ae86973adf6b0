// Light sources and the fog environment.
#include "scene/SceneGraph.h"

#include "platform/ScopeGuard.h"
#include "scene/GLViewerCore.h"
#include "scene/OpenGL12.h"

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
  {
    TScopeGuard deactivate([this] { FViewer->Deactivate(); });
    switch (FFogMode) {
      case fmLinear: GL.glFogi(GL_FOG_MODE, GL_LINEAR); break;
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
  }
  FChanged = false;
}
