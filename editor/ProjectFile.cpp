#include "editor/ProjectFile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "editor/SkinNaming.h"
#include "platform/FileTimes.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/ScopeGuard.h"
#include "platform/StrUtils.h"

namespace {

bool HasDrive(const std::string& p) {
  return p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

std::string Backslashed(std::string p) {
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return !prefix.empty() && s.size() > prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

int ToIntOrZero(const std::string& s) {
  int v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return (ec == std::errc() && p == s.data() + s.size()) ? v : 0;
}

}  // namespace

std::string StoredTextureName(const std::string& fileName, const std::string& programFolder,
                              const std::string& projectFolder) {
  std::string pf = IncludeTrailingPathDelimiter(programFolder);
  if (StartsWith(fileName, pf)) return Backslashed(fileName.substr(pf.size()));
  if (!projectFolder.empty()) {
    std::string prj = IncludeTrailingPathDelimiter(projectFolder);
    if (StartsWith(fileName, prj)) return Backslashed(fileName.substr(prj.size()));
  }
  return fileName;
}

std::string ResolveTextureName(const std::string& stored, const std::string& programFolder,
                               const std::string& projectFolder) {
  if (stored.empty()) return stored;
  if (HasDrive(stored)) return ResolveCaseInsensitive(ToNativePath(stored));
  std::string p = ToNativePath(stored);
  if (p[0] == '/') return ResolveCaseInsensitive(p);
  std::string underProgram = ResolveCaseInsensitive(IncludeTrailingPathDelimiter(programFolder) + p);
  if (FileExists(underProgram) || projectFolder.empty()) return underProgram;
  std::string underProject = ResolveCaseInsensitive(IncludeTrailingPathDelimiter(projectFolder) + p);
  return FileExists(underProject) ? underProject : underProgram;
}

std::string ProjectBaseName(const std::string& projectFileName) {
  return ChangeFileExt(ExtractFileName(projectFileName), "");
}

std::string ProjectRootText(const std::string& projectFileName, const std::string& prefix) {
  return ProjectBaseName(projectFileName) + " (" + prefix + ")";
}

std::string ProjectCaption(const std::string& modelName, const std::string& projectFileName,
                           const std::string& programFolder) {
  std::string shown = projectFileName;
  if (ExtractFilePath(projectFileName) == IncludeTrailingPathDelimiter(programFolder))
    shown = ExtractFileName(projectFileName);
  return "Corvane v2.4.1 - (" + modelName + ") " + shown;
}

int FindModelByPrefix(const std::vector<std::unique_ptr<TModelo>>& catalogue, const std::string& prefix) {
  int found = -1;
  for (size_t i = 0; i < catalogue.size(); ++i)
    if (SameText(catalogue[i]->Prefix, prefix)) found = static_cast<int>(i);
  return found;
}

std::unique_ptr<TLoadedProject> LoadProjectFile(const std::string& fileName,
                                                const std::vector<std::unique_ptr<TModelo>>& catalogue,
                                                const std::string& programFolder, const TShowBox& showBox) {
  // The INI reader takes a missing file for an empty one; a project that is not there is an error.
  if (!FileExists(fileName)) throw EInOutError("Cannot open file \"" + fileName + "\". File not found", 2);
  TIniFile ini(fileName);
  // A missing Model key names the first catalogue model; with an empty catalogue there is none.
  std::string prefix = ini.ReadString("General", "Model", catalogue.empty() ? std::string() : catalogue[0]->Prefix);
  int index = catalogue.empty() ? -1 : FindModelByPrefix(catalogue, prefix);
  if (index < 0) throw EModelNotInstalled();

  auto r = std::make_unique<TLoadedProject>();
  r->ModelIndex = index;
  r->Model = std::make_unique<TModelo>();
  r->Model->Assign(*catalogue[index]);
  const TModelo& model = *r->Model;

  r->Options.OnlyFirstMipMap = ini.ReadBool("General", "OnlyFirstMipMap", false);
  int reduce = ini.ReadInteger("General", "ReducePalettes", 0);
  r->Options.ReducePalettes = (reduce >= 0 && reduce <= 2) ? reduce : 0;
  r->Options.ClientOptional = ini.ReadBool("General", "ClientOptional", false);
  if (model.HasMaskedSection) r->Options.ReducePalettes = 0;

  TSkinNode* root = r->Tree.SetRoot(ProjectRootText(fileName, model.Prefix));

  std::vector<std::string> groups;
  ini.ReadSectionValues("Groups", groups);
  for (const std::string& line : groups) {
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    std::string text = SkinNodeText(line.substr(eq + 1), line.substr(0, eq));
    if (FindChildByText(root, text)) continue;
    TSkinNode* skin = root->AddChild(text);
    EnsureSectionNodes(skin, model);
  }

  const std::string projectFolder = ExtractFilePath(fileName);
  std::vector<std::string> sections;
  ini.ReadSections(sections);
  for (const std::string& name : sections) {
    size_t h1 = name.find('#');
    if (h1 == std::string::npos) continue;
    size_t h2 = name.find('#', h1 + 1);
    if (h2 == std::string::npos) continue;
    std::string code = name.substr(0, h1);
    int number = ToIntOrZero(name.substr(h1 + 1, h2 - h1 - 1));
    // The node text is everything after the second '#', so a face name may hold one.
    std::string nodeText = name.substr(h2 + 1);
    int partIndex = model.PartIndexOfSection(number);
    if (partIndex < 0) continue;
    TSkinNode* skin = FindChildByText(root, SkinNodeText(ini.ReadString("Groups", code, ""), code));
    TSkinNode* section = FindChildByText(skin, model.PartName(partIndex));
    if (!section) continue;

    std::string stored = ini.ReadString(name, "Filename", "");
    std::string file = ResolveTextureName(stored, programFolder, projectFolder);
    if (file.empty() || !FileExists(file)) {
      if (std::find(r->MissingFiles.begin(), r->MissingFiles.end(), stored) == r->MissingFiles.end())
        r->MissingFiles.push_back(stored.empty() ? name : stored);
      continue;
    }
    std::unique_ptr<TObjetoTextura> t;
    try {
      t = CreateTexture(file, ini.ReadString(name, "Identifier", ""), ini.ReadString(name, "Description", ""),
                        section->Text, *model.Part(partIndex), showBox);
    } catch (Exception& e) {
      if (e.Message.find(file) == std::string::npos) e.Message = file + ": " + e.Message;
      throw;
    }
    TSkinNode* n = section->AddChild(nodeText);
    n->Texture = std::move(t);
  }
  r->Tree.Sort();
  for (TSkinNode* n : r->Tree.Nodes()) n->Expanded = true;
  r->Tree.MarkTexturesChanged();
  return r;
}

std::string MissingFilesMessage(const std::vector<std::string>& files) {
  if (files.empty()) return {};
  std::string text = "These texture files were not found and their textures were left out:";
  for (const std::string& f : files) text += "\r\n" + f;
  return text;
}

bool AnyTextureModified(const TSkinTree& tree) {
  for (TSkinNode* n : tree.TextureNodes())
    if (n->Texture->Modified) return true;
  return false;
}

void SaveProjectFile(const std::string& fileName, TSkinTree& tree, const TModelo& model,
                     const TProjectOptions& options, const std::string& programFolder,
                     const TAskSaveTexture& askSaveTexture) {
  // Everything is written into a fresh file next to the project, which replaces the project
  // only once it is complete.
  const std::string temp = ExtractFilePath(fileName) + "." + ExtractFileName(fileName) + ".saving-" +
                           std::to_string(::getpid());
  std::error_code ec;
  std::filesystem::remove(temp, ec);
  TScopeGuard dropTemp([&] { std::filesystem::remove(temp, ec); });
  {
    TIniFile ini(temp);
    // Written once, when complete (not once per key).
    ini.AutoUpdate = false;
    ini.WriteString("General", "Model", model.Prefix);
    ini.WriteBool("General", "OnlyFirstMipMap", options.OnlyFirstMipMap);
    ini.WriteInteger("General", "ReducePalettes", options.ReducePalettes);
    ini.WriteBool("General", "ClientOptional", options.ClientOptional);

    const std::string projectFolder = ExtractFilePath(fileName);
    std::string code, description, sectionNumber, sectionName;
    for (TSkinNode* node : tree.Nodes()) {
      switch (node->Level()) {
        case 1:
          SplitSkinText(node->Text, description, code);
          ini.WriteString("Groups", code, description);
          break;
        case 2:
          sectionNumber = std::to_string(node->SectionNumber);
          sectionName = node->Text;
          break;
        case 3: {
          if (!node->Texture) break;
          TObjetoTextura& t = *node->Texture;
          if (t.Modified && askSaveTexture &&
              askSaveTexture("Save modified texture " + description + "/" + sectionName + "/" + node->Text + " ?")) {
            t.Bitmap->SaveToFile(t.Filename);
            t.Modified = false;
            t.FileAge = FileAge(t.Filename);
          }
          std::string section = code + "#" + sectionNumber + "#" + node->Text;
          if (!t.Identifier.empty()) ini.WriteString(section, "Identifier", t.Identifier);
          if (!t.Description.empty()) ini.WriteString(section, "Description", t.Description);
          ini.WriteString(section, "Filename", StoredTextureName(t.Filename, programFolder, projectFolder));
          break;
        }
        default:
          break;
      }
    }
    ini.UpdateFile();
    if (::rename(temp.c_str(), fileName.c_str()) != 0) RaiseInOutErrorFromErrno(errno);
  }
  dropTemp.Dismiss();
}
