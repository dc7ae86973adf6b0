#include "model/ModelCatalogue.h"

#include <cfloat>
#include <cmath>

#include "model/system2.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "platform/MessagePump.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/StrUtils.h"

namespace {

// Texture sizes outside this range are taken as no size: a bigger one would only make the
// editor resample textures into huge bitmaps.
constexpr int kMaxTextureSide = 8192;

int SizeValue(const std::string& text) {
  int v = StrToIntDef(text, 0);
  return (v < 0 || v > kMaxTextureSide) ? 0 : v;
}

TCameraPreset ParsePreset(const std::string& value) {
  std::vector<std::string> f;
  SplitString(value, ";", f);
  auto field = [&](size_t i) -> const std::string& {
    if (i >= f.size()) throw EStringListError("List index out of bounds (" + std::to_string(i) + ")");
    return f[i];
  };
  TCameraPreset p;
  p.Name = field(0);
  p.CameraX = ValueToFloat(field(1), 0);
  p.CameraY = ValueToFloat(field(2), 0);
  p.CameraZ = ValueToFloat(field(3), 500);
  p.TargetX = ValueToFloat(field(4), 0);
  p.TargetY = ValueToFloat(field(5), 0);
  p.TargetZ = ValueToFloat(field(6), 0);
  return p;
}

void ReadModel(const TIniFile& ini, const std::string& fileName, const std::string& section, TModelList& models,
               std::vector<std::string>& problems) {
  auto read = [&](const char* key) { return ini.ReadString(section, key, ""); };
  std::string prefix = read("Prefix");
  if (ModelLoaded(models, prefix)) return;

  auto m = std::make_unique<TModelo>();
  m->Key = fileName + "|" + section;
  m->Name = read("Name");
  m->Prefix = prefix;
  m->File3D = read("3DFile");
  m->LodMesh = read("LodMesh");
  m->TalkTextureIndex = ini.ReadInteger(section, "TalkTextureIndex", 5);
  if (!m->File3D.empty() || !m->LodMesh.empty()) {
    if (!m->File3D.empty()) m->File3D = ExtractFilePath(fileName) + m->File3D;
    struct {
      const char* Key;
      float* Field;
    } reals[] = {{"ScaleX", &m->ScaleX},   {"ScaleY", &m->ScaleY},   {"ScaleZ", &m->ScaleZ},
                 {"OffsetX", &m->OffsetX}, {"OffsetY", &m->OffsetY}, {"OffsetZ", &m->OffsetZ},
                 {"Pitch", &m->Pitch},     {"Roll", &m->Roll},       {"Turn", &m->Turn}};
    for (const auto& r : reals) *r.Field = ValueToFloat(read(r.Key), *r.Field);
  }
  AssignIfNotEmpty(m->FormatTeam, read("FormatTeam"));
  AssignIfNotEmpty(m->FormatFace, read("FormatFace"));
  AssignIfNotEmpty(m->FormatDefault, read("FormatDefault"));
  AssignIfNotEmpty(m->FormatTalk, read("FormatTalk"));

  m->HasMaskedSection = false;
  // Said only for a model that enters the catalogue.
  std::vector<std::string> wireProblems;
  for (int n = 1; n <= MaxModelSections; ++n) {
    std::string value = ini.ReadString(section, "Section" + std::to_string(n), "");
    if (value.empty()) continue;
    std::string name;
    uint32_t flags;
    int width, height;
    ParseSectionValue(value, n, name, flags, width, height);
    if (flags & mpMASKED) m->HasMaskedSection = true;
    m->AddPart(name, flags, width, height, &wireProblems);
  }

  for (int n = 1;; ++n) {
    std::string value = ini.ReadString(section, "Preset" + std::to_string(n), "");
    if (value.empty()) break;
    m->Presets.push_back(ParsePreset(value));
  }
  if (m->Presets.empty()) {
    TCameraPreset front;
    front.Name = "Front";
    front.CameraZ = 500;
    m->Presets.push_back(front);
  }
  models.push_back(std::move(m));
  problems.insert(problems.end(), wireProblems.begin(), wireProblems.end());
}

// The section a model key names, with the INI file of its extension file.
void SplitKey(const std::string& modelKey, std::string& fileName, std::string& section) {
  fileName = GetToken(modelKey, '|', 0);
  section = GetTokenRest(modelKey, '|', 0);
  if (fileName.empty() || section.empty())
    throw EInOutError("No model extension file to write (model key '" + modelKey + "')");
}

// A value that is not finite would make the section unreadable.
double Finite(float v) { return std::isfinite(v) ? static_cast<double>(v) : 0.0; }

std::string CleanPresetName(const std::string& name) {
  std::string r = name;
  for (char& c : r) {
    if (c == ';') c = ',';
    if (c == '\r' || c == '\n') c = ' ';
  }
  return r;
}

}  // namespace

float ValueToFloat(const std::string& value, float defaultValue) {
  if (Trim(value).empty()) return defaultValue;
  double v;
  if (!TryStrToFloat(value, v) || std::fabs(v) > FLT_MAX)
    throw EConvertError("'" + value + "' is not a valid floating point value");
  return static_cast<float>(v);
}

void AssignIfNotEmpty(std::string& field, const std::string& value) {
  if (!value.empty()) field = value;
}

bool ModelLoaded(const TModelList& models, const std::string& prefix) {
  for (const auto& m : models)
    if (m->Prefix == prefix) return true;
  return false;
}

void ParseSectionValue(const std::string& value, int sectionNumber, std::string& name, uint32_t& flags, int& width,
                       int& height) {
  std::vector<std::string> fields;
  SplitString(value, ",", fields);
  for (std::string& f : fields) f = Trim(f);
  name = fields.empty() ? std::string() : fields[0];
  flags = static_cast<uint32_t>(sectionNumber) & mpSectionMask;
  width = 0;
  height = 0;
  static const struct {
    const char* Word;
    uint32_t Flag;
  } kWords[] = {{"TEAM", mpTEAM},
                {"FACE", mpFACE},
                {"NOINT", mpNOINT},
                {"ONEMIPMAP", mpONEMIPMAP},
                {"LODSETWORLD", mpLODSETWORLD},
                {"TALKTEXTURE", mpTALKTEXTURE},
                {"MASKED", mpMASKED},
                {"CANNOTRESAMPLE", mpCANNOTRESAMPLE}};
  bool sizeFound = false;
  for (size_t i = 1; i < fields.size(); ++i) {
    std::string w = UpperCase(fields[i]);
    for (const auto& k : kWords)
      if (w == k.Word) flags |= k.Flag;
    if (!sizeFound && w.compare(0, 9, "TEXTUREIS") == 0) {
      std::string size = w.substr(9);
      width = SizeValue(GetToken(size, 'X', 0));
      height = SizeValue(GetToken(size, 'X', 1));
      sizeFound = width > 0 && height > 0;
    }
  }
  if ((width == 0 || height == 0) && (flags & mpTALKTEXTURE)) {
    width = 64;
    height = 64;
  }
}

std::vector<std::string> ModelExtensionFiles(const std::string& programFileName, const std::string& programFolder) {
  std::vector<std::string> files;
  files.push_back(ChangeFileExt(programFileName, ".ini"));
  std::string folder = IncludeTrailingPathDelimiter(programFolder);
  for (const std::string& n : ListFiles(folder, "*.cvmx")) files.push_back(folder + n);
  std::string custom = ResolveCaseInsensitive(folder + "CustomModels");
  custom = IncludeTrailingPathDelimiter(custom);
  for (const std::string& n : ListFiles(custom, "*.cvmx")) files.push_back(custom + n);
  return files;
}

void ReadModelExtensionFile(const std::string& fileName, TModelList& models, std::vector<std::string>& problems) {
  std::unique_ptr<TIniFile> ini;
  try {
    ini = std::make_unique<TIniFile>(fileName);
  } catch (const Exception& e) {
    problems.push_back("Model file \"" + fileName + "\": " + e.Message);
    return;
  }
  std::vector<std::string> sections;
  ini->ReadSections(sections);
  // A broken model is left out; the models after it, in this file and the next ones, still load.
  for (const std::string& s : sections) {
    if (!StartsText("model-", s)) continue;
    try {
      ReadModel(*ini, fileName, s, models, problems);
    } catch (const Exception& e) {
      problems.push_back("Model file \"" + fileName + "\", section [" + s + "]: " + e.Message +
                         " (the model was left out)");
    }
  }
}

void LoadModelExtensions(TModelList& models, TModelo& currentModel, const std::string& programFileName,
                         const std::string& programFolder) {
  // The field routines pump messages: keep re-entrant commands and the refresh timer out,
  // and let handlers that run meanwhile see the old catalogue until the new one is complete.
  TBusyGuard busy;
  std::string prefix = currentModel.Prefix;
  TModelList loaded;
  std::vector<std::string> problems;
  for (const std::string& f : ModelExtensionFiles(programFileName, programFolder))
    ReadModelExtensionFile(f, loaded, problems);
  models = std::move(loaded);
  if (!prefix.empty())
    for (const auto& m : models)
      if (m->Prefix == prefix) currentModel.Assign(*m);
  if (!problems.empty()) {
    std::string text = problems.front();
    for (size_t i = 1; i < problems.size(); ++i) text += "\r\n" + problems[i];
    throw EConvertError(text);
  }
}

void LoadModelExtensions(TModelList& models, TModelo& currentModel) {
  LoadModelExtensions(models, currentModel, ProgramFileName(), ProgramFolder());
}

void SaveModelPosition(const std::string& modelKey, const TModelPosition& p) {
  std::string fileName, section;
  SplitKey(modelKey, fileName, section);
  TIniFile ini(ToNativePath(fileName));
  ini.AutoUpdate = false;
  const struct {
    const char* Key;
    float Value;
  } values[] = {{"ScaleX", p.ScaleX},   {"ScaleY", p.ScaleY},   {"ScaleZ", p.ScaleZ},
                {"OffsetX", p.OffsetX}, {"OffsetY", p.OffsetY}, {"OffsetZ", p.OffsetZ},
                {"Pitch", p.Pitch},     {"Roll", p.Roll},       {"Turn", p.Turn}};
  for (const auto& v : values) ini.WriteString(section, v.Key, FormatFixed(Finite(v.Value), 5));
  ini.UpdateFile();
}

void SaveModelPresets(const std::string& modelKey, const std::vector<TCameraPreset>& presets) {
  std::string fileName, section;
  SplitKey(modelKey, fileName, section);
  TIniFile ini(ToNativePath(fileName));
  ini.AutoUpdate = false;
  int n = 1;
  while (!ini.ReadString(section, "Preset" + std::to_string(n), "").empty()) ++n;
  int i = 0;
  for (const TCameraPreset& p : presets) {
    std::string v = CleanPresetName(p.Name);
    for (float f : {p.CameraX, p.CameraY, p.CameraZ, p.TargetX, p.TargetY, p.TargetZ}) {
      v += ';';  // appended apart: ";" + text trips a false overlap warning of GCC 12 at -O3
      v += FormatFixed(Finite(f), 2);
    }
    ini.WriteString(section, "Preset" + std::to_string(++i), v);
  }
  for (int k = static_cast<int>(presets.size()) + 1; k <= n - 1; ++k)
    ini.WriteString(section, "Preset" + std::to_string(k), "");
  ini.UpdateFile();
}
