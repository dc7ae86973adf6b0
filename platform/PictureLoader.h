#pragma once
// The picture loader: picture classes registered by file extension. Importing a texture loads
// the file through the class registered for its extension; the open-picture dialog's filter is
// built from the registered descriptions. The platform registers its own classes (Windows
// bitmaps, JPEG, icons, metafiles); the image codecs register theirs at start-up.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Bitmap.h"

// Loads a picture file into a bitmap; raises EInvalidGraphic (or the file's input/output
// error) when it cannot.
using TPictureLoadFn = std::function<TBitmap(const std::string& fileName)>;

// A picture class: a name that identifies it ("TBitmap", "TJPEGImage", "TTargaGraphic") and how
// it reads a file. The platform's own classes are below; the codecs register them with the
// others.
struct TGraphicClass {
  std::string ClassName;
  TPictureLoadFn LoadFromFile;
};
using TGraphicClassRef = std::shared_ptr<const TGraphicClass>;

TGraphicClassRef MakeGraphicClass(std::string className, TPictureLoadFn load);

// The platform's own picture classes.
const TGraphicClassRef& BitmapGraphicClass();    // "TBitmap": Windows bitmaps
const TGraphicClassRef& JPEGGraphicClass();      // "TJPEGImage": JPEG through libjpeg
const TGraphicClassRef& IconGraphicClass();      // "TIcon": through the reader platform/qt installs
const TGraphicClassRef& MetafileGraphicClass();  // "TMetafile": refused, there is no renderer

// Icons are read by Qt, which the Qt-free platform cannot link: platform/qt installs the reader
// at start-up (RegisterQtPictureReaders). Until then loading an icon raises EInvalidGraphic.
void SetIconReader(TPictureLoadFn reader);

struct TPictureFormat {
  std::string Extension;    // without the dot, as registered
  std::string Description;  // shown in the dialog filter
  TGraphicClassRef GraphicClass;
};

class TPictureLoader {
 public:
  // Registers a class for an extension ("bmp" or ".bmp"). An extension registered again moves
  // to the new class and description and keeps its place in the filter. An empty extension
  // does nothing.
  void RegisterFileFormat(const std::string& extension, const std::string& description, TGraphicClassRef graphicClass);
  // Removes every extension of a class.
  void UnregisterGraphicClass(const std::string& className);
  // Removes one extension (letter case ignored).
  void UnregisterFileFormat(const std::string& extension);
  // The format of an extension (with or without its dot), letter case ignored; null when none.
  const TPictureFormat* FindExtension(const std::string& extension) const;
  const std::vector<TPictureFormat>& Formats() const { return FFormats; }

  // "All (*.bmp;*.jpg)|*.bmp;*.jpg|Windows bitmaps (*.bmp)|*.bmp|JPG images (*.jpg)|*.jpg", in
  // registration order; limited to one class when className is not empty.
  std::string GraphicFilter(const std::string& className = "") const;
  // The first extension registered (for one class when className is not empty); "" when none.
  std::string GraphicExtension(const std::string& className = "") const;

  // Loads a file through the class registered for its extension. Raises EInvalidGraphic
  // "Unknown picture file extension (.xyz)" when no class is registered for it.
  TBitmap LoadFromFile(const std::string& fileName) const;

 private:
  std::vector<TPictureFormat> FFormats;
};

// The program's one picture loader. It starts empty: the picture format registry of the codecs
// registers every class, the platform's own among them, from one table.
TPictureLoader& PictureLoader();

// Reads a texture file by its content: a file that starts with "BM" is read as a Windows
// bitmap whatever its extension (edited textures are saved back that way); any other file goes
// through the picture loader by its extension.
TBitmap LoadTextureFile(const std::string& fileName, const TPictureLoader& loader = PictureLoader());

// The message a metafile load raises.
inline constexpr const char* kMetafileRefused = "Metafiles cannot be loaded on Linux: there is no metafile renderer.";
