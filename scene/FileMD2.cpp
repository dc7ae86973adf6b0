#include "scene/FileMD2.h"

#include <cctype>
#include <fstream>
#include <iterator>

#include "platform/ByteReader.h"
#include "platform/Exceptions.h"
#include "platform/ScopeGuard.h"
#include "platform/Streams.h"

namespace {

[[noreturn]] void Invalid(const std::string& what) { throw EReadError("Invalid MD2 file: " + what); }

// An offset and a count of records of a given size must describe a region inside the file.
void CheckRegion(int32_t offset, int32_t count, int recordSize, size_t fileSize, const char* field) {
  if (count < 0) Invalid(std::string(field) + " count is negative");
  if (offset < MD2Layout::HeaderSize || static_cast<uint64_t>(offset) > fileSize)
    Invalid(std::string(field) + " offset " + std::to_string(offset) + " outside the file");
  const uint64_t bytes = static_cast<uint64_t>(count) * static_cast<uint64_t>(recordSize);
  if (bytes > fileSize - static_cast<uint64_t>(offset))
    Invalid(std::string(field) + " count " + std::to_string(count) + " exceeds the file");
}

std::string Trim(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  return s.substr(i);
}

}  // namespace

std::string TFileMD2::AnimationName(const std::string& frameName) {
  std::string name = Trim(frameName);
  // Frame names carry a one- or two-digit number: run1 and run12 both belong to "run".
  auto digit = [&](size_t fromEnd) {
    return name.size() > fromEnd && std::isdigit(static_cast<unsigned char>(name[name.size() - 1 - fromEnd]));
  };
  if (digit(0)) name.erase(name.size() - (digit(1) ? 2 : 1));
  return name;
}

void TFileMD2::Clear() {
  FVertexCount = 0;
  FTriangles.clear();
  FFrames.clear();
  FrameNames.clear();
}

void TFileMD2::LoadFromMemory(const uint8_t* data, size_t size) {
  using namespace MD2Layout;
  Clear();
  // A file that fails half-way leaves nothing of itself.
  TScopeGuard clearOnFailure([this] { Clear(); });
  {
    TByteReader r(data, size, [](const std::string& m) { Invalid(m); });
    TMD2Header h;
    h.Ident = r.U32("identifier");
    h.Version = r.I32("version");
    if (h.Ident != Identifier) Invalid("identifier is not IDP2");
    if (h.Version != Version) Invalid("version " + std::to_string(h.Version) + " is not 8");
    int32_t* fields[] = {&h.SkinWidth,       &h.SkinHeight,      &h.FrameSize,     &h.NumSkins,         &h.NumVertices,
                         &h.NumTexCoords,    &h.NumTriangles,    &h.NumGLCommands, &h.NumFrames,        &h.OffsetSkins,
                         &h.OffsetTexCoords, &h.OffsetTriangles, &h.OffsetFrames,  &h.OffsetGLCommands, &h.OffsetEnd};
    for (int32_t* f : fields) *f = r.I32("header");
    if (h.SkinWidth <= 0 || h.SkinHeight <= 0) Invalid("skin size is 0");
    CheckRegion(h.OffsetSkins, h.NumSkins, SkinNameSize, size, "skin");
    CheckRegion(h.OffsetTexCoords, h.NumTexCoords, TexCoordSize, size, "texture coordinate");
    CheckRegion(h.OffsetTriangles, h.NumTriangles, TriangleSize, size, "triangle");
    if (h.NumVertices < 0) Invalid("vertex count is negative");
    if (static_cast<int64_t>(h.FrameSize) < FrameHeaderSize + int64_t{FrameVertexSize} * h.NumVertices)
      Invalid("frame size " + std::to_string(h.FrameSize) + " too small for " + std::to_string(h.NumVertices) +
              " vertices");
    CheckRegion(h.OffsetFrames, h.NumFrames, h.FrameSize, size, "frame");

    // Texture coordinates, as fractions of the skin.
    std::vector<std::pair<float, float>> st(static_cast<size_t>(h.NumTexCoords));
    r.Seek(static_cast<uint64_t>(h.OffsetTexCoords), "texture coordinates");
    for (auto& c : st) {
      const int16_t s = r.I16("texture coordinate");
      const int16_t t = r.I16("texture coordinate");
      // t counts down from the skin's top row; textures are uploaded bottom row first.
      c = {static_cast<float>(s) / static_cast<float>(h.SkinWidth),
           1 - static_cast<float>(t) / static_cast<float>(h.SkinHeight)};
    }

    r.Seek(static_cast<uint64_t>(h.OffsetTriangles), "triangles");
    FTriangles.resize(static_cast<size_t>(h.NumTriangles));
    for (auto& tri : FTriangles) {
      uint16_t v[3], t[3];
      for (auto& i : v) i = r.U16("triangle vertex");
      for (auto& i : t) i = r.U16("triangle texture coordinate");
      for (int k = 0; k < 3; ++k) {
        r.CheckIndex(v[k], static_cast<uint64_t>(h.NumVertices), "triangle vertex");
        r.CheckIndex(t[k], st.size(), "triangle texture coordinate");
        // Corners are stored in reverse order (the file winds the other way round).
        tri.Vertex[2 - k] = v[k];
        tri.U[2 - k] = st[t[k]].first;
        tri.V[2 - k] = st[t[k]].second;
      }
    }

    FVertexCount = h.NumVertices;
    FFrames.resize(static_cast<size_t>(h.NumFrames));
    for (int f = 0; f < h.NumFrames; ++f) {
      r.Seek(static_cast<uint64_t>(h.OffsetFrames) + static_cast<uint64_t>(f) * static_cast<uint64_t>(h.FrameSize),
             "frame");
      float scale[3], translate[3];
      for (auto& x : scale) x = r.F32("frame scale");
      for (auto& x : translate) x = r.F32("frame translation");
      std::string name = r.String(FrameNameSize, "frame name");
      name = name.substr(0, name.find('\0'));
      const std::string animation = AnimationName(name);
      bool known = false;
      for (const auto& a : FrameNames) known = known || a.first == animation;
      if (!known) FrameNames.emplace_back(animation, f);
      auto& vertices = FFrames[static_cast<size_t>(f)];
      vertices.resize(static_cast<size_t>(h.NumVertices));
      const uint8_t* p = r.Bytes(static_cast<size_t>(h.NumVertices) * FrameVertexSize, "frame vertices");
      for (auto& v : vertices) {
        v.X = p[0] * scale[0] + translate[0];
        v.Y = p[1] * scale[1] + translate[1];
        v.Z = p[2] * scale[2] + translate[2];
        p += FrameVertexSize;
      }
    }
  }
  clearOnFailure.Dismiss();
}

void TFileMD2::LoadFromStream(TStream& stream) {
  const int64_t size = stream.Size() - stream.Position();
  if (size < 0) Invalid("stream position beyond its end");
  std::vector<uint8_t> data(static_cast<size_t>(size));
  if (size > 0) stream.ReadBuffer(data.data(), data.size());
  LoadFromMemory(data.data(), data.size());
}

void TFileMD2::LoadFromFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EFOpenError("Cannot open file \"" + fileName + "\"");
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LoadFromMemory(data.data(), data.size());
}
