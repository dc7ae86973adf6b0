// The picture loader's registry and the platform's own picture classes.
#include "platform/PictureLoader.h"

#include "platform/Exceptions.h"
#include "platform/JpegImage.h"
#include "platform/Streams.h"
#include "platform/StrUtils.h"

namespace {

std::string BareExtension(const std::string& ext) { return (!ext.empty() && ext[0] == '.') ? ext.substr(1) : ext; }

// The extension of a file name without its dot: what follows the last dot of the last path
// component ("" when there is none).
std::string FileExtension(const std::string& fileName) {
  size_t slash = fileName.find_last_of("/\\");
  size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return fileName.substr(dot + 1);
}

TPictureLoadFn& IconReader() {
  static TPictureLoadFn reader;
  return reader;
}

}  // namespace

TGraphicClassRef MakeGraphicClass(std::string className, TPictureLoadFn load) {
  return std::make_shared<const TGraphicClass>(TGraphicClass{std::move(className), std::move(load)});
}

const TGraphicClassRef& BitmapGraphicClass() {
  static const TGraphicClassRef cls = MakeGraphicClass("TBitmap", [](const std::string& fileName) {
    TBitmap b;
    b.LoadFromFile(fileName);
    return b;
  });
  return cls;
}

const TGraphicClassRef& JPEGGraphicClass() {
  static const TGraphicClassRef cls = MakeGraphicClass("TJPEGImage", LoadJpegFromFile);
  return cls;
}

const TGraphicClassRef& IconGraphicClass() {
  static const TGraphicClassRef cls = MakeGraphicClass("TIcon", [](const std::string& fileName) -> TBitmap {
    if (!IconReader()) throw EInvalidGraphic("Icons cannot be loaded: no icon reader is installed");
    return IconReader()(fileName);
  });
  return cls;
}

const TGraphicClassRef& MetafileGraphicClass() {
  static const TGraphicClassRef cls =
      MakeGraphicClass("TMetafile", [](const std::string&) -> TBitmap { throw EInvalidGraphic(kMetafileRefused); });
  return cls;
}

void SetIconReader(TPictureLoadFn reader) { IconReader() = std::move(reader); }

void TPictureLoader::RegisterFileFormat(const std::string& extension, const std::string& description,
                                        TGraphicClassRef graphicClass) {
  std::string ext = BareExtension(extension);
  if (ext.empty()) return;
  if (!graphicClass) throw EInvalidGraphic("Cannot register " + ext + " without a picture class");
  for (TPictureFormat& f : FFormats)
    if (SameText(f.Extension, ext)) {
      f.Description = description;
      f.GraphicClass = std::move(graphicClass);
      return;
    }
  FFormats.push_back({ext, description, std::move(graphicClass)});
}

void TPictureLoader::UnregisterGraphicClass(const std::string& className) {
  std::erase_if(FFormats, [&](const TPictureFormat& f) { return f.GraphicClass->ClassName == className; });
}

void TPictureLoader::UnregisterFileFormat(const std::string& extension) {
  std::string ext = BareExtension(extension);
  std::erase_if(FFormats, [&](const TPictureFormat& f) { return SameText(f.Extension, ext); });
}

const TPictureFormat* TPictureLoader::FindExtension(const std::string& extension) const {
  std::string ext = BareExtension(extension);
  if (ext.empty()) return nullptr;
  for (const TPictureFormat& f : FFormats)
    if (SameText(f.Extension, ext)) return &f;
  return nullptr;
}

std::string TPictureLoader::GraphicFilter(const std::string& className) const {
  std::string all, each;
  for (const TPictureFormat& f : FFormats) {
    if (!className.empty() && f.GraphicClass->ClassName != className) continue;
    std::string mask = "*." + LowerCase(f.Extension);
    all += (all.empty() ? "" : ";") + mask;
    each += "|" + f.Description + " (" + mask + ")|" + mask;
  }
  if (all.empty()) return "";
  return "All (" + all + ")|" + all + each;
}

std::string TPictureLoader::GraphicExtension(const std::string& className) const {
  for (const TPictureFormat& f : FFormats)
    if (className.empty() || f.GraphicClass->ClassName == className) return LowerCase(f.Extension);
  return "";
}

TBitmap TPictureLoader::LoadFromFile(const std::string& fileName) const {
  std::string ext = FileExtension(fileName);
  const TPictureFormat* f = FindExtension(ext);
  if (!f || !f->GraphicClass->LoadFromFile) throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
  return f->GraphicClass->LoadFromFile(fileName);
}

TPictureLoader& PictureLoader() {
  static TPictureLoader loader;
  return loader;
}

TBitmap LoadTextureFile(const std::string& fileName, const TPictureLoader& loader) {
  uint8_t head[2] = {0, 0};
  size_t got = 0;
  {
    TFileStream f(fileName, fmOpenRead);
    got = f.Read(head, 2);
  }
  if (IsBitmapSignature(head, got)) {
    TBitmap b;
    b.LoadFromFile(fileName);
    return b;
  }
  return loader.LoadFromFile(fileName);
}
