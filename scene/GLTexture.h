#pragma once
// Colours, face properties and materials of visible scene objects. A material is applied
// around the drawing of its object: the OpenGL material of the front and back faces and the
// blending function, through the state caches so that nothing is set twice.
#include <array>
#include <cstdint>
#include <memory>

#include "platform/Color.h"
#include "scene/GLMisc.h"
#include "scene/GLTextureImage.h"
#include "scene/GLTextureUpload.h"

class TStream;
class TGLLibMaterial;
class TGLMaterialLibrary;
struct TUploadPlan;

// The 25 system colours (the classic scheme; Linux has no system palette to read).
const std::array<TVector, 25>& SystemColors();
// RGBA of a colour value with the given alpha; an unknown system colour is black.
TVector ConvertWinColor(TColor color, float alpha = 1);

class TGLColor : public TGLUpdateAbleObject {
 public:
  explicit TGLColor(TPersistent* owner);               // black, opaque
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

enum TGLTextureMode : uint8_t { tmDecal, tmModulate, tmBlend, tmReplace };
enum TGLTextureWrap : uint8_t { twBoth, twNone, twVertical, twHorizontal };
enum TGLMinFilter : uint8_t {
  miNearest,
  miLinear,
  miNearestMipmapNearest,
  miLinearMipmapNearest,
  miNearestMipmapLinear,
  miLinearMipmapLinear
};
enum TGLMagFilter : uint8_t { maNearest, maLinear };
enum TGLTextureChange : uint8_t { tcImage = 1, tcParams = 2 };

// One OpenGL 2D texture: made from its image's bitmap on first use, uploaded again only after a
// change of the image or of the alpha rule; a parameter change only sets the parameters again.
class TGLTexture : public TGLUpdateAbleObject {
 public:
  explicit TGLTexture(TPersistent* owner);
  ~TGLTexture() override;  // never raises: without a current context the name is only forgotten
  const char* ClassName() const override { return "TGLTexture"; }

  TGLTextureImage& Image() { return *FImage; }
  const TGLTextureImage& Image() const { return *FImage; }
  // A new image of the source's class when the class differs, then assigned from the source.
  void SetImage(const TGLTextureImage& image);
  std::string ImageClassName() const { return FImage->ClassName(); }
  // An unknown class name keeps the image and raises "Assertion failure".
  void SetImageClassName(const std::string& name);
  bool StoredImageClassName() const { return ImageClassName() != TGLPersistentImage::StaticClassName; }
  // Shortcut for the preview: the bitmap goes into a picture image's picture.
  void AssignBitmap(const TBitmap& bitmap);

  TGLTextureImageAlpha ImageAlpha() const { return FImageAlpha; }
  void SetImageAlpha(TGLTextureImageAlpha v);  // always uploads again
  TGLColor& TransparentColor() { return *FTransparentColor; }
  void SetTransparentColor(const TGLColor& c);  // always uploads again
  TGLTextureMode TextureMode() const { return FTextureMode; }
  void SetTextureMode(TGLTextureMode v);
  TGLTextureWrap TextureWrap() const { return FTextureWrap; }
  void SetTextureWrap(TGLTextureWrap v);
  TGLMinFilter MinFilter() const { return FMinFilter; }
  void SetMinFilter(TGLMinFilter v);
  TGLMagFilter MagFilter() const { return FMagFilter; }
  void SetMagFilter(TGLMagFilter v);
  bool Disabled() const { return FDisabled; }
  void SetDisabled(bool v);
  TTextureNeededEvent OnTextureNeeded;  // handed to every image made afterwards

  void Assign(const TPersistent* source) override;
  uint8_t Changes() const { return FChanges; }
  void ImageChanged() { FChanges |= tcImage; }
  // The OpenGL name, generated and uploaded when needed (a context must be current).
  uint32_t Handle();
  // The name as it stands (0 = none), without uploading.
  uint32_t TextureHandle() const { return FHandle; }
  // Binds the texture and sets the environment mode.
  void Apply(TRenderContextInfo& rci);
  // Releases the name; with contextGone (or without a current context, or after the shared
  // names died) it is only forgotten. Either way the next Handle uploads again.
  void DestroyHandle(bool contextGone);

  // A picture of more than this many pixels is uploaded in bands of rows over several frames,
  // into a name of its own; the picture uploaded before it is drawn until the last band is in.
  // Smaller ones are uploaded whole at once.
  static constexpr int64_t kWholeUploadPixels = 1024 * 1024;
  static constexpr int64_t kBandPixels = 256 * 1024;
  // How long one frame may spend on bands (at least one band goes in each frame).
  static inline double BandBudgetMs = 25;
  // A large picture is still on its way; the frames meanwhile ask for the next ones.
  bool UploadPending() const { return FPending != nullptr; }

 private:
  // What a name's level 0 holds: its size and components (0 = nothing).
  struct TStorage {
    int Width = 0, Height = 0, Components = 0;
    bool operator==(const TStorage&) const = default;
  };
  // A large picture's upload in progress.
  struct TBandedUpload {
    uint32_t Name = 0;
    TStorage Storage;
    int NextRow = 0;
    uint32_t Format = 0;
    bool BGR = true;
    uint8_t Mipmaps = 0;  // how the levels are made (GLTexture.cpp)
  };
  void NewImage(const TGLTextureImageFactory& factory);
  void StartUpload();
  void PrepareImage(const TBitmap& bitmap, const TUploadPlan& plan);
  void UploadBands(const TBitmap& bitmap);
  void DropPendingUpload();
  void KeepSpare(uint32_t name, const TStorage& storage);
  void MakeSpare();
  void DeleteName(uint32_t name);
  void PrepareParams();
  uint32_t FHandle = 0;
  TStorage FStorage;  // of FHandle
  std::unique_ptr<TBandedUpload> FPending;
  // A second name with storage of a large picture's size, for the next large picture of that size
  // (a stroke's): making the storage of a 4096x4096 texture costs a software renderer some 50 ms,
  // most of a frame's bound. It is the replaced picture's name, a half-filled one, or one made
  // in the frame after the first large picture went in; a small picture lets it go.
  uint32_t FSpare = 0;
  TStorage FSpareStorage;
  bool FSpareWanted = false;       // made in the next frame
  uint32_t FHandleGeneration = 0;  // of the shared names when FHandle was made
  TGLTextureMode FTextureMode = tmDecal;
  TGLTextureWrap FTextureWrap = twBoth;
  TGLMinFilter FMinFilter = miNearest;
  TGLMagFilter FMagFilter = maNearest;
  uint8_t FChanges = tcImage | tcParams;
  bool FDisabled = true;
  std::unique_ptr<TGLTextureImage> FImage;
  TGLTextureImageAlpha FImageAlpha = tiaDefault;
  std::unique_ptr<TGLColor> FTransparentColor;
};

enum TBlendingMode : uint8_t { bmOpaque, bmTransparency, bmAdditive };

class TGLMaterial : public TGLUpdateAbleObject {
 public:
  explicit TGLMaterial(TPersistent* owner);
  ~TGLMaterial() override;  // leaves the library material it uses
  const char* ClassName() const override { return "TGLMaterial"; }
  TGLFaceProperties& FrontProperties() { return *FFront; }
  TGLFaceProperties& BackProperties() { return *FBack; }
  const TGLFaceProperties& FrontProperties() const { return *FFront; }
  const TGLFaceProperties& BackProperties() const { return *FBack; }
  TBlendingMode BlendingMode() const { return FBlendingMode; }
  void SetBlendingMode(TBlendingMode m);
  TGLTexture& Texture() { return *FTexture; }
  const TGLTexture& Texture() const { return *FTexture; }
  void SetTexture(const TGLTexture& t) { FTexture->Assign(&t); }
  TGLMaterialLibrary* MaterialLibrary() const { return FMaterialLibrary; }
  void SetMaterialLibrary(TGLMaterialLibrary* library);
  const std::string& LibMaterialName() const { return FLibMaterialName; }
  void SetLibMaterialName(const std::string& name);
  TGLLibMaterial* LibMaterial() const { return FLibMaterial; }
  // The four describing properties are stored only when no library material is in use.
  bool StoredMaterial() const { return FLibMaterial == nullptr; }
  void Assign(const TPersistent* source) override;
  void NotifyChange(TPersistent* sender) override;
  // Faces, blending and texture through rci's capability set (a library material in use is
  // applied instead, with its texture matrix).
  void Apply(TRenderContextInfo& rci);
  void UnApply(TRenderContextInfo& rci);
  void DestroyHandle(bool contextGone);

 private:
  friend class TGLLibMaterial;
  void ApplyOwn(TRenderContextInfo& rci);
  std::unique_ptr<TGLFaceProperties> FFront, FBack;
  TBlendingMode FBlendingMode = bmOpaque;
  std::unique_ptr<TGLTexture> FTexture;
  TGLMaterialLibrary* FMaterialLibrary = nullptr;
  std::string FLibMaterialName;
  TGLLibMaterial* FLibMaterial = nullptr;
};
