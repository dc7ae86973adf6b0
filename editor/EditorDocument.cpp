#include "editor/EditorDocument.h"

#include <algorithm>

#include "editor/PackageDescription.h"
#include "editor/SkinNaming.h"
#include "model/crvn_struc.h"
#include "packages/CompilePackage.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "preview/CameraPresets.h"
#include "platform/ScopeGuard.h"
#include "platform/StrUtils.h"

namespace {

const char* const kSkinCodeMissing = "The skin needs a code: type one, or give the skin a description to take it from.";

std::string SkinCodeUsedMessage(const std::string& code) {
  return "The skin code \"" + code + "\" is already used by another skin of this project.";
}

// An import may add skins, sections and textures.
constexpr unsigned kImported = dcTree | dcSelection | dcTextures | dcPalettes | dcModified;
// Another project replaces the whole tree, its choices and its model's presets.
constexpr unsigned kOpened = dcProject | dcFileName | dcTree | dcSelection | dcTextures | dcPalettes | dcPresets;

bool IsSkin(const TSkinNode* node) { return node && node->Level() == 1; }
bool IsTexture(const TSkinNode* node) { return node && node->Level() == 3; }
TObjetoTextura* TextureOf(const TSkinNode* node) { return IsTexture(node) ? node->Texture.get() : nullptr; }

}  // namespace

// Counts the commands running, also when one raises.
class TEditorDocument::TCommandScope {
 public:
  explicit TCommandScope(TEditorDocument& doc) : FDoc(doc) { ++FDoc.FCommands; }
  ~TCommandScope() { --FDoc.FCommands; }
  TCommandScope(const TCommandScope&) = delete;
  TCommandScope& operator=(const TCommandScope&) = delete;

 private:
  TEditorDocument& FDoc;
};

// A long operation of the window (it pumps messages) counts as a command too.
bool TEditorDocument::CommandRunning() const { return FCommands > 0 || IsBusy(); }

void TEditorDocument::BuildPalettes() {
  FPaletteJob.Drop();
  ::BuildPalettes(FTree, PaletteMode());
  Notify(dcPalettes, nullptr);
}

void TEditorDocument::Notify(unsigned changes, TSkinNode* select) {
  // Whatever changed the preview's lists, each choice is kept by its text.
  if (changes & dcSelection) FChoices.Refresh(FTree);
  // A stroke whose texture has left the tree ends: nothing may touch that texture any more.
  if ((changes & dcTextures) && Painting()) {
    const std::vector<TSkinNode*> textures = FTree.TextureNodes();
    if (std::none_of(textures.begin(), textures.end(),
                     [this](TSkinNode* n) { return n->Texture.get() == FStroke.Texture; }))
      FStroke.Texture = nullptr;
  }
  FObservers.Notify(changes, select);
}

TCommandResult TEditorDocument::Refuse(const std::string& message) const {
  TCommandResult r;
  r.Caption = message.empty() ? "" : "ERROR";
  r.Message = message;
  return r;
}

TCommandResult TEditorDocument::Finish(unsigned changes, TSkinNode* node, TSkinNode* select) {
  // Palettes still being built for a stroke: the build below replaces them; a change of the tree
  // or its textures finds them done first (what no longer holds of them is dropped); anything
  // else lets them come when they are ready.
  if (changes & dcPalettes)
    FPaletteJob.Drop();
  else if (changes & (dcTree | dcTextures))
    ApplyJobResult(true);
  if (changes & dcModified) FState.SetProjectModified(true);
  if (changes & dcPalettes) BuildStalePalettes(FTree, PaletteMode());
  Notify(changes, select);
  TCommandResult r;
  r.Done = true;
  r.Changes = changes;
  r.Node = node;
  return r;
}

TCommandResult TEditorDocument::ChoosePaletteMode(TPaletteMode mode) {
  SetPaletteMode(mode);
  return Finish(dcPalettes | dcModified, nullptr);
}

TCommandResult TEditorDocument::NewSkin(const std::string& description, const std::string& typedCode) {
  if (FTree.Empty() || !FState.CurrentModel()) return Refuse("");
  const std::string code = SkinCodeFromDialog(typedCode, description);
  if (code.empty()) return Refuse(kSkinCodeMissing);
  if (SkinCodeInUse(FTree, code)) return Refuse(SkinCodeUsedMessage(code));
  TSkinNode* skin = ::AddSkin(FTree, description, code, *FState.CurrentModel());
  // The preview shows the new skin, with its own teams and faces listed.
  FChoices.Refresh(FTree);
  FChoices.ChooseSkin(FTree, IndexOfItem(FChoices.Skins, skin->Text));
  return Finish(dcTree | dcSelection | dcModified, skin);
}

TCommandResult TEditorDocument::EditSkin(TSkinNode* skin, const std::string& description,
                                         const std::optional<std::string>& typedCode) {
  if (!IsSkin(skin)) return Refuse("");
  std::string code = SkinCodeOf(skin->Text);
  if (typedCode) code = SkinCodeFromDialog(*typedCode, description);
  if (code.empty()) return Refuse(kSkinCodeMissing);
  if (SkinCodeInUse(FTree, code, skin)) return Refuse(SkinCodeUsedMessage(code));
  ::EditSkin(skin, description, code);
  FTree.Sort();
  return Finish(dcTree | dcSelection | dcModified, skin);
}

TCommandResult TEditorDocument::DeleteSkin(TSkinNode* skin) {
  if (!IsSkin(skin)) return Refuse("");
  ::DeleteSkin(skin);
  return Finish(dcTree | dcSelection | dcTextures | dcPalettes | dcModified, nullptr, FTree.Root());
}

TSkinNode* TEditorDocument::TextureSection(TSkinNode* node, bool newTexture) const {
  if (!node || node->Level() != (newTexture ? 2 : 3) || !FState.CurrentModel()) return nullptr;
  TSkinNode* section = newTexture ? node : node->Parent();
  return PartOfSection(section, *FState.CurrentModel()) ? section : nullptr;
}

TTextureChoices TEditorDocument::TextureChoices(TSkinNode* section, TSkinNode* edited) const {
  return TextureChoicesFor(section, edited, *FState.CurrentModel());
}

std::string TEditorDocument::NodeStatus(const TSkinNode* node) const {
  if (const TObjetoTextura* t = TextureOf(node)) return t->Filename;
  const TModeloPart* part = node && node->Level() == 2 ? PartOfSection(node, *FState.CurrentModel()) : nullptr;
  return part ? part->GetDescription() : std::string();
}

TCommandResult TEditorDocument::CheckTextureChoice(const TSkinNode* section, const TSkinNode* edited,
                                                   const std::string& choice) const {
  // A face typed as blanks names nothing.
  if (Trim(choice).empty()) return Refuse("");
  // The node text becomes a section name of the project file, which cannot hold these.
  if (choice.find_first_of("]\r\n") != std::string::npos) return Refuse("A face name cannot contain \"]\".");
  // Two textures of one kind in a section would share one section of the project file, and
  // the second would replace the first when the project is read again.
  if (const TSkinNode* clash = TextureKindConflict(section, edited, choice))
    return Refuse("The section \"" + clash->Parent()->Text + "\" already has the texture \"" + clash->Text + "\".");
  TCommandResult ok;
  ok.Done = true;
  return ok;
}

TCommandResult TEditorDocument::AddTexture(TSkinNode* section, const std::string& choice, const std::string& fileName) {
  TCommandScope command(*this);
  if (TextureSection(section, true) != section) return Refuse("");
  TCommandResult check = CheckTextureChoice(section, nullptr, choice);
  if (!check.Done) return check;
  std::string identifier, description;
  ChoiceToIdentifier(choice, identifier, description);
  const TModeloPart& part = *PartOfSection(section, *FState.CurrentModel());
  auto texture = CreateTexture(fileName, identifier, description, section->Text, part, ShowBox);
  TSkinNode* added = ::AddTexture(section, std::move(texture), TextureNodeText(identifier, description));
  FTree.Sort();
  return Finish(dcTree | dcSelection | dcTextures | dcPalettes | dcModified, added);
}

TCommandResult TEditorDocument::ChangeTexture(TSkinNode* texture, const std::string& choice) {
  TSkinNode* section = TextureSection(texture, false);
  if (!section) return Refuse("");
  TCommandResult check = CheckTextureChoice(section, texture, choice);
  if (!check.Done) return check;
  const bool changed = ChangeTextureKind(texture, choice);
  FTree.Sort();
  return Finish(dcTree | dcSelection | dcPalettes | (changed ? dcModified : 0u), texture);
}

TCommandResult TEditorDocument::DeleteTexture(TSkinNode* texture) {
  if (!IsTexture(texture)) return Refuse("");
  TSkinNode* section = texture->Parent();
  ::DeleteTexture(texture);
  return Finish(dcTree | dcSelection | dcTextures | dcPalettes | dcModified, nullptr, section);
}

TCommandResult TEditorDocument::ImportTextures(const std::vector<std::string>& files) {
  if (FTree.Empty() || !FState.CurrentModel() || files.empty()) return Refuse("");
  TCommandScope command(*this);
  TScopeGuard finish([this] { Finish(kImported, nullptr); });
  std::vector<std::string> skipped;
  const int imported = ::ImportTextures(FTree, *FState.CurrentModel(), files, ShowBox, &skipped);
  finish.Dismiss();
  // Files that name no section change nothing: the project is not modified by them alone.
  TCommandResult r = imported > 0 ? Finish(kImported, nullptr) : Refuse("");
  if (!skipped.empty()) {
    r.Caption = "WARNING";
    r.Message = SkippedImportMessage(skipped);
  }
  return r;
}

// ---- the session

TCommandResult TEditorDocument::Start() {
  FState.Start();
  TCommandResult r;
  r.Done = true;
  r.Changes = dcPresets;
  try {
    ReloadCatalogue();
  } catch (const std::exception& e) {
    r.Caption = "ERROR";
    r.Message = e.what();
  }
  FState.ReadGameFolder();
  ::RegisterModelExtensionType();
  return r;
}

void TEditorDocument::ReloadCatalogue() {
  // A load that reports problems has still refreshed the current model: its presets are told
  // before the report goes on to the caller.
  TScopeGuard told([this] { PresetsReloaded(); });
  FState.LoadModelExtensions();
}

TCommandResult TEditorDocument::SaveModelFile(const std::function<void(const TModelo& model)>& write) {
  if (!FState.CurrentModel() || FState.CurrentModel()->Key.empty()) return Refuse("");
  write(*FState.CurrentModel());
  ReloadCatalogue();
  TCommandResult r;
  r.Done = true;
  r.Changes = dcPresets;
  return r;
}

TCommandResult TEditorDocument::SaveModelPosition(const TModelPosition& position) {
  return SaveModelFile([&](const TModelo& model) { ::SaveModelPosition(model.Key, position); });
}

TCommandResult TEditorDocument::SaveModelPresets() {
  return SaveModelFile([](const TModelo& model) { ::SaveModelPresets(model.Key, model.Presets); });
}

// ---- the project

// A stroke still running has painted its texture already, though the mark comes at its end.
bool TEditorDocument::NeedsSaving() const {
  return FState.ProjectModified() || AnyTextureModified(FTree) || Painting();
}

std::string TEditorDocument::Caption() const {
  return ProjectCaption(FState.CurrentModel()->Name, FState.ProjectFileName(), ProgramFolder());
}

TCommandResult TEditorDocument::ChooseOptions(const TProjectOptions& options) {
  FOptions = options;
  return Finish(dcModified, nullptr);
}

TCommandResult TEditorDocument::NewProject(size_t model, const std::string& fileName) {
  if (model >= FState.Models().size() || fileName.empty()) return Refuse("");
  FState.CurrentModel()->Assign(*FState.Models()[model]);
  FState.SetProjectFileName(fileName);
  FState.SetProjectModified(false);
  FOptions = TProjectOptions();
  FTree.SetRoot(ProjectRootText(fileName, FState.CurrentModel()->Prefix));
  return Opened();
}

void TEditorDocument::SetUp(TSetUp setUp) {
  if (setUp.ProjectFileName) FState.SetProjectFileName(*setUp.ProjectFileName);
  if (setUp.GameFolder) FState.SetGameFolder(*setUp.GameFolder);
  if (setUp.Model) {
    FState.SetCurrentModel(std::move(setUp.Model));
    Opened();
  }
  if (setUp.Modified) FState.SetProjectModified(*setUp.Modified);
  Notify(dcFileName | dcTree | dcSelection, nullptr);
}

TCommandResult TEditorDocument::Opened() {
  FChoices.Forget();
  FChoices.Load(FTree);
  FChoices.Preset = FState.CurrentModel()->Presets.empty() ? -1 : 0;
  return Finish(kOpened, nullptr, FTree.Root());
}

TCommandResult TEditorDocument::LoadProject(const std::string& fileName, const TLoadProgress& progress) {
  TCommandScope command(*this);
  std::unique_ptr<TLoadedProject> project;
  try {
    project = LoadProjectFile(fileName, FState.Models(), ProgramFolder(), ShowBox, progress);
  } catch (const EModelNotInstalled& e) {
    return Refuse(e.Message);
  } catch (const ENotAProject& e) {
    return Refuse(e.Message);
  }
  // Assigned, not replaced: whoever looks at the current model keeps looking at the same object.
  FState.CurrentModel()->Assign(*project->Model);
  FState.SetProjectFileName(fileName);
  FState.SetProjectModified(false);
  // The file does not store "Do not allow download from server": it stays as it was.
  const bool notAllowDownload = FOptions.NotAllowDownload;
  FOptions = project->Options;
  FOptions.NotAllowDownload = notAllowDownload;
  FTree = std::move(project->Tree);
  TCommandResult r = Opened();
  r.Message = MissingFilesMessage(project->MissingFiles, project->UnreadableFiles);
  if (!r.Message.empty()) r.Caption = "WARNING";
  return r;
}

TCommandResult TEditorDocument::SaveProject(const TAskSaveTexture& askTexture, const TAskBitmapName& askBitmapName) {
  TCommandScope command(*this);
  if (FState.ProjectFileName().empty() || !ProjectOpen()) return Refuse("");
  SaveProjectFile(FState.ProjectFileName(), FTree, *FState.CurrentModel(), FOptions, ProgramFolder(), askTexture,
                  askBitmapName);
  FState.SetProjectModified(false);
  return Finish(0, nullptr);
}

TCommandResult TEditorDocument::SaveProjectAs(const std::string& fileName, const TAskSaveTexture& askTexture,
                                              const TAskBitmapName& askBitmapName) {
  if (fileName.empty() || !ProjectOpen()) return Refuse("");
  TCommandScope command(*this);
  FState.SetProjectFileName(fileName);
  FTree.Root()->Text = ProjectBaseName(fileName);
  Notify(dcFileName | dcTree, nullptr);
  TCommandResult r = SaveProject(askTexture, askBitmapName);
  r.Changes |= dcFileName | dcTree;
  return r;
}

void TEditorDocument::CloseProject() {
  FChoices.Forget();
  FPaletteJob.Drop();
  FPrepared.clear();
  FTree.Clear();
  Notify(dcTree | dcSelection | dcTextures | dcPalettes, nullptr);
}

void TEditorDocument::EndSession() {
  FState.Finish();
  CloseProject();
}

TCommandResult TEditorDocument::CompilePackage(bool install) {
  TCommandScope command(*this);
  ApplyJobResult(true);
  const TPackageProject project =
      BuildPackageProject(FTree, *FState.CurrentModel(), FOptions, FState.ProjectFileName(), FState.GameFolder());
  const TCompileMessage message = CompilePackageFiles(project, install);
  TCommandResult r;
  r.Done = !message.IsError;
  r.Caption = message.Caption;
  r.Message = message.Text;
  return r;
}

// ---- files changed on disk

TCommandResult TEditorDocument::ReloadChangedTextures() {
  if (!ProjectOpen()) return Refuse("");
  TCommandScope command(*this);
  // Textures read again keep the palettes of their old pixels until the palettes are built
  // again: the preview would show them in the wrong colours.
  auto reloaded = [this] { return Finish(dcTextures | (FTree.PalettesStale() ? dcPalettes : 0u), nullptr); };
  TScopeGuard announce(reloaded);
  const bool changed = FReloader.Run(FTree, *FState.CurrentModel(), ShowBox);
  announce.Dismiss();
  return changed ? reloaded() : Refuse("");
}

// ---- the painter

bool TEditorDocument::BeginStroke(TSkinNode* texture) {
  TObjetoTextura* t = TextureOf(texture);
  if (!t || Painting() || !::BeginStroke(*t, FStroke.Mask)) return false;
  FStroke.Texture = t;
  FStroke.Dabs = 0;
  return true;
}

bool TEditorDocument::PaintingOn(const TSkinNode* texture) const {
  return Painting() && TextureOf(texture) == FStroke.Texture;
}

bool TEditorDocument::StrokeDab(TSkinNode* texture, int x, int y, const TBrush& brush,
                                std::vector<TPixelRect>& changed) {
  changed.clear();
  if (!Painting() || FStroke.Applying) return Painting();
  FStroke.Applying = true;
  TScopeGuard applied([this] { FStroke.Applying = false; });
  const bool first = FStroke.Dabs == 0;
  if (!PaintingOn(texture)) return false;
  const bool laid = StrokeDrag(*FStroke.Texture, FStroke.Mask, first ? nullptr : &FStroke.Last, {x, y}, brush,
                               first ? nullptr : &FStroke.Brush, changed);
  // Even a drag that could not go on may have painted part of its way.
  texture->PixelsChanged();
  if (!laid) return false;
  FStroke.Brush = brush;
  FStroke.Last = {x, y};
  ++FStroke.Dabs;
  return true;
}

TCommandResult TEditorDocument::EndStroke() {
  if (!Painting()) return Refuse("");
  FStroke.Texture->Modified = true;
  FStroke.Texture = nullptr;
  // The palettes follow the stroke once it ends, not on every dab: those of the painted
  // texture's group, and of any other group whose textures changed since its palette was built.
  StartPaletteWork();
  TCommandResult r;
  r.Done = true;
  r.Changes = PalettesPending() ? 0u : unsigned{dcPalettes};
  if (r.Changes) Notify(dcPalettes, nullptr);
  return r;
}

void TEditorDocument::StartPaletteWork() {
  const std::vector<TPaletteGroup> groups = StalePaletteGroups(FTree, PaletteMode());
  int64_t pixels = 0;
  for (const TPaletteGroup& g : groups)
    for (const TSkinNode* n : g) pixels += int64_t{n->Texture->Bitmap->Width()} * n->Texture->Bitmap->Height();
  // Small groups are built at once, and their preview pictures made as the preview needs them.
  const bool apart = pixels > kPaletteWorkInline;
  // The work gets copies, each group with the stamps of its textures: the user may paint on, or a
  // command change the tree, while it runs.
  struct TGroupCopy {
    std::vector<TBitmap> Bitmaps;
    std::vector<TTextureStamp> Stamps;
  };
  std::vector<TGroupCopy> copies;
  for (const TPaletteGroup& g : groups) {
    copies.push_back({{}, GroupStamps(g)});
    for (const TSkinNode* n : g) copies.back().Bitmaps.push_back(*n->Texture->Bitmap);
  }
  auto work = [copies = std::move(copies), apart](std::stop_token stop) mutable {
    TPaletteWork done;
    for (TGroupCopy& group : copies) {
      std::vector<const TBitmap*> bitmaps;
      for (const TBitmap& b : group.Bitmaps) bitmaps.push_back(&b);
      if (stop.stop_requested()) break;
      HPALETTE palette = GroupPalette(bitmaps, stop);
      if (!palette) break;
      done.Palettes.push_back({palette, std::move(group.Stamps)});
      // What the preview will show of them, made here rather than on the window's thread.
      for (TBitmap& b : group.Bitmaps)
        if (apart && !IsPaletteFormat(b.PixelFormat()) && !stop.stop_requested()) {
          TSlotPicture picture = SlotPictureOf(b, palette);
          done.Pictures.push_back({std::move(b), palette, std::move(picture)});
        }
      // This group's copies are not needed any more.
      group.Bitmaps = {};
    }
    return done;
  };
  if (apart) {
    FPaletteJob.Start(std::move(work));
  } else {
    FPaletteJob.Drop();
    ApplyBuiltPalettes(FTree, PaletteMode(), work({}).Palettes);
    FPrepared.clear();
  }
}

bool TEditorDocument::ApplyJobResult(bool wait) {
  std::optional<TPaletteWork> work = wait ? FPaletteJob.Wait() : FPaletteJob.Take();
  if (!work) return false;
  ApplyBuiltPalettes(FTree, PaletteMode(), std::move(work->Palettes));
  // Groups whose textures changed while their palettes were built are built again (a stroke
  // running starts that at its end).
  if (!Painting() && !StalePaletteGroups(FTree, PaletteMode()).empty()) StartPaletteWork();
  FPrepared = std::move(work->Pictures);
  Notify(dcPalettes, nullptr);
  return true;
}

bool TEditorDocument::TakePalettes() { return !CommandRunning() && ApplyJobResult(false); }

void TEditorDocument::WaitForPalettes() {
  if (!CommandRunning()) ApplyJobResult(true);
}

TCommandResult TEditorDocument::UndoStroke(TSkinNode* texture) {
  TObjetoTextura* t = TextureOf(texture);
  if (!t || Painting() || !UndoTexture(*t)) return Refuse("");
  texture->PixelsChanged();
  return Finish(dcTextures | dcPalettes, texture);
}

TCommandResult TEditorDocument::RevertTexture(TSkinNode* texture) {
  TObjetoTextura* t = TextureOf(texture);
  const TModeloPart* part = t ? PartOfSection(texture->Parent(), *FState.CurrentModel()) : nullptr;
  if (!part || Painting()) return Refuse("");
  TCommandScope command(*this);
  ::RevertTexture(*t, texture->Parent()->Text, *part, ShowBox);
  texture->PixelsChanged();
  return Finish(dcTextures | dcPalettes, texture);
}

TCommandResult TEditorDocument::SaveTexture(TSkinNode* texture, const TAskBitmapName& askName) {
  TObjetoTextura* t = TextureOf(texture);
  if (!t || Painting()) return Refuse("");
  TCommandScope command(*this);
  const TTextureSaved saved = ::SaveTexture(*t, askName);
  if (saved == TTextureSaved::Cancelled) return Refuse("");
  // A texture that lives in another file now: the project must store that name.
  return Finish(saved == TTextureSaved::NewFile ? dcModified : 0u, texture);
}

// ---------------------------------------------------------------- the preview panel

void TEditorDocument::RefreshSkinChoices() {
  FChoices.Refresh(FTree);
  Notify(dcSelection, nullptr);
}

void TEditorDocument::ChooseSkin(int index) {
  FChoices.ChooseSkin(FTree, index);
  Notify(dcSelection, nullptr);
}

void TEditorDocument::ChooseTeam(int index) {
  FChoices.Team = index;
  Notify(dcSelection, nullptr);
}

void TEditorDocument::ChooseFace(int index) {
  FChoices.Face = index;
  Notify(dcSelection, nullptr);
}

void TEditorDocument::ChooseMasking(bool enabled) {
  FChoices.Masking = enabled;
  Notify(dcSelection, nullptr);
}

void TEditorDocument::ChooseIncrements(int index) { FChoices.Increments = index; }

void TEditorDocument::ChoosePreset(int index) {
  if (index == FChoices.Preset) return;
  FChoices.Preset = index;
  Notify(dcPresets, nullptr);
}

void TEditorDocument::PresetsReloaded() {
  const int count = FState.CurrentModel() ? static_cast<int>(FState.CurrentModel()->Presets.size()) : 0;
  if (FChoices.Preset >= count) FChoices.Preset = -1;
  Notify(dcPresets, nullptr);
}

bool TEditorDocument::CanRemovePreset() const {
  return FState.CurrentModel() && ::CanRemovePreset(FState.CurrentModel()->Presets);
}

void TEditorDocument::AddPreset(const std::string& name, const TAffineVector& camera, const TAffineVector& target) {
  FChoices.Preset = ::AddPreset(FState.CurrentModel()->Presets, name, camera, target);
  Notify(dcPresets, nullptr);
}

bool TEditorDocument::RemovePreset() {
  if (!::RemovePreset(FState.CurrentModel()->Presets, FChoices.Preset)) return false;
  FChoices.Preset = 0;
  Notify(dcPresets, nullptr);
  return true;
}

void TEditorDocument::RenamePreset(const std::string& name) {
  if (::RenamePreset(FState.CurrentModel()->Presets, FChoices.Preset, name)) Notify(dcPresets, nullptr);
}

void TEditorDocument::SetPreset(const TAffineVector& camera, const TAffineVector& target) {
  ::SetPreset(FState.CurrentModel()->Presets, FChoices.Preset, camera, target);
}
