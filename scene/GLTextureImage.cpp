#include "scene/GLTextureImage.h"

#include <vector>

#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/PictureLoader.h"
#include "scene/GLMisc.h"
#include "scene/GLTexture.h"

// --- picture

void TGLPicture::Changed() {
  if (OnChange) OnChange();
}

void TGLPicture::Assign(const TBitmap& bitmap) {
  FBitmap = bitmap;
  Changed();
}

void TGLPicture::LoadFromFile(const std::string& fileName) {
  FBitmap = LoadTextureFile(ToNativePath(fileName));
  Changed();
}

void TGLPicture::SaveToFile(const std::string& fileName) const { FBitmap.SaveToFile(fileName); }

void TGLPicture::Clear() {
  FBitmap = TBitmap();
  Changed();
}

namespace {

// Stored names may be Windows paths.
bool PictureFileExists(const std::string& name) { return !name.empty() && FileExists(ToNativePath(name)); }

[[noreturn]] void CouldNotOpen(const std::string& name) { throw EAssertionFailed("Could not open file: " + name); }

}  // namespace

// --- base

TGLTextureImage::TGLTextureImage(TGLTexture* owner) : TGLUpdateAbleObject(owner), FOwnerTexture(owner) {
  if (owner) OnTextureNeeded = owner->OnTextureNeeded;
}

void TGLTextureImage::NotifyChange(TPersistent* sender) {
  if (FOwnerTexture) {
    FOwnerTexture->ImageChanged();
    FOwnerTexture->NotifyChange(sender);
    return;
  }
  TGLUpdateAbleObject::NotifyChange(sender);
}

void TGLTextureImage::LoadFromFile(std::string& fileName) {
  if (OnTextureNeeded) OnTextureNeeded(this, fileName);
}

void TGLTextureImage::Invalidate() {
  ReleaseBitmap();
  NotifyChange(this);  // marks the owner's image changed
}

// --- picture image

TGLPictureImage::TGLPictureImage(TGLTexture* owner) : TGLTextureImage(owner) {
  FPicture.OnChange = [this] { Invalidate(); };
}

const TBitmap* TGLPictureImage::GetBitmap() {
  if (!FHeld && !FPicture.Bitmap().Empty()) FHeld = &FPicture.Bitmap();
  return FHeld;
}

void TGLPictureImage::Assign(const TPersistent* source) {
  if (auto* p = dynamic_cast<const TGLPictureImage*>(source)) {
    FPicture.Assign(p->FPicture);
    return;
  }
  TGLTextureImage::Assign(source);
}

// --- persistent image

void TGLPersistentImage::LoadFromFile(std::string& fileName) {
  TGLTextureImage::LoadFromFile(fileName);
  FHeld = nullptr;
  if (!PictureFileExists(fileName)) {
    FPicture.Clear();
    CouldNotOpen(fileName);
  }
  FPicture.LoadFromFile(fileName);
}

// --- picture-file image

void TGLPicFileImage::SetPictureFileName(const std::string& name) {
  if (name == FPictureFileName) return;
  FPictureFileName = name;
  // The picture of the old name goes; the new file is read when the bitmap is next asked for.
  auto onChange = std::move(FPicture.OnChange);
  FPicture.Clear();
  FPicture.OnChange = std::move(onChange);
  Invalidate();
}

const TBitmap* TGLPicFileImage::GetBitmap() {
  if (FPicture.Width() < 1 && !FPictureFileName.empty()) {
    auto onChange = std::move(FPicture.OnChange);  // reading is not a change of the image
    FPicture.OnChange = nullptr;
    try {
      if (!PictureFileExists(FPictureFileName)) {
        FPicture.Clear();
        const std::string name = FPictureFileName;
        FPictureFileName.clear();
        CouldNotOpen(name);
      }
      FPicture.LoadFromFile(FPictureFileName);
    } catch (...) {
      FPicture.OnChange = std::move(onChange);
      throw;
    }
    FPicture.OnChange = std::move(onChange);
  }
  return TGLPictureImage::GetBitmap();
}

void TGLPicFileImage::Assign(const TPersistent* source) {
  if (auto* p = dynamic_cast<const TGLPicFileImage*>(source)) {
    SetPictureFileName(p->FPictureFileName);
    return;
  }
  TGLPictureImage::Assign(source);
}

void TGLPicFileImage::LoadFromFile(std::string& fileName) {
  TGLTextureImage::LoadFromFile(fileName);
  SetPictureFileName(fileName);
}

void TGLPicFileImage::SaveToFile(const std::string& fileName) { SaveStringToFile(fileName, FPictureFileName); }

// --- registry

namespace {

struct TImageClassEntry {
  std::string Name;
  TGLTextureImageFactory Factory;
};

std::vector<TImageClassEntry>& ImageClasses() {
  static std::vector<TImageClassEntry> list = [] {
    std::vector<TImageClassEntry> l;
    l.push_back(
        {TGLPersistentImage::StaticClassName, [](TGLTexture* o) { return std::make_unique<TGLPersistentImage>(o); }});
    l.push_back({TGLPicFileImage::StaticClassName, [](TGLTexture* o) { return std::make_unique<TGLPicFileImage>(o); }});
    return l;
  }();
  return list;
}

}  // namespace

void RegisterGLTextureImageClass(const std::string& className, TGLTextureImageFactory factory) {
  ImageClasses().push_back({className, std::move(factory)});
}

const TGLTextureImageFactory* FindGLTextureImageClass(const std::string& className) {
  for (const auto& e : ImageClasses())
    if (e.Name == className) return &e.Factory;
  return nullptr;
}
