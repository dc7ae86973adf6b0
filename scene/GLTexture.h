#pragma once
// Colours, face properties and materials of visible scene objects. A material is applied
// around the drawing of its object: the OpenGL material of the front and back faces and the
// blending function, through the state caches so that nothing is set twice.
#include <array>
#include <cstdint>
#include <memory>

#include "platform/Color.h"
#include "scene/GLMisc.h"

class TStream;

// The 25 system colours (the classic scheme; Linux has no system palette to read).
const std::array<TVector, 25>& SystemColors();
// RGBA of a colour value with the given alpha; an unknown system colour is black.
TVector ConvertWinColor(TColor color, float alpha = 1);

class TGLColor : public TGLUpdateAbleObject {
 public:
  explicit TGLColor(TPersistent* owner);  // black, opaque
  TGLColor(TPersistent* owner, const TVector& color);  // colour and default
  const char* ClassName() const override { return "TGLColor"; }
  const TVector& Color() const { return FColor; }
  void SetColor(const TVector& c);  // copies and notifies
  void Initialize(const TVector& c) { FColor = FDefault = c; }
  float Red() const { return FColor[0]; }
  float Green() const { return FColor[1]; }
  float Blue() const { return FColor[2]; }
  float Alpha() const { return FColor[3]; }
  // Store and notify only when the component changes.
  void SetComponent(int index, float value);
  void SetRed(float v) { SetComponent(0, v); }
  void SetGreen(float v) { SetComponent(1, v); }
  void SetBlue(float v) { SetComponent(2, v); }
  void SetAlpha(float v) { SetComponent(3, v); }
  void Assign(const TPersistent* source) override;
  void NotifyChange(TPersistent* sender) override;
  const float* AsAddress() const { return FColor.data(); }
  // Stored form: the binary property "Color", 16 bytes, only when different from the default.
  bool StoredColor() const { return !VectorEquals(FColor, FDefault); }
  void WriteData(TStream& s) const;
  void ReadData(TStream& s);

 private:
  TVector FColor;
  TVector FDefault;
};

enum TPolygonMode : uint8_t { pmFill, pmLines, pmPoints };

class TGLFaceProperties : public TGLUpdateAbleObject {
 public:
  explicit TGLFaceProperties(TPersistent* owner);
  const char* ClassName() const override { return "TGLFaceProperties"; }
  TGLColor& Ambient() { return *FAmbient; }
  TGLColor& Diffuse() { return *FDiffuse; }
  TGLColor& Specular() { return *FSpecular; }
  TGLColor& Emission() { return *FEmission; }
  const TGLColor& Ambient() const { return *FAmbient; }
  const TGLColor& Diffuse() const { return *FDiffuse; }
  const TGLColor& Specular() const { return *FSpecular; }
  const TGLColor& Emission() const { return *FEmission; }
  // Copy the four components and notify.
  void SetAmbient(const TGLColor& c) { FAmbient->Assign(&c); }
  void SetDiffuse(const TGLColor& c) { FDiffuse->Assign(&c); }
  void SetSpecular(const TGLColor& c) { FSpecular->Assign(&c); }
  void SetEmission(const TGLColor& c) { FEmission->Assign(&c); }
  TPolygonMode PolygonMode() const { return FPolygonMode; }
  void SetPolygonMode(TPolygonMode m);
  int Shininess() const { return FShininess; }
  void SetShininess(int s);  // 0..128
  void Assign(const TPersistent* source) override;
  // face: GL_FRONT or GL_BACK.
  void Apply(uint32_t face) const;

 private:
  std::unique_ptr<TGLColor> FAmbient, FDiffuse, FSpecular, FEmission;
  TPolygonMode FPolygonMode = pmFill;
  uint8_t FShininess = 0;
};

enum TBlendingMode : uint8_t { bmOpaque, bmTransparency, bmAdditive };

class TGLMaterial : public TGLUpdateAbleObject {
 public:
  explicit TGLMaterial(TPersistent* owner);
  const char* ClassName() const override { return "TGLMaterial"; }
  TGLFaceProperties& FrontProperties() { return *FFront; }
  TGLFaceProperties& BackProperties() { return *FBack; }
  const TGLFaceProperties& FrontProperties() const { return *FFront; }
  const TGLFaceProperties& BackProperties() const { return *FBack; }
  TBlendingMode BlendingMode() const { return FBlendingMode; }
  void SetBlendingMode(TBlendingMode m);
  void Assign(const TPersistent* source) override;
  void NotifyChange(TPersistent* sender) override;
  // Sets the faces' materials and the blending through rci's capability set.
  void Apply(TRenderContextInfo& rci) const;
  void UnApply(TRenderContextInfo& rci) const;

 private:
  std::unique_ptr<TGLFaceProperties> FFront, FBack;
  TBlendingMode FBlendingMode = bmOpaque;
};
