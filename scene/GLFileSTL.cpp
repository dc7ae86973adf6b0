#include <cstring>
#include <memory>

#include "platform/ByteReader.h"
#include "scene/VectorFileFormats.h"

namespace StlLayout {
constexpr size_t HeaderSize = 80;
constexpr size_t FacetSize = 50;  // normal, three corners (3 floats each), 16-bit attribute
}  // namespace StlLayout

void TGLSTLVectorFile::LoadFromMemory(const uint8_t* data, size_t size) {
  TByteReader r(data, size);
  const bool text = size >= 5 && std::memcmp(data, "solid", 5) == 0;
  auto refuse = [&](const std::string& why) {
    // Binary files may also start with "solid": only a count that does not fit says it is text.
    if (text) throw EReadError("text stereolithography files are not supported");
    r.Fail(why);
  };
  if (size < StlLayout::HeaderSize + 4) refuse("unexpected end of data reading the header");
  r.Skip(StlLayout::HeaderSize, "header");
  const uint32_t count = r.U32("facet count");
  if (count > r.Remaining() / StlLayout::FacetSize)
    refuse("facet count " + std::to_string(count) + " exceeds the data");
  auto mo = std::make_unique<TMeshObject>();
  mo->Mode = momTriangles;
  mo->Vertices.SetCapacity(static_cast<int>(count) * 3);
  mo->Normals.SetCapacity(static_cast<int>(count) * 3);
  auto vec = [&r](const char* field) {
    TAffineVector v;
    for (float& f : v) f = r.F32(field);
    return v;
  };
  for (uint32_t i = 0; i < count; ++i) {
    const TAffineVector n = vec("facet normal");
    const TAffineVector a = vec("facet corner"), b = vec("facet corner"), c = vec("facet corner");
    r.Skip(2, "facet attribute");
    TAffineVector plane;
    CalcPlaneNormal(a, b, c, plane);
    if (VectorDotProduct(plane, n) >= 0)
      mo->Vertices.Add(a, b, c);
    else
      mo->Vertices.Add(c, b, a);
    mo->Normals.Add(n, n, n);
  }
  OwnerMesh()->MeshObjects().Add(std::move(mo));
}
