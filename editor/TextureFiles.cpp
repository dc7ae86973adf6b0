#include "editor/TextureFiles.h"

#include "editor/SkinNaming.h"
#include "imaging/resample.h"
#include "platform/Exceptions.h"
#include "platform/FileTimes.h"
#include "platform/MessagePump.h"
#include "platform/PictureLoader.h"

namespace {

// Keeps the flag set while a reload runs, also when it raises.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
  ~TFlagScope() { FFlag = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& FFlag;
};

}  // namespace

// Some readers give an empty picture for a header they cannot read; a texture of no pixels
// would break the resampler and the package writer, so it is refused here.
std::unique_ptr<TBitmap> ReadTexturePicture(const std::string& fileName) {
  auto bmp = std::make_unique<TBitmap>(LoadTextureFile(fileName));
  if (bmp->Empty()) throw EInvalidGraphic("The picture file \"" + fileName + "\" holds no picture");
  return bmp;
}

std::string CannotResampleMessage(const std::string& sectionName, const TModeloPart& part) {
  return "A texture on section \"" + sectionName + "\" does not have the right size (" + std::to_string(part.Width) +
         "x" + std::to_string(part.Height) +
         ") and its marked as No Resizable in the model.\r\nPlease remove the texture, resize it and load again.";
}

void CheckTextureSize(std::unique_ptr<TBitmap>& bitmap, const std::string& sectionName, const TModeloPart& part,
                      const TShowBox& showBox) {
  if (!(part.Flags & mpMASKED)) bitmap->SetPixelFormat(TPixelFormat::pf24bit);
  if (part.Width < 1 || part.Height < 1) return;
  if (bitmap->Width() == part.Width && bitmap->Height() == part.Height) return;
  if (part.Flags & mpCANNOTRESAMPLE) {
    if (showBox) showBox("ERROR", CannotResampleMessage(sectionName, part));
    return;
  }
  auto fitted = std::make_unique<TBitmap>(part.Width, part.Height, TPixelFormat::pf24bit);
  Stretch(*bitmap, *fitted);
  bitmap = std::move(fitted);
}

std::unique_ptr<TObjetoTextura> CreateTexture(const std::string& fileName, const std::string& identifier,
                                              const std::string& description, const std::string& sectionName,
                                              const TModeloPart& part, const TShowBox& showBox) {
  auto t = std::make_unique<TObjetoTextura>();
  t->Identifier = identifier;
  t->Description = description;
  t->Filename = fileName;
  t->FileAge = FileAge(fileName);
  t->Bitmap = ReadTexturePicture(fileName);
  t->WireBitmap = part.WireBitmap;
  CheckTextureSize(t->Bitmap, sectionName, part, showBox);
  return t;
}

std::string SkippedImportMessage(const std::vector<std::string>& files) {
  std::string text =
      "The names of these files give no skin code or no section of the model (abcd2t_1.bmp: skin abcd, section 2, "
      "blue team), so they were not imported:";
  for (const std::string& f : files) text += "\r\n" + f;
  return text;
}

int ImportTextures(TSkinTree& tree, const TModelo& model, const std::vector<std::string>& files,
                   const TShowBox& showBox, std::vector<std::string>* skipped) {
  if (!tree.Root()) throw EInvalidOperation("No project is open");
  int added = 0;
  // Sorted and expanded even when a file stops the import: what was added is shown in order.
  struct TFinish {
    TSkinTree& Tree;
    ~TFinish() {
      Tree.Sort();
      for (TSkinNode* n : Tree.Nodes()) n->Expanded = true;
    }
  } finish{tree};
  for (size_t i = files.size(); i-- > 0;) {
    const std::string& file = files[i];
    TImportName name = ParseImportName(file);
    int partIndex = model.PartIndexOfSection(name.Section);
    if (partIndex < 0 || name.Code.empty()) {
      if (skipped) skipped->insert(skipped->begin(), file);
      continue;
    }
    // The node text names the texture's section of the project file, which cannot hold these:
    // such a texture would make every later save of the project fail.
    if (name.NodeText.find_first_of("]\r\n") != std::string::npos)
      throw EConvertError("The file name \"" + file +
                          "\" cannot name a texture: \"]\" cannot be stored in the project file");
    // Letter case ignored: the project file keys skins by code without case, so a skin "BOSS"
    // of a hand-written project and a new skin "boss" would merge there.
    TSkinNode* skin = FindSkinByCode(tree, name.Code);
    if (!skin) skin = tree.Root()->AddChild(SkinNodeText(name.Code, name.Code));
    EnsureSectionNodes(skin, model);
    TSkinNode* section = nullptr;
    for (const auto& s : skin->Children())
      if (s->SectionNumber == name.Section) section = s.get();
    std::string description = TeamLabel(name.Identifier).empty() ? name.Identifier : std::string();
    const TModeloPart& part = *model.Part(partIndex);
    auto texture = CreateTexture(file, name.Identifier, description, section->Text, part, showBox);
    // A section holds one texture of each kind (the project file keys textures by kind): a file
    // imported again replaces the texture it names instead of adding a twin that a save and
    // load would silently drop.
    TSkinNode* same = nullptr;
    for (const auto& t : section->Children())
      if (t->Texture && t->Texture->Identifier == name.Identifier) same = t.get();
    if (same) {
      // Only the picture is new: a face keeps the name it was given (node text and the
      // package's description stay in step).
      texture->Description = same->Texture->Description;
      same->Texture = std::move(texture);
      same->PixelsChanged();
    } else {
      AddTexture(section, std::move(texture), name.NodeText);
    }
    ++added;
  }
  return added;
}

bool TTextureReloader::Run(TSkinTree& tree, const TModelo& model, const TShowBox& showBox) {
  if (FRunning || IsBusy()) return false;
  TFlagScope running(FRunning);
  bool changed = false;
  for (TSkinNode* node : tree.TextureNodes()) {
    TObjetoTextura& t = *node->Texture;
    int64_t age = FileAge(t.Filename);
    if (age == t.FileAge) continue;
    // Stored first: a file that cannot be read, or a box that stays open across timer ticks,
    // must not make the same change be handled again.
    t.FileAge = age;
    changed = true;
    if (age == -1) {
      if (showBox) showBox("WARNING", "The texture file \"" + t.Filename + "\" has been deleted!");
      continue;
    }
    auto bmp = ReadTexturePicture(t.Filename);
    const TSkinNode* section = node->Parent();
    if (const TModeloPart* part = PartOfSection(section, model)) CheckTextureSize(bmp, section->Text, *part, showBox);
    t.Bitmap = std::move(bmp);
    node->PixelsChanged();
  }
  return changed;
}

bool RefreshMayRun(bool busy, bool modalOpen, bool painting, bool reloading) {
  return !busy && !modalOpen && !painting && !reloading;
}
