#include "editor/ProjectFile.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

#include "editor/SkinNaming.h"
#include "platform/FileTimes.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Streams.h"
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
                                                const std::string& programFolder, const TShowBox& showBox,
                                                const TLoadProgress& progress) {
  // The INI reader takes a missing file for an empty one; a project that is not there is an error.
  if (!FileExists(fileName)) throw EInOutError("Cannot open file \"" + fileName + "\". File not found", 2);
  TIniFile ini(fileName);
  if (!ini.SectionExists("General")) throw ENotAProject(fileName);
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

  // Skins by node text and group descriptions by code (first line wins, letter case ignored,
  // as the INI reader finds keys), so each texture line is placed without a search.
  std::unordered_map<std::string, TSkinNode*> skins;
  std::unordered_map<std::string, std::string> groupOf;
  std::vector<std::string> groups;
  ini.ReadSectionValues("Groups", groups);
  for (const std::string& line : groups) {
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    groupOf.emplace(LowerCase(line.substr(0, eq)), line.substr(eq + 1));
    std::string text = SkinNodeText(line.substr(eq + 1), line.substr(0, eq));
    if (skins.count(text)) continue;
    TSkinNode* skin = root->AddChild(text);
    EnsureSectionNodes(skin, model);
    skins.emplace(std::move(text), skin);
  }

  const std::string projectFolder = ExtractFilePath(fileName);
  std::unordered_set<std::string> listed;
  std::vector<std::string> sections;
  ini.ReadSections(sections);
  size_t done = 0;
  for (const std::string& name : sections) {
    if (progress) progress(done++, sections.size());
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
    auto group = groupOf.find(LowerCase(code));
    auto skinIt = skins.find(SkinNodeText(group == groupOf.end() ? std::string() : group->second, code));
    if (skinIt == skins.end()) continue;
    // By number, as the file stores it: two sections of one name must not swap textures.
    TSkinNode* section = nullptr;
    for (const auto& child : skinIt->second->Children())
      if (child->SectionNumber == number) {
        section = child.get();
        break;
      }
    if (!section) continue;

    std::string stored = ini.ReadString(name, "Filename", "");
    std::string file = ResolveTextureName(stored, programFolder, projectFolder);
    const std::string shown = stored.empty() ? name : stored;
    if (file.empty() || !FileExists(file)) {
      if (listed.insert(shown).second) r->MissingFiles.push_back(shown);
      continue;
    }
    std::unique_ptr<TObjetoTextura> t;
    try {
      t = CreateTexture(file, ini.ReadString(name, "Identifier", ""), ini.ReadString(name, "Description", ""),
                        section->Text, *model.Part(partIndex), showBox);
    } catch (const Exception& e) {
      // One bad picture does not keep the rest of the project from opening.
      if (listed.insert(shown).second) r->UnreadableFiles.push_back(shown + ": " + e.Message);
      continue;
    }
    TSkinNode* n = section->AddChild(nodeText);
    n->Texture = std::move(t);
  }
  if (progress) progress(sections.size(), sections.size());
  r->Tree.Sort();
  for (TSkinNode* n : r->Tree.Nodes()) n->Expanded = true;
  r->Tree.MarkTexturesChanged();
  return r;
}

std::string MissingFilesMessage(const std::vector<std::string>& files, const std::vector<std::string>& unreadable) {
  std::string text;
  if (!files.empty()) {
    text = "These texture files were not found and their textures were left out:";
    for (const std::string& f : files) text += "\r\n" + f;
  }
  if (!unreadable.empty()) {
    if (!text.empty()) text += "\r\n\r\n";
    text += "These texture files could not be read and their textures were left out:";
    for (const std::string& f : unreadable) text += "\r\n" + f;
  }
  return text;
}

bool AnyTextureModified(const TSkinTree& tree) {
  for (TSkinNode* n : tree.TextureNodes())
    if (n->Texture->Modified) return true;
  return false;
}

namespace {
// What a save that stopped part-way leaves on the disk: the textures already written stay
// written (and no longer count as painted), the project file stays as it was.
std::string PartialSaveNote(const std::vector<std::string>& texturesWritten, const std::string& projectFile) {
  std::string note;
  if (!texturesWritten.empty()) {
    note += "\r\n\r\nThese textures were saved:";
    for (const std::string& f : texturesWritten) note += "\r\n" + f;
  }
  return note + "\r\n\r\nThe project file " + projectFile + " was not saved.";
}
}  // namespace

void SaveProjectFile(const std::string& fileName, TSkinTree& tree, const TModelo& model, const TProjectOptions& options,
                     const std::string& programFolder, const TAskSaveTexture& askSaveTexture,
                     const TAskBitmapName& askBitmapName) {
  // Built in memory, then written through a temporary file that replaces the project only once
  // it is complete (through a link, onto its target, keeping the file's permissions).
  std::vector<std::string> texturesWritten;
  try {
    TIniFile ini{std::string()};
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
              askSaveTexture("Save modified texture " + description + "/" + sectionName + "/" + node->Text + " ?") &&
              SaveTexture(t, askBitmapName) != TTextureSaved::Cancelled) {
            t.Modified = false;
            texturesWritten.push_back(t.Filename);
          }
          std::string section = code + "#" + sectionNumber + "#" + node->Text;
          if (!t.Identifier.empty()) ini.WriteString(section, "Identifier", t.Identifier);
          if (!t.Description.empty()) ini.WriteString(section, "Description", t.Description);
          ini.WriteString(section, "Filename", StoredTextureName(t.Filename, programFolder, projectFolder));
          break;
        }
        default: break;
      }
    }
    WriteFileAtomically(fileName, ini.Text());
  } catch (const EInOutError& e) {
    throw EInOutError(e.Message + PartialSaveNote(texturesWritten, fileName), e.ErrorCode);
  } catch (const EFCreateError& e) {
    throw EFCreateError(e.Message + PartialSaveNote(texturesWritten, fileName));
  }
}
