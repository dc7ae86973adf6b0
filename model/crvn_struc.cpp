#include "model/crvn_struc.h"

#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "model/system2.h"

void TModeloPart::Assign(const TModeloPart& source) {
  Flags = source.Flags;
  Width = source.Width;
  Height = source.Height;
  WireBitmap = source.WireBitmap;
}

std::string TModeloPart::GetDescription() const {
  std::string r =
      "Section " + std::to_string(Section()) + ", Textures are " + std::to_string(Width) + "x" + std::to_string(Height);
  static const struct {
    uint32_t Bit;
    const char* Text;
  } kOptions[] = {
      {mpTEAM, ", Allows Teams"},
      {mpFACE, ", Allows Faces"},
      {mpONEMIPMAP, ", Creates One MipMap"},
      {mpLODSETWORLD, ", Sets LODSet to World"},
      {mpMASKED, ", Textures are masked"},
      {mpCANNOTRESAMPLE, ", Textures cannot be resampled"},
      {mpTALKTEXTURE, ", Talk Texture"},
  };
  for (const auto& o : kOptions)
    if (Flags & o.Bit) r += o.Text;
  return r;
}

void TModelo::Assign(const TModelo& source) {
  if (&source == this) return;
  Name = source.Name;
  Prefix = source.Prefix;
  Key = source.Key;
  File3D = source.File3D;
  LodMesh = source.LodMesh;
  ScaleX = source.ScaleX;
  ScaleY = source.ScaleY;
  ScaleZ = source.ScaleZ;
  OffsetX = source.OffsetX;
  OffsetY = source.OffsetY;
  OffsetZ = source.OffsetZ;
  Pitch = source.Pitch;
  Roll = source.Roll;
  Turn = source.Turn;
  TalkTextureIndex = source.TalkTextureIndex;
  HasMaskedSection = source.HasMaskedSection;
  FormatTeam = source.FormatTeam;
  FormatFace = source.FormatFace;
  FormatDefault = source.FormatDefault;
  FormatTalk = source.FormatTalk;
  Presets = source.Presets;
  std::vector<TPartEntry> parts;
  parts.reserve(source.Parts.size());
  for (const TPartEntry& e : source.Parts) {
    auto p = std::make_unique<TModeloPart>();
    p->Assign(*e.Part);
    parts.push_back({e.Name, std::move(p)});
  }
  Parts = std::move(parts);
}

std::string TModelo::KeyFileName() const { return GetToken(Key, '|', 0); }

std::string TModelo::KeySection() const { return GetTokenRest(Key, '|', 0); }

std::string TModelo::WireFileName(int section) const {
  std::string folder = ExtractFilePath(KeyFileName());
  return ToNativePath(folder + Prefix + "Wire" + std::to_string(section) + ".bmp");
}

void TModelo::AddPart(const std::string& name, uint32_t flags, int width, int height,
                      std::vector<std::string>* problems) {
  auto part = std::make_unique<TModeloPart>();
  part->Flags = flags;
  part->Width = width;
  part->Height = height;
  std::string wire = ResolveCaseInsensitive(WireFileName(static_cast<int>(flags & mpSectionMask)));
  if (FileExists(wire)) {
    // The section stays usable without its wire: the preview draws it without the overlay.
    try {
      auto bmp = std::make_shared<TBitmap>();
      bmp->LoadFromFile(wire);
      // Kept as the file holds it (4 bits a pixel as the model compiler writes them): widening
      // every section of every installed model at start-up made most of the start's time and
      // memory, and whoever draws the overlay widens its own copy. A wire too large to widen is
      // refused now, as widening it here would have been.
      if (BytesPerScanline(static_cast<uint64_t>(bmp->Width()), 24) * static_cast<uint64_t>(bmp->Height()) >
          (1ull << 30))
        throw EOutOfResources("Not enough storage is available to process this command");
      part->WireBitmap = std::move(bmp);
    } catch (const std::exception& e) {
      if (problems) {
        // The line names the file once; the bitmap reader's message may end with it too.
        std::string reason = e.what();
        const std::string named = " (" + wire + ")";
        if (reason.size() > named.size() && reason.compare(reason.size() - named.size(), named.size(), named) == 0)
          reason.resize(reason.size() - named.size());
        problems->push_back("Wire bitmap \"" + wire + "\" cannot be read: " + reason +
                            " (the section is drawn without it)");
      }
    }
  }
  Parts.push_back({name, std::move(part)});
}

int TModelo::PartIndexOfSection(int section) const {
  for (size_t i = 0; i < Parts.size(); ++i)
    if (Parts[i].Part->Section() == section) return static_cast<int>(i);
  return -1;
}

int TModelo::SectionOfPart(const std::string& name) const {
  for (const TPartEntry& e : Parts)
    if (e.Name == name) return e.Part->Section();
  return -1;
}
