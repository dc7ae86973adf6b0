#include "editor/PackageDescription.h"

#include "editor/PaletteGroups.h"
#include "editor/SkinNaming.h"

TPackageProject BuildPackageProject(TSkinTree& tree, const TModelo& model, const TProjectOptions& options,
                                    const std::string& projectFileName, const std::string& gameFolder) {
  BuildStalePalettes(tree, PaletteModeFromIndex(options.ReducePalettes));
  TPackageProject p;
  p.ProjectFileName = projectFileName;
  p.GameFolder = gameFolder;
  p.Model.FormatTeam = model.FormatTeam;
  p.Model.FormatFace = model.FormatFace;
  p.Model.FormatDefault = model.FormatDefault;
  p.Model.FormatTalk = model.FormatTalk;
  for (int i = 0; i < model.PartCount(); ++i) p.Model.SectionFlags.push_back(model.Part(i)->Flags);
  p.Options.OneMipMap = options.OnlyFirstMipMap;
  p.Options.NotAllowDownload = options.NotAllowDownload;
  p.Options.ClientOptional = options.ClientOptional;
  p.Options.ReducePalettes = PaletteModeFromIndex(options.ReducePalettes);
  if (!tree.Root()) return p;
  for (const auto& skinNode : tree.Root()->Children()) {
    TPackageSkin skin;
    SplitSkinText(skinNode->Text, skin.Description, skin.Code);
    for (const auto& sectionNode : skinNode->Children()) {
      TPackageSkinSection section;
      section.Section = sectionNode->SectionNumber;
      for (const auto& textureNode : sectionNode->Children()) {
        if (!textureNode->Texture) continue;
        const TObjetoTextura& t = *textureNode->Texture;
        section.Textures.push_back({t.Identifier, t.Description, t.Bitmap.get(), t.Palette});
      }
      skin.Sections.push_back(std::move(section));
    }
    p.Skins.push_back(std::move(skin));
  }
  return p;
}
