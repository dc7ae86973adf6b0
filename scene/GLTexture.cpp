#include "scene/GLTexture.h"

#include <cstring>

#include "platform/Streams.h"
#include "scene/OpenGL12.h"

const std::array<TVector, 25>& SystemColors() {
  static const std::array<TVector, 25> table = [] {
    static constexpr uint32_t rgb[25] = {
        0xC0C0C0, 0x008080, 0x000080, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000, 0x000000, 0x000000,
        0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0x000080, 0xFFFFFF, 0xC0C0C0, 0x808080, 0x808080,
        0x000000, 0xC0C0C0, 0xFFFFFF, 0x000000, 0xDFDFDF, 0x000000, 0xFFFFE1};
    std::array<TVector, 25> t;
    for (int i = 0; i < 25; ++i)
      t[i] = {((rgb[i] >> 16) & 0xFF) / 255.0f, ((rgb[i] >> 8) & 0xFF) / 255.0f, (rgb[i] & 0xFF) / 255.0f, 1};
    return t;
  }();
  return table;
}

TVector ConvertWinColor(TColor color, float alpha) {
  TVector c;
  if (color & 0x80000000u) {
    const uint32_t index = color & 0xFFu;
    c = index < 25 ? SystemColors()[index] : TVector{0, 0, 0, 1};
  } else {
    c = {(color & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, ((color >> 16) & 0xFF) / 255.0f, 1};
  }
  c[3] = alpha;
  return c;
}

// --- colour

TGLColor::TGLColor(TPersistent* owner) : TGLColor(owner, {0, 0, 0, 1}) {}
TGLColor::TGLColor(TPersistent* owner, const TVector& color)
    : TGLUpdateAbleObject(owner), FColor(color), FDefault(color) {}

void TGLColor::SetColor(const TVector& c) {
  FColor = c;
  NotifyChange(this);
}

void TGLColor::SetComponent(int index, float value) {
  float& f = FColor.at(static_cast<size_t>(index));
  if (std::memcmp(&f, &value, 4) == 0) return;
  f = value;
  NotifyChange(this);
}

void TGLColor::Assign(const TPersistent* source) {
  if (auto* c = dynamic_cast<const TGLColor*>(source)) {
    FColor = c->FColor;
    NotifyChange(this);
    return;
  }
  TGLUpdateAbleObject::Assign(source);
}

void TGLColor::NotifyChange(TPersistent* sender) {
  // A colour owned by a scene object changes what its display list holds.
  if (auto* o = dynamic_cast<IStructureOwner*>(Owner)) {
    o->StructureChanged();
    return;
  }
  TGLUpdateAbleObject::NotifyChange(sender);
}

void TGLColor::WriteData(TStream& s) const { s.WriteBuffer(FColor.data(), 16); }

void TGLColor::ReadData(TStream& s) {
  TVector v;
  s.ReadBuffer(v.data(), 16);
  FColor = v;
}

// --- face properties

TGLFaceProperties::TGLFaceProperties(TPersistent* owner)
    : TGLUpdateAbleObject(owner),
      FAmbient(std::make_unique<TGLColor>(this, TVector{0.2f, 0.2f, 0.2f, 1})),
      FDiffuse(std::make_unique<TGLColor>(this, TVector{0.8f, 0.8f, 0.8f, 1})),
      FSpecular(std::make_unique<TGLColor>(this)),
      FEmission(std::make_unique<TGLColor>(this)) {}

void TGLFaceProperties::SetPolygonMode(TPolygonMode m) {
  if (m == FPolygonMode) return;
  FPolygonMode = m;
  NotifyChange(this);
}

void TGLFaceProperties::SetShininess(int s) {
  const uint8_t v = static_cast<uint8_t>(s < 0 ? 0 : s > 128 ? 128 : s);
  if (v == FShininess) return;
  FShininess = v;
  NotifyChange(this);
}

void TGLFaceProperties::Assign(const TPersistent* source) {
  if (auto* f = dynamic_cast<const TGLFaceProperties*>(source)) {
    BeginUpdate();  // one notification for the whole copy
    FAmbient->Assign(f->FAmbient.get());
    FDiffuse->Assign(f->FDiffuse.get());
    FSpecular->Assign(f->FSpecular.get());
    FEmission->Assign(f->FEmission.get());
    EndUpdate();
    FShininess = f->FShininess;
    FPolygonMode = f->FPolygonMode;
    NotifyChange(this);
    return;
  }
  TGLUpdateAbleObject::Assign(source);
}

void TGLFaceProperties::Apply(uint32_t face) const {
  SetGLMaterialColors(face, FEmission->Color(), FAmbient->Color(), FDiffuse->Color(), FSpecular->Color());
  GL.glMateriali(face, GL_SHININESS, FShininess);
  static constexpr GLenum modes[3] = {GL_FILL, GL_LINE, GL_POINT};
  SetGLPolygonMode(face, modes[FPolygonMode]);
}

// --- material

TGLMaterial::TGLMaterial(TPersistent* owner)
    : TGLUpdateAbleObject(owner),
      FFront(std::make_unique<TGLFaceProperties>(this)),
      FBack(std::make_unique<TGLFaceProperties>(this)) {}

void TGLMaterial::SetBlendingMode(TBlendingMode m) {
  if (m == FBlendingMode) return;
  FBlendingMode = m;
  NotifyChange(this);
}

void TGLMaterial::Assign(const TPersistent* source) {
  if (auto* m = dynamic_cast<const TGLMaterial*>(source)) {
    BeginUpdate();
    FFront->Assign(m->FFront.get());
    FBack->Assign(m->FBack.get());
    EndUpdate();
    FBlendingMode = m->FBlendingMode;
    NotifyChange(this);
    return;
  }
  TGLUpdateAbleObject::Assign(source);
}

void TGLMaterial::NotifyChange(TPersistent* sender) {
  if (Updating()) return;
  if (auto* o = dynamic_cast<IStructureOwner*>(Owner)) {
    o->NotifyChange(this);
    return;
  }
  TGLUpdateAbleObject::NotifyChange(sender);
}

void TGLMaterial::Apply(TRenderContextInfo& rci) const {
  FFront->Apply(GL_FRONT);
  if (!HasState(rci.CurrentStates, stCullFace)) FBack->Apply(GL_BACK);
  switch (FBlendingMode) {
    case bmOpaque:
      UnSetGLState(rci.CurrentStates, stBlend);
      break;
    case bmTransparency:
      SetGLState(rci.CurrentStates, stBlend);
      GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      break;
    case bmAdditive:
      SetGLState(rci.CurrentStates, stBlend);
      GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE);
      break;
  }
  // No texture is attached yet: texturing stays off.
  UnSetGLState(rci.CurrentStates, stTexture2D);
}

void TGLMaterial::UnApply(TRenderContextInfo&) const {}
