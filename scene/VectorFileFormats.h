#pragma once
// The model-file loaders of the scene library (one file each): Wavefront OBJ, binary
// stereolithography (STL) and triangular irregular networks (TIN).
#include "scene/GLVectorFileObjects.h"

// Text: "v", "vt", "vn", "g" and "f" lines; polygons are fanned into triangles, every corner
// written vertex/texture/normal. Negative indices count back from the last item read, as the
// format defines; an index of 0 or past its list is refused.
class TGLOBJVectorFile : public TVectorFile {
 public:
  using TVectorFile::TVectorFile;
  const char* ClassName() const override { return "TGLOBJVectorFile"; }
  std::unique_ptr<TDataFile> NewInstance(TPersistent* owner) const override {
    return std::make_unique<TGLOBJVectorFile>(owner);
  }
  void LoadFromMemory(const uint8_t* data, size_t size) override;
};

// Binary only: an 80-byte header, the facet count, 50-byte facets. A text file is refused.
class TGLSTLVectorFile : public TVectorFile {
 public:
  using TVectorFile::TVectorFile;
  const char* ClassName() const override { return "TGLSTLVectorFile"; }
  std::unique_ptr<TDataFile> NewInstance(TPersistent* owner) const override {
    return std::make_unique<TGLSTLVectorFile>(owner);
  }
  void LoadFromMemory(const uint8_t* data, size_t size) override;
};

// Text: lines "t x1 y1 z1 x2 y2 z2 x3 y3 z3"; lines with another count of numbers are skipped.
class TGLTINVectorFile : public TVectorFile {
 public:
  using TVectorFile::TVectorFile;
  const char* ClassName() const override { return "TGLTINVectorFile"; }
  std::unique_ptr<TDataFile> NewInstance(TPersistent* owner) const override {
    return std::make_unique<TGLTINVectorFile>(owner);
  }
  void LoadFromMemory(const uint8_t* data, size_t size) override;
};

// Splits a text file into lines (LF or CRLF) and each line into blank-separated words.
void ForEachLineWords(const uint8_t* data, size_t size,
                      const std::function<void(const std::vector<std::string>& words)>& line);
