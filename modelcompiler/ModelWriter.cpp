#include "modelcompiler/ModelWriter.h"

#include <algorithm>
#include <cmath>

#include "model/crvn_cvmdformat.h"
#include "platform/Exceptions.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/StrUtils.h"
#include "platform/Streams.h"

std::string MaterialBaseName(const std::string& name) { return UpperCase(name.substr(0, name.find('.'))); }

int32_t MaterialFlagsOfName(const std::string& name) {
  const std::string n = UpperCase(name);
  if (n.find(".WEAP") != std::string::npos) return MATERIAL_WEAPON;
  if (n.find(".TWOS") != std::string::npos) return MATERIAL_TWOSIDED;
  if (n.find(".TRAN") != std::string::npos) return MATERIAL_TRANSLUCENT;
  if (n.find(".MASK") != std::string::npos) return MATERIAL_MASKED;
  return MATERIAL_NORMAL;
}

namespace {
bool IsSkinName(const std::string& base) { return base == "SKIN" || base == "SKIN0"; }
}  // namespace

std::vector<TMaterialRow> BuildMaterialList(const TObjeto3D& mesh) {
  std::vector<TMaterialRow> rows;
  for (size_t k = 0; k <= mesh.Materials.size(); ++k)
    rows.push_back({"Unused material #" + std::to_string(k), static_cast<int>(k)});
  size_t next = 1;
  for (const TObjeto3DMaterial& mat : mesh.Materials) {
    const std::string base = MaterialBaseName(mat.Name);
    bool known = false;
    for (size_t k = 0; k < next && !known; ++k) known = SameText(rows[k].Text, base);
    if (known) continue;
    const size_t row = IsSkinName(base) ? 0 : next++;
    rows[row] = {base, static_cast<int>(row)};
  }
  rows.resize(next);
  return rows;
}

void AdjustMaterials(TObjeto3D& mesh, const std::vector<TMaterialRow>& rows) {
  std::vector<int32_t> saved;
  for (const TObjeto3DTriangulo& t : mesh.Triangles) saved.push_back(t.Material);
  std::vector<TObjeto3DMaterial> list(rows.size());
  std::vector<bool> given(rows.size(), false);
  std::vector<int32_t> rowOf(mesh.Materials.size(), -1);
  size_t next = 1;
  for (size_t i = 0; i < mesh.Materials.size(); ++i) {
    const std::string base = MaterialBaseName(mesh.Materials[i].Name);
    const int32_t flags = MaterialFlagsOfName(mesh.Materials[i].Name);
    int32_t row = -1;
    for (size_t k = 0; k < list.size() && row < 0; ++k)
      if (given[k] && list[k].Name == base) row = static_cast<int32_t>(k);
    if (row >= 0) {
      list[static_cast<size_t>(row)].Flags |= flags;
    } else {
      const int tag = IsSkinName(base) ? 0 : static_cast<int>(next++);
      for (size_t k = 0; k < rows.size() && row < 0; ++k)
        if (rows[k].Tag == tag) row = static_cast<int32_t>(k);
      // Rows that do not come from this mesh's list: keep the material where it was.
      if (row < 0) continue;
      list[static_cast<size_t>(row)] = {base, flags};
      given[static_cast<size_t>(row)] = true;
    }
    rowOf[i] = row;
  }
  for (size_t t = 0; t < mesh.Triangles.size(); ++t) {
    const int32_t old = saved[t];
    if (old >= 0 && static_cast<size_t>(old) < rowOf.size() && rowOf[static_cast<size_t>(old)] >= 0)
      mesh.Triangles[t].Material = rowOf[static_cast<size_t>(old)];
  }
  if (next < list.size()) list.resize(next);
  mesh.Materials = std::move(list);
}

// ---- wire bitmaps -------------------------------------------------------------------------------

namespace {

// Clips the segment to the box [lo, hi] on both axes (Liang-Barsky); false when nothing is left.
bool ClipSegment(double& x0, double& y0, double& x1, double& y1, double lo, double hi) {
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return false;
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - lo, hi - x0, y0 - lo, hi - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, r);
    else
      t1 = std::min(t1, r);
    if (t0 > t1) return false;
  }
  const double ax = x0 + t0 * dx, ay = y0 + t0 * dy, bx = x0 + t1 * dx, by = y0 + t1 * dy;
  x0 = ax, y0 = ay, x1 = bx, y1 = by;
  return true;
}

// A pen line from (x0,y0) up to, not including, (x1,y1).
void LineTo(TBitmap& bmp, int x0, int y0, int x1, int y1, TColor pen) {
  const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  while (x0 != x1 || y0 != y1) {
    bmp.SetPixel(x0, y0, pen);
    const int e2 = 2 * err;
    if (e2 >= dy) err += dy, x0 += sx;
    if (e2 <= dx) err += dx, y0 += sy;
  }
}

void DrawSegment(TBitmap& bmp, double x0, double y0, double x1, double y1) {
  // A margin of a pixel keeps the segment's direction inside the bitmap exact.
  if (!ClipSegment(x0, y0, x1, y1, -1.0, WIRE_SIZE + 1.0)) return;
  LineTo(bmp, static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1), WIRE_PEN);
}

}  // namespace

TBitmap DrawWireBitmap(const TObjeto3D& mesh, int material, bool& drawn) {
  TBitmap bmp(WIRE_SIZE, WIRE_SIZE, TPixelFormat::pf24bit);
  bmp.Fill(WIRE_BRUSH);
  drawn = false;
  for (const TObjeto3DTriangulo& t : mesh.Triangles) {
    if (t.Material != material) continue;
    double x[3], y[3];
    const int32_t corners[3] = {t.UV0, t.UV1, t.UV2};
    bool valid = true;
    for (int k = 0; k < 3; ++k) {
      if (corners[k] < 0 || static_cast<size_t>(corners[k]) >= mesh.UVs.size()) {
        valid = false;
        break;
      }
      const TObjeto3DCoordenadaUV& uv = mesh.UVs[static_cast<size_t>(corners[k])];
      x[k] = 256.0 * static_cast<double>(uv.U);
      y[k] = (1.0 - static_cast<double>(uv.V)) * 256.0;
    }
    if (!valid) continue;
    drawn = true;
    for (int k = 0; k < 3; ++k) DrawSegment(bmp, x[k], y[k], x[(k + 1) % 3], y[(k + 1) % 3]);
  }
  return bmp;
}

// ---- extension file -----------------------------------------------------------------------------

namespace {

std::string BaseNameOf(const std::string& modelFileName) {
  const std::string base = ChangeFileExt(ExtractFileName(modelFileName), "");
  // Names from packages are arbitrary bytes: they must stay a plain file name in CustomModels.
  if (base.empty() || base == "." || base == ".." || base.find_first_of("/\\:") != std::string::npos)
    throw EInOutError("Cannot name model files after '" + modelFileName + "'");
  return base;
}

}  // namespace

std::vector<std::string> CVMXLines(const TObjeto3D& mesh, const TCompileOptions& o) {
  const std::string base = BaseNameOf(o.ModelFileName);
  const bool package = o.Kind == TSourceKind::Package;
  double mn[3] = {2147483648.0, 2147483648.0, 2147483648.0};
  double mx[3] = {-2147483648.0, -2147483648.0, -2147483648.0};
  for (const TObjeto3DVertice& v : mesh.Vertices) {
    const double p[3] = {v.X, v.Y, v.Z};
    for (int k = 0; k < 3; ++k) {
      mn[k] = std::min(mn[k], p[k]);
      mx[k] = std::max(mx[k], p[k]);
    }
  }
  std::vector<std::string> lines = {"[Model-" + o.Name + "]", "Name=" + o.Name, "Prefix=" + base};
  if (o.WriteModelData) lines.push_back("3DFile=" + base + ".cvmd");
  if (package) lines.push_back("LodMesh=" + o.MeshPackageName + "." + base);
  const char* scale = package ? "1.5" : "1.0";
  for (const char* axis : {"X", "Y", "Z"}) lines.push_back(std::string("Scale") + axis + "=" + scale);
  const char* axes[3] = {"X", "Y", "Z"};
  for (int k = 0; k < 3; ++k)
    lines.push_back(std::string("Offset") + axes[k] + "=" + FormatFixed(-(mn[k] + mx[k]) / 2, 3));
  lines.push_back(o.Kind == TSourceKind::Studio3DS || o.Kind == TSourceKind::Unreal3D ? "Pitch=90" : "Pitch=0");
  lines.push_back("Roll=0");
  lines.push_back("Turn=0");
  const bool few = mesh.Materials.size() < 5;
  lines.push_back(few ? "TalkTextureIndex=5" : ";TalkTextureIndex=<-- fill this with the correct value!");
  std::vector<std::string> sections;
  for (size_t i = 0; i < mesh.Materials.size(); ++i) {
    const TObjeto3DMaterial& mat = mesh.Materials[i];
    const std::string name = UpperCase(mat.Name);
    if (name.empty() || (mat.Flags & MATERIAL_WEAPON)) continue;
    std::string suffix;
    if (o.FaceSkin < 0) {
      suffix = ", Face, Team";
    } else {
      const int32_t n = static_cast<int32_t>(i);
      if (n == o.FaceSkin) suffix += ", Face";
      if (n == o.TeamSkin1 || n == o.TeamSkin2) suffix += ", Team";
    }
    if (mat.Flags & MATERIAL_MASKED) suffix += ", Masked";
    sections.push_back("Section" + std::to_string(i + 1) + "=" + name + suffix);
  }
  if (few) sections.push_back("Section5=Talk Texture, Face, OneMipMap, LODSetWorld, TextureIs64x64, TalkTexture");
  std::stable_sort(sections.begin(), sections.end(),
                   [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
  if (sections.size() > 1) lines.push_back("; Fix any incorrect value in sections 1 to 4");
  lines.insert(lines.end(), sections.begin(), sections.end());
  return lines;
}

TObjeto3D MeshForModelData(const TObjeto3D& mesh) {
  TObjeto3D out = mesh;
  int32_t orphan = -1;
  for (TObjeto3DTriangulo& t : out.Triangles) {
    if (t.Material >= 0 && static_cast<size_t>(t.Material) < mesh.Materials.size()) continue;
    if (orphan < 0) {
      out.Materials.push_back({"", MATERIAL_WEAPON});
      orphan = static_cast<int32_t>(out.Materials.size() - 1);
    }
    t.Material = orphan;
  }
  return out;
}

TCompileResult CompileModel(const TObjeto3D& mesh, const TCompileOptions& o) {
  auto status = [&](const char* text) {
    if (o.Status) o.Status(text);
  };
  TCompileResult result;
  const std::string base = BaseNameOf(o.ModelFileName);
  result.Prefix = base;
  const std::vector<std::string> lines = CVMXLines(mesh, o);
  const std::string folder = IncludeTrailingPathDelimiter(o.OutputFolder);
  // Every file is made in memory first and all are replaced as one: a failure part-way must
  // not leave a new model data file beside the old wire bitmaps and extension file.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> outputs;

  status("Creating compiled model file");
  if (o.WriteModelData) {
    result.ModelDataFile = folder + base + ".cvmd";
    outputs.emplace_back(result.ModelDataFile, CVMDBytes(MeshForModelData(mesh), result.ModelDataFile));
  }

  status("Creating wire bitmap files");
  for (size_t i = 0; i < mesh.Materials.size(); ++i) {
    if (mesh.Materials[i].Flags & MATERIAL_WEAPON) continue;
    bool drawn = false;
    TBitmap wire = DrawWireBitmap(mesh, static_cast<int>(i), drawn);
    if (!drawn) continue;
    wire.SetPixelFormat(TPixelFormat::pf4bit);
    TMemoryStream bytes;
    wire.SaveToStream(bytes);
    result.WireFiles.push_back(folder + base + "Wire" + std::to_string(i + 1) + ".bmp");
    outputs.emplace_back(result.WireFiles.back(), bytes.Bytes());
  }

  status("Creating model extension file");
  result.ExtensionFile = folder + base + ".cvmx";
  result.ExtensionWritten = !FileExists(result.ExtensionFile) || (o.ConfirmOverwrite && o.ConfirmOverwrite());
  if (result.ExtensionWritten) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    outputs.emplace_back(result.ExtensionFile, std::vector<uint8_t>(text.begin(), text.end()));
  }

  ForceDirectories(folder);
  std::vector<TFileContent> files;
  for (const auto& [name, bytes] : outputs) files.push_back({name, bytes.data(), bytes.size()});
  WriteFilesTogether(files);
  return result;
}
