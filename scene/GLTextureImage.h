#pragma once
// The sources of a texture's picture: a picture stored with the scene or one read from a named
// file, and the registry of these classes by name.
#include <functional>
#include <memory>
#include <string>

#include "platform/Bitmap.h"
#include "scene/GLMisc.h"

class TGLTexture;

// The texture asks for a file it cannot find; the handler may change the name.
using TTextureNeededEvent = std::function<void(TPersistent* sender, std::string& fileName)>;

// A picture object. Every picture class the loader knows reads into a bitmap, so the graphic is
// always one; OnChange fires after every change of it.
class TGLPicture {
 public:
  const TBitmap& Bitmap() const { return FBitmap; }
  int Width() const { return FBitmap.Width(); }
  int Height() const { return FBitmap.Height(); }
  void Assign(const TBitmap& bitmap);
  void Assign(const TGLPicture& other) { Assign(other.FBitmap); }
  // Through the picture loader (a file starting with "BM" is a Windows bitmap whatever its name).
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;  // as a Windows bitmap
  void Clear();
  std::function<void()> OnChange;

 private:
  void Changed();
  TBitmap FBitmap;
};

class TGLTextureImage : public TGLUpdateAbleObject {
 public:
  explicit TGLTextureImage(TGLTexture* owner);
  const char* ClassName() const override { return "TGLTextureImage"; }
  TGLTexture* OwnerTexture() const { return FOwnerTexture; }
  TTextureNeededEvent OnTextureNeeded;
  // Marks the owner texture's image as changed, then passes the change up.
  void NotifyChange(TPersistent* sender) override;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual const char* FriendlyName() const = 0;
  virtual const char* FriendlyDescription() const = 0;
  // The picture as a bitmap; nullptr when there is none. Valid until ReleaseBitmap.
  virtual const TBitmap* GetBitmap() = 0;
  virtual void ReleaseBitmap() {}
  // The base only lets OnTextureNeeded change the name.
  virtual void LoadFromFile(std::string& fileName);
  virtual void SaveToFile(const std::string& fileName) = 0;
  // Releases the bitmap, marks the image changed and notifies.
  void Invalidate();

 private:
  TGLTexture* FOwnerTexture;
};

// An image held in a picture object; the picture's change event invalidates the image.
class TGLPictureImage : public TGLTextureImage {
 public:
  explicit TGLPictureImage(TGLTexture* owner);
  const char* ClassName() const override { return "TGLPictureImage"; }
  TGLPicture& Picture() { return FPicture; }
  const TGLPicture& Picture() const { return FPicture; }
  int Width() const override { return FPicture.Width(); }
  int Height() const override { return FPicture.Height(); }
  const TBitmap* GetBitmap() override;
  void ReleaseBitmap() override { FHeld = nullptr; }
  // From another picture image, or (through AssignBitmap) a bitmap.
  void Assign(const TPersistent* source) override;
  void AssignBitmap(const TBitmap& bitmap) { FPicture.Assign(bitmap); }

 protected:
  const TBitmap* FHeld = nullptr;  // the picture's own bitmap while handed out
  TGLPicture FPicture;
};

// The picture is stored with the scene's form data.
class TGLPersistentImage : public TGLPictureImage {
 public:
  CORVANE_CLASS_NAME(TGLPersistentImage)
  using TGLPictureImage::TGLPictureImage;
  const char* FriendlyName() const override { return "Persistent Image"; }
  const char* FriendlyDescription() const override {
    return "Image data is stored in the format it was read in, with the program's other form resources.";
  }
  // A missing file clears the picture and raises "Could not open file: %s".
  void LoadFromFile(std::string& fileName) override;
  void SaveToFile(const std::string& fileName) override { FPicture.SaveToFile(fileName); }
};

// The picture is read from PictureFileName when first needed.
class TGLPicFileImage : public TGLPictureImage {
 public:
  CORVANE_CLASS_NAME(TGLPicFileImage)
  using TGLPictureImage::TGLPictureImage;
  const char* FriendlyName() const override { return "PicFile Image"; }
  const char* FriendlyDescription() const override { return "Image data is retrieved from a file."; }
  const std::string& PictureFileName() const { return FPictureFileName; }
  void SetPictureFileName(const std::string& name);
  // Reads the file while the picture is empty; a missing file empties the name and raises
  // "Could not open file: %s".
  const TBitmap* GetBitmap() override;
  void Assign(const TPersistent* source) override;
  void LoadFromFile(std::string& fileName) override;
  // Writes the file name as text into the named file.
  void SaveToFile(const std::string& fileName) override;

 private:
  std::string FPictureFileName;
};

// The image classes by name, in registration order; the two above are registered first.
using TGLTextureImageFactory = std::function<std::unique_ptr<TGLTextureImage>(TGLTexture* owner)>;
void RegisterGLTextureImageClass(const std::string& className, TGLTextureImageFactory factory);
// Exact name, first match; nullptr when no class has the name.
const TGLTextureImageFactory* FindGLTextureImageClass(const std::string& className);
