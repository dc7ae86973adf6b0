#include "model/crvn_o3d.h"

void TObjeto3D::Clear() {
  Materials.clear();
  Vertices.clear();
  Normals.clear();
  UVs.clear();
  Triangles.clear();
}
