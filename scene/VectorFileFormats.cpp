#include "scene/VectorFileFormats.h"

#include "platform/StrUtils.h"

namespace {

std::vector<TVectorFileFormat>& Formats() {
  static std::vector<TVectorFileFormat> formats = [] {
    std::vector<TVectorFileFormat> f;
    auto add = [&f](const char* ext, const char* description, TVectorFileFactory create) {
      f.push_back({ext, description, 0, std::move(create)});
    };
    add("md2", "Quake II model files", [](TPersistent* o) { return std::make_unique<TGLMD2VectorFile>(o); });
    add("3ds", "3D Studio files", [](TPersistent* o) { return std::make_unique<TGL3DSVectorFile>(o); });
    add("prj", "3D Studio project files", [](TPersistent* o) { return std::make_unique<TGL3DSVectorFile>(o); });
    add("tin", "Triangular Irregular Network", [](TPersistent* o) { return std::make_unique<TGLTINVectorFile>(o); });
    add("stl", "Stereolithography files", [](TPersistent* o) { return std::make_unique<TGLSTLVectorFile>(o); });
    add("obj", "WaveFront files", [](TPersistent* o) { return std::make_unique<TGLOBJVectorFile>(o); });
    return f;
  }();
  return formats;
}

}  // namespace

const std::vector<TVectorFileFormat>& GetVectorFileFormats() { return Formats(); }

void RegisterVectorFileFormat(const std::string& extension, const std::string& description, TVectorFileFactory create) {
  Formats().push_back({LowerCase(extension), description, 0, std::move(create)});
}

const TVectorFileFormat* FindVectorFileFormat(const std::string& extension) {
  std::string ext = LowerCase(extension);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  for (const TVectorFileFormat& f : Formats())
    if (f.Extension == ext) return &f;
  return nullptr;
}

void ForEachLineWords(const uint8_t* data, size_t size,
                      const std::function<void(const std::vector<std::string>& words)>& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < size) {
    words.clear();
    while (i < size && data[i] != '\n') {
      while (i < size && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r')) ++i;
      const size_t start = i;
      while (i < size && data[i] != ' ' && data[i] != '\t' && data[i] != '\r' && data[i] != '\n') ++i;
      if (i > start) words.emplace_back(reinterpret_cast<const char*>(data + start), i - start);
    }
    ++i;  // the line feed
    line(words);
  }
}
