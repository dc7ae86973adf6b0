#include "scene/GLTexture.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "platform/Streams.h"
#include "scene/GLMaterialLibrary.h"
#include "scene/OpenGL12.h"

const std::array<TVector, 25>& SystemColors() {
  static const std::array<TVector, 25> table = [] {
    static constexpr uint32_t rgb[25] = {0xC0C0C0, 0x008080, 0x000080, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000,
                                         0x000000, 0x000000, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0x000080,
                                         0xFFFFFF, 0xC0C0C0, 0x808080, 0x808080, 0x000000, 0xC0C0C0, 0xFFFFFF,
                                         0x000000, 0xDFDFDF, 0x000000, 0xFFFFE1};
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

// --- texture

TGLTexture::TGLTexture(TPersistent* owner)
    : TGLUpdateAbleObject(owner), FTransparentColor(std::make_unique<TGLColor>(this)) {
  FImage = std::make_unique<TGLPersistentImage>(this);
}

TGLTexture::~TGLTexture() {
  try {
    DestroyHandle(false);
  } catch (...) {
    FHandle = 0;  // an unusable binding: the name is forgotten
  }
}

void TGLTexture::NewImage(const TGLTextureImageFactory& factory) {
  std::unique_ptr<TGLTextureImage> image = factory(this);
  image->OnTextureNeeded = OnTextureNeeded;
  FImage = std::move(image);
}

void TGLTexture::SetImage(const TGLTextureImage& image) {
  if (std::strcmp(image.ClassName(), FImage->ClassName()) != 0) {
    const TGLTextureImageFactory* f = FindGLTextureImageClass(image.ClassName());
    if (!f) throw EAssertionFailed("Assertion failure");
    NewImage(*f);
  }
  FImage->Assign(&image);
}

void TGLTexture::SetImageClassName(const std::string& name) {
  if (name == FImage->ClassName()) return;
  const TGLTextureImageFactory* f = FindGLTextureImageClass(name);
  // An unknown class keeps the image: an instance of no class cannot be made.
  if (!f) throw EAssertionFailed("Assertion failure");
  NewImage(*f);
  FChanges |= tcImage;
  NotifyChange(this);
}

void TGLTexture::AssignBitmap(const TBitmap& bitmap) {
  if (auto* p = dynamic_cast<TGLPictureImage*>(FImage.get())) {
    p->AssignBitmap(bitmap);
    return;
  }
  NewImage(*FindGLTextureImageClass(TGLPersistentImage::StaticClassName));
  static_cast<TGLPictureImage&>(*FImage).AssignBitmap(bitmap);
}

void TGLTexture::SetImageAlpha(TGLTextureImageAlpha v) {
  FImageAlpha = v;
  FChanges |= tcImage;
  NotifyChange(this);
}

void TGLTexture::SetTransparentColor(const TGLColor& c) {
  FTransparentColor->BeginUpdate();
  FTransparentColor->Assign(&c);
  FTransparentColor->EndUpdate();
  FChanges |= tcImage;
  NotifyChange(this);
}

namespace {
template <typename T>
bool StoreParam(T& field, T v, uint8_t& changes) {
  if (field == v) return false;
  field = v;
  changes |= tcParams;
  return true;
}
}  // namespace

void TGLTexture::SetTextureMode(TGLTextureMode v) {
  if (StoreParam(FTextureMode, v, FChanges)) NotifyChange(this);
}
void TGLTexture::SetTextureWrap(TGLTextureWrap v) {
  if (StoreParam(FTextureWrap, v, FChanges)) NotifyChange(this);
}
void TGLTexture::SetMinFilter(TGLMinFilter v) {
  if (StoreParam(FMinFilter, v, FChanges)) NotifyChange(this);
}
void TGLTexture::SetMagFilter(TGLMagFilter v) {
  if (StoreParam(FMagFilter, v, FChanges)) NotifyChange(this);
}

void TGLTexture::SetDisabled(bool v) {
  if (v == FDisabled) return;
  FDisabled = v;
  NotifyChange(this);
}

void TGLTexture::Assign(const TPersistent* source) {
  if (source == this) return;
  if (auto* t = dynamic_cast<const TGLTexture*>(source)) {
    FImageAlpha = t->FImageAlpha;
    FTransparentColor->BeginUpdate();
    FTransparentColor->Assign(t->FTransparentColor.get());
    FTransparentColor->EndUpdate();
    FTextureMode = t->FTextureMode;
    FTextureWrap = t->FTextureWrap;
    FMinFilter = t->FMinFilter;
    FMagFilter = t->FMagFilter;
    FDisabled = t->FDisabled;
    SetImage(*t->FImage);
    FChanges |= tcImage | tcParams;
    NotifyChange(this);
    return;
  }
  TGLUpdateAbleObject::Assign(source);
}

// Where a texture's mip-map levels come from: the driver makes them (glGenerateMipmap, OpenGL
// 3.0, or the GL_GENERATE_MIPMAP texture parameter, OpenGL 1.4) on whatever processor it draws
// with; GLU's builder, which scales every level on this thread, only for a driver with neither.
enum TMipmapSource : uint8_t { msNone, msGenerate, msParameter, msGLU };

// What an upload of the bitmap sends.
struct TUploadPlan {
  int Width = 0, Height = 0;              // the picture
  int TargetWidth = 0, TargetHeight = 0;  // the texture: powers of two within the maximum size
  int Components = 3;
  GLenum Format = GL_BGR_EXT;
  bool BGR = true;
  TMipmapSource Mipmaps = msNone;
  bool Scaled() const { return TargetWidth != Width || TargetHeight != Height; }
};

namespace {

TMipmapSource MipmapSource(TGLMinFilter filter) {
  if (filter < miNearestMipmapNearest) return msNone;
  if (EntryPointBound("glGenerateMipmap")) return msGenerate;
  if (OpenGLFlags.Version_1_4()) return msParameter;
  return msGLU;
}

TUploadPlan PlanUpload(const TBitmap& bitmap, TGLTextureImageAlpha alpha, TGLMinFilter filter) {
  TUploadPlan p;
  p.Width = bitmap.Width();
  p.Height = bitmap.Height();
  p.BGR = OpenGLFlags.EXT_bgra();
  p.Components = alpha == tiaDefault ? 3 : 4;
  if (p.Components == 4)
    p.Format = p.BGR ? GL_BGRA_EXT : GL_RGBA;
  else
    p.Format = p.BGR ? GL_BGR_EXT : GL_RGB;
  GLint maxSize = 0;
  GL.glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  p.TargetWidth = TextureTargetSize(p.Width, maxSize);
  p.TargetHeight = TextureTargetSize(p.Height, maxSize);
  p.Mipmaps = MipmapSource(filter);
  return p;
}

void ResetUnpackStore() {
  GL.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  GL.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  GL.glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  GL.glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
}

// Level 0 from whole pixels, and the other levels as the plan says.
void UploadLevels(const TUploadPlan& p, const void* pixels) {
  const GLsizei w = p.TargetWidth, h = p.TargetHeight;
  switch (p.Mipmaps) {
    case msGLU: GL.gluBuild2DMipmaps(GL_TEXTURE_2D, p.Components, w, h, p.Format, GL_UNSIGNED_BYTE, pixels); return;
    case msParameter:
      // On only for this upload: a later one without mip-maps must not make levels.
      GL.glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
      GL.glTexImage2D(GL_TEXTURE_2D, 0, p.Components, w, h, 0, p.Format, GL_UNSIGNED_BYTE, pixels);
      GL.glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_FALSE);
      return;
    case msGenerate:
      GL.glTexImage2D(GL_TEXTURE_2D, 0, p.Components, w, h, 0, p.Format, GL_UNSIGNED_BYTE, pixels);
      GL.glGenerateMipmap(GL_TEXTURE_2D);
      return;
    case msNone: GL.glTexImage2D(GL_TEXTURE_2D, 0, p.Components, w, h, 0, p.Format, GL_UNSIGNED_BYTE, pixels); return;
  }
}

}  // namespace

uint32_t TGLTexture::Handle() {
  if ((FHandle || FPending || FSpare) && FHandleGeneration != SharedNamesGeneration()) {
    // The names died with the last context: upload into a new one.
    FHandle = FSpare = 0;
    FStorage = FSpareStorage = {};
    FSpareWanted = false;
    FPending.reset();
    FChanges |= tcImage | tcParams;
  }
  if (FChanges == 0 && (FHandle || FPending)) {
    if (FPending) {
      TScopeGuard release([this] { FImage->ReleaseBitmap(); });
      const TBitmap* bitmap = FImage->GetBitmap();
      if (bitmap)
        UploadBands(*bitmap);
      else
        FChanges |= tcImage;  // the picture went without a change: start again
    } else if (FSpareWanted) {
      MakeSpare();
    }
    return FHandle;
  }
  StartUpload();
  FChanges = 0;
  return FHandle;
}

void TGLTexture::StartUpload() {
  DropPendingUpload();
  FSpareWanted = false;
  // A name is made and bound whatever the picture turns out to be (none, unreadable, large).
  if (!FHandle) {
    GLuint name = 0;
    GL.glGenTextures(1, &name);
    if (name == 0) throw EAssertionFailed("Assertion failure");
    FHandle = name;
    FHandleGeneration = SharedNamesGeneration();
  }
  GL.glBindTexture(GL_TEXTURE_2D, FHandle);
  TScopeGuard release([this] { FImage->ReleaseBitmap(); });
  const TBitmap* bitmap = FImage->GetBitmap();
  if (bitmap && bitmap->Width() >= 1 && bitmap->Height() >= 1) {
    const TUploadPlan plan = PlanUpload(*bitmap, FImageAlpha, FMinFilter);
    const int64_t pixels = int64_t{plan.Width} * plan.Height;
    // A picture that must be scaled, or whose levels GLU builds, still goes whole.
    if (pixels > kWholeUploadPixels && !plan.Scaled() && plan.Mipmaps != msGLU) {
      auto up = std::make_unique<TBandedUpload>();
      up->Storage = {plan.Width, plan.Height, plan.Components};
      up->Format = plan.Format;
      up->BGR = plan.BGR;
      up->Mipmaps = plan.Mipmaps;
      const bool reuse = FSpare && FSpareStorage == up->Storage;
      if (reuse) {
        up->Name = std::exchange(FSpare, 0);
        FSpareStorage = {};
      } else {
        GLuint name = 0;
        GL.glGenTextures(1, &name);
        if (name == 0) throw EAssertionFailed("Assertion failure");
        up->Name = name;
      }
      FPending = std::move(up);
      if (reuse) {
        UploadBands(*bitmap);
        return;
      }
      // New storage takes a frame of its own; the bands follow in the next ones.
      GL.glBindTexture(GL_TEXTURE_2D, FPending->Name);
      ResetUnpackStore();
      GL.glTexImage2D(GL_TEXTURE_2D, 0, plan.Components, plan.Width, plan.Height, 0, plan.Format, GL_UNSIGNED_BYTE,
                      nullptr);
      GL.glBindTexture(GL_TEXTURE_2D, FHandle);
      NotifyChange(this);
      return;
    }
    PrepareImage(*bitmap, plan);
    FStorage = {plan.TargetWidth, plan.TargetHeight, plan.Components};
  } else {
    FStorage = {};
  }
  // A small picture now: no storage of a large one stays.
  KeepSpare(0, {});
  PrepareParams();
}

void TGLTexture::PrepareImage(const TBitmap& bitmap, const TUploadPlan& plan) {
  const TTexturePixels px = PrepareTexturePixels(bitmap, FImageAlpha, FTransparentColor->Color(), plan.BGR);
  // Rows of 3-byte pixels are padded to 4 bytes, 4-byte pixels are packed: both read at 4.
  ResetUnpackStore();
  if (!plan.Scaled()) {
    UploadLevels(plan, px.Data.data());
    return;
  }
  // The scaler reads rows at the unpack alignment and writes them at the pack alignment: the
  // output is sized for whatever the pack alignment pads to, and the upload reads it back with
  // that.
  GLint packAlignment = 0;
  GL.glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
  if (packAlignment < 1) packAlignment = 4;
  const int w2 = plan.TargetWidth, h2 = plan.TargetHeight, c = plan.Components;
  std::vector<uint8_t> scaled(PaddedImageBytes(w2, h2, c, packAlignment));
  GL.gluScaleImage(plan.Format, px.Width, px.Height, GL_UNSIGNED_BYTE, px.Data.data(), w2, h2, GL_UNSIGNED_BYTE,
                   scaled.data());
  GL.glPixelStorei(GL_UNPACK_ALIGNMENT, packAlignment);
  UploadLevels(plan, scaled.data());
}

void TGLTexture::UploadBands(const TBitmap& bitmap) {
  TBandedUpload& up = *FPending;
  const int w = up.Storage.Width, h = up.Storage.Height;
  if (bitmap.Width() != w || bitmap.Height() != h) {
    FChanges |= tcImage;  // another picture without a change: start again
    return;
  }
  GL.glBindTexture(GL_TEXTURE_2D, up.Name);
  ResetUnpackStore();
  const int rows = static_cast<int>(std::max<int64_t>(1, kBandPixels / w));
  const auto start = std::chrono::steady_clock::now();
  do {
    const int n = std::min(rows, h - up.NextRow);
    const bool last = up.NextRow + n == h;
    const TTexturePixels px =
        PrepareTextureRows(bitmap, FImageAlpha, FTransparentColor->Color(), up.BGR, up.NextRow, n);
    if (last && up.Mipmaps == msParameter) GL.glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
    GL.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, up.NextRow, w, n, up.Format, GL_UNSIGNED_BYTE, px.Data.data());
    if (last && up.Mipmaps == msParameter) GL.glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_FALSE);
    up.NextRow += n;
  } while (up.NextRow < h &&
           std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() < BandBudgetMs);
  if (up.NextRow < h) {
    // The old picture is drawn this frame; the next one goes on.
    GL.glBindTexture(GL_TEXTURE_2D, FHandle);
    NotifyChange(this);
    return;
  }
  if (up.Mipmaps == msGenerate) GL.glGenerateMipmap(GL_TEXTURE_2D);
  PrepareParams();
  const GLuint old = std::exchange(FHandle, up.Name);
  const TStorage oldStorage = std::exchange(FStorage, up.Storage);
  FPending.reset();
  if (oldStorage == FStorage) {
    KeepSpare(old, oldStorage);
    return;
  }
  // The first picture of this size: the next one (a stroke's) finds storage ready, made in a
  // frame of its own.
  DeleteName(old);
  FSpareWanted = true;
  NotifyChange(this);
}

void TGLTexture::MakeSpare() {
  FSpareWanted = false;
  GLuint name = 0;
  GL.glGenTextures(1, &name);
  if (name == 0) return;  // none to spare: the next picture makes its own
  KeepSpare(name, FStorage);
  GL.glBindTexture(GL_TEXTURE_2D, name);
  ResetUnpackStore();
  GL.glTexImage2D(GL_TEXTURE_2D, 0, FStorage.Components, FStorage.Width, FStorage.Height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                  nullptr);
  GL.glBindTexture(GL_TEXTURE_2D, FHandle);
}

void TGLTexture::DropPendingUpload() {
  if (!FPending) return;
  const std::unique_ptr<TBandedUpload> up = std::move(FPending);
  KeepSpare(up->Name, up->Storage);
}

void TGLTexture::KeepSpare(uint32_t name, const TStorage& storage) {
  DeleteName(std::exchange(FSpare, name));
  FSpareStorage = storage;
}

void TGLTexture::DeleteName(uint32_t name) {
  const GLuint n = name;
  if (n && FHandleGeneration == SharedNamesGeneration() && CurrentRC()) GL.glDeleteTextures(1, &n);
}

void TGLTexture::PrepareParams() {
  GL.glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  GL.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  GL.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  GL.glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  GL.glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  static constexpr GLint wrapS[4] = {GL_REPEAT, GL_CLAMP, GL_CLAMP, GL_REPEAT};
  static constexpr GLint wrapT[4] = {GL_REPEAT, GL_CLAMP, GL_REPEAT, GL_CLAMP};
  GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrapS[FTextureWrap]);
  GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrapT[FTextureWrap]);
  static constexpr GLint minFilters[6] = {GL_NEAREST,
                                          GL_LINEAR,
                                          GL_NEAREST_MIPMAP_NEAREST,
                                          GL_LINEAR_MIPMAP_NEAREST,
                                          GL_NEAREST_MIPMAP_LINEAR,
                                          GL_LINEAR_MIPMAP_LINEAR};
  GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilters[FMinFilter]);
  GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, FMagFilter == maLinear ? GL_LINEAR : GL_NEAREST);
}

void TGLTexture::Apply(TRenderContextInfo&) {
  GL.glBindTexture(GL_TEXTURE_2D, Handle());
  static constexpr GLint modes[4] = {GL_DECAL, GL_MODULATE, GL_BLEND, GL_REPLACE};
  GL.glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, modes[FTextureMode]);
}

void TGLTexture::DestroyHandle(bool contextGone) {
  if (!FHandle && !FPending && !FSpare) return;
  // Without a context (a viewer closing, a destructor) the names can only be forgotten.
  if (!contextGone)
    for (const uint32_t name : {FHandle, FPending ? FPending->Name : 0u, FSpare}) DeleteName(name);
  FHandle = FSpare = 0;
  FStorage = FSpareStorage = {};
  FSpareWanted = false;
  FPending.reset();
  FChanges |= tcImage | tcParams;
}

// --- material

TGLMaterial::TGLMaterial(TPersistent* owner)
    : TGLUpdateAbleObject(owner),
      FFront(std::make_unique<TGLFaceProperties>(this)),
      FBack(std::make_unique<TGLFaceProperties>(this)),
      FTexture(std::make_unique<TGLTexture>(this)) {}

TGLMaterial::~TGLMaterial() {
  if (FLibMaterial) FLibMaterial->UnregisterUser(this);
}

void TGLMaterial::SetMaterialLibrary(TGLMaterialLibrary* library) {
  FMaterialLibrary = library;
  SetLibMaterialName(FLibMaterialName);
}

void TGLMaterial::SetLibMaterialName(const std::string& name) {
  TGLLibMaterial* found = FMaterialLibrary ? FMaterialLibrary->Materials().GetLibMaterialByName(name) : nullptr;
  FLibMaterialName = name;
  if (found == FLibMaterial) return;
  if (FLibMaterial) FLibMaterial->UnregisterUser(this);
  FLibMaterial = found;
  if (FLibMaterial) FLibMaterial->RegisterUser(this);
  NotifyChange(this);
}

void TGLMaterial::DestroyHandle(bool contextGone) {
  if (FLibMaterial)
    FLibMaterial->Material().Texture().DestroyHandle(contextGone);
  else
    FTexture->DestroyHandle(contextGone);
}

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
    FTexture->Assign(m->FTexture.get());
    EndUpdate();
    FBlendingMode = m->FBlendingMode;
    FMaterialLibrary = m->FMaterialLibrary;
    SetLibMaterialName(m->FLibMaterialName);
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
  if (auto* lib = dynamic_cast<TGLLibMaterial*>(Owner)) {
    lib->NotifyUsers();
    return;
  }
  TGLUpdateAbleObject::NotifyChange(sender);
}

void TGLMaterial::Apply(TRenderContextInfo& rci) {
  if (FLibMaterial) {
    if (!FLibMaterial->TextureMatrixIsIdentity()) SetGLTextureMatrix(FLibMaterial->TextureMatrix());
    FLibMaterial->Material().ApplyOwn(rci);
    return;
  }
  ApplyOwn(rci);
}

void TGLMaterial::ApplyOwn(TRenderContextInfo& rci) {
  FFront->Apply(GL_FRONT);
  if (!HasState(rci.CurrentStates, stCullFace)) FBack->Apply(GL_BACK);
  switch (FBlendingMode) {
    case bmOpaque: UnSetGLState(rci.CurrentStates, stBlend); break;
    case bmTransparency:
      SetGLState(rci.CurrentStates, stBlend);
      GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      break;
    case bmAdditive:
      SetGLState(rci.CurrentStates, stBlend);
      GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE);
      break;
  }
  if (!FTexture->Disabled()) {
    SetGLState(rci.CurrentStates, stTexture2D);
    FTexture->Apply(rci);
  } else {
    UnSetGLState(rci.CurrentStates, stTexture2D);
  }
}

void TGLMaterial::UnApply(TRenderContextInfo&) {
  if (FLibMaterial && !FLibMaterial->TextureMatrixIsIdentity()) ResetGLTextureMatrix();
}
