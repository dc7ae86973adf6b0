#include <memory>

#include "platform/Numbers.h"
#include "scene/VectorFileFormats.h"

void TGLTINVectorFile::LoadFromMemory(const uint8_t* data, size_t size) {
  auto mo = std::make_unique<TMeshObject>();
  mo->Mode = momTriangles;
  ForEachLineWords(data, size, [&](const std::vector<std::string>& w) {
    if (w.size() != 10 || w[0] != "t") return;
    float f[9];
    for (int i = 0; i < 9; ++i) {
      double v = 0;
      if (!TryStrToFloat(w[static_cast<size_t>(i) + 1], v)) return;  // not nine numbers: skipped
      f[i] = static_cast<float>(v);
    }
    const TAffineVector a{f[0], f[1], f[2]}, b{f[3], f[4], f[5]}, c{f[6], f[7], f[8]};
    TAffineVector n;
    CalcPlaneNormal(a, b, c, n);
    mo->Vertices.Add(a, b, c);
    mo->Normals.Add(n, n, n);
  });
  OwnerMesh()->MeshObjects().Add(std::move(mo));
}
