// Reading GIF files into the object tree: header, frames with their extensions, the trailer.
// The LZW decoder is in GIFDecoder.cpp.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "codecs/GIFImage.h"

namespace {

bool ReadByte(TStream& Stream, uint8_t& B) { return Stream.Read(&B, 1) == 1; }
void StepBack(TStream& Stream) { Stream.Seek(-1, TSeekOrigin::soCurrent); }

bool IsGIFSignature(const char* Sig) {
  return std::toupper(static_cast<unsigned char>(Sig[0])) == 'G' &&
         std::toupper(static_cast<unsigned char>(Sig[1])) == 'I' &&
         std::toupper(static_cast<unsigned char>(Sig[2])) == 'F';
}

struct TLabelEntry {
  uint8_t Label;
  TGIFExtensionKind Kind;
};
struct TAppEntry {
  uint8_t Identifier[11];
  TGIFExtensionKind Kind;
};

std::vector<TLabelEntry>& ExtensionList() {
  static std::vector<TLabelEntry> list = {{0x01, TGIFExtensionKind::Text},
                                          {0xF9, TGIFExtensionKind::GraphicControl},
                                          {0xFE, TGIFExtensionKind::Comment},
                                          {0xFF, TGIFExtensionKind::Application}};
  return list;
}

std::vector<TAppEntry>& AppExtensionList() {
  static std::vector<TAppEntry> list = [] {
    std::vector<TAppEntry> l(2);
    std::memcpy(l[0].Identifier, "NETSCAPE2.0", 11);
    l[0].Kind = TGIFExtensionKind::NSLoop;
    std::memcpy(l[1].Identifier, "ANIMEXTS1.0", 11);
    l[1].Kind = TGIFExtensionKind::NSLoop;
    return l;
  }();
  return list;
}

TGIFExtensionKind FindApplication(TStream& Stream) {
  uint8_t size;
  if (!ReadByte(Stream, size)) return TGIFExtensionKind::None;
  uint8_t id[11];
  if (size == 10) return Stream.Read(id, 10) == 10 ? TGIFExtensionKind::UnknownApp : TGIFExtensionKind::None;
  // A known identifier in a longer block is still that extension (the rest of the block is
  // skipped): kept as an unknown one, it would be written back with block size 11 and then
  // read as the known one, which may refuse its data.
  if (size >= 11 && Stream.Read(id, 11) == 11) {
    const auto& list = AppExtensionList();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
      if (std::memcmp(it->Identifier, id, 11) == 0) return it->Kind;
    return size == 11 ? TGIFExtensionKind::UnknownApp : TGIFExtensionKind::Application;
  }
  return TGIFExtensionKind::Application;
}

std::unique_ptr<TGIFExtension> CreateExtension(TGIFExtensionKind Kind, TGIFSubImage* Frame) {
  switch (Kind) {
    case TGIFExtensionKind::Text: return std::make_unique<TGIFTextExtension>(Frame);
    case TGIFExtensionKind::GraphicControl: return std::make_unique<TGIFGraphicControlExtension>(Frame);
    case TGIFExtensionKind::Comment: return std::make_unique<TGIFCommentExtension>(Frame);
    case TGIFExtensionKind::Application: return std::make_unique<TGIFApplicationExtension>(Frame);
    case TGIFExtensionKind::UnknownApp: return std::make_unique<TGIFUnknownAppExtension>(Frame);
    case TGIFExtensionKind::NSLoop: return std::make_unique<TGIFAppExtNSLoop>(Frame);
    case TGIFExtensionKind::None: break;
  }
  return nullptr;
}

// Number of colours of a table size code, checked as the reader requires.
int TableColors(uint8_t Packed, const char* Where) {
  const int n = 2 << (Packed & 7);
  if (n < 2 || n > 256) GIFError(std::string("Invalid number of colors specified in ") + Where);
  return n;
}

}  // namespace

void RegisterGIFExtension(uint8_t Label, TGIFExtensionKind Kind) { ExtensionList().push_back({Label, Kind}); }

void RegisterGIFAppExtension(const char (&Identifier)[12], TGIFExtensionKind Kind) {
  TAppEntry e;
  std::memcpy(e.Identifier, Identifier, 11);
  e.Kind = Kind;
  AppExtensionList().push_back(e);
}

TGIFExtensionKind FindGIFExtension(TStream& Stream) {
  const int64_t pos = Stream.Position();
  TGIFExtensionKind kind = TGIFExtensionKind::None;
  uint8_t label;
  if (ReadByte(Stream, label)) {
    const auto& list = ExtensionList();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
      if (it->Label == label) {
        kind = it->Kind;
        break;
      }
    if (kind == TGIFExtensionKind::Application) kind = FindApplication(Stream);
  }
  Stream.SetPosition(pos);
  return kind;
}

// --- Header ---

void TGIFHeader::LoadFromStream(TStream& Stream) {
  const int64_t pos = Stream.Position();
  char sig[6];
  if (Stream.Read(sig, 6) != 6 || !IsGIFSignature(sig)) {
    // Some files carry four bytes in front of the signature.
    Stream.SetPosition(pos + 4);
    if (Stream.Read(sig, 6) != 6 || !IsGIFSignature(sig)) GIFError("Invalid GIF signature");
  }
  uint8_t d[7];
  GIFReadBuffer(Stream, d, 7);
  Width = static_cast<uint16_t>(d[0] | (d[1] << 8));
  Height = static_cast<uint16_t>(d[2] | (d[3] << 8));
  Packed = d[4];
  BackgroundColorIndex = d[5];
  AspectRatio = d[6];
  if (Packed & 0x80)
    ColorMap.LoadFromStream(Stream, TableColors(Packed, "Screen Descriptor"));
  else
    ColorMap.Clear();
}

// --- Extensions ---

void TGIFExtension::LoadFromStream(TStream& Stream) {
  uint8_t b[2];
  GIFReadBuffer(Stream, b, 2);
  if (b[0] != '!') GIFError("Invalid extension introducer");
  if (b[1] != GetExtensionType()) GIFError("Internal error: Extension Instance does not match Extension Label");
}

void TGIFGraphicControlExtension::LoadFromStream(TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  uint8_t d[6];
  if (Stream.Read(d, 6) < 6) {
    Warning(1, "Premature end of data");
    return;
  }
  BlockSize = d[0];
  Packed = d[1];
  Delay = static_cast<uint16_t>(d[2] | (d[3] << 8));
  TransparentColorIndex = d[4];
  Terminator = d[5];
  if (HasTransparency()) SubImage->Transparent = true;
}

void TGIFTextExtension::LoadFromStream(TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  GIFReadBuffer(Stream, Block, sizeof Block);
  GIFReadStrings(Stream, Lines);
}

void TGIFCommentExtension::LoadFromStream(TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  GIFReadStrings(Stream, Lines);
}

void TGIFApplicationExtension::LoadFromStream(TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  const uint8_t size = GIFReadByte(Stream);
  std::memset(Identifier, 0, sizeof Identifier);
  if (size == 10) {
    GIFReadBuffer(Stream, Identifier, 10);
  } else if (size < 10) {
    GIFError("Unsupported Application Extension block size");
  } else {
    GIFReadBuffer(Stream, Identifier, 11);
    uint8_t skip[255];
    Stream.Read(skip, size - 11u);
  }
  LoadData(Stream);
}

void TGIFApplicationExtension::LoadData(TStream& Stream) {
  Blocks.clear();
  uint8_t count;
  while (ReadByte(Stream, count) && count != 0) {
    std::vector<uint8_t> block(count);
    const size_t got = Stream.Read(block.data(), count);
    block.resize(got);
    Blocks.push_back(std::move(block));
    if (got < count) break;
  }
}

void TGIFAppExtNSLoop::LoadData(TStream& Stream) {
  uint8_t count;
  while (ReadByte(Stream, count) && count != 0) {
    uint8_t id;
    GIFReadBuffer(Stream, &id, 1);
    int rest = count - 1;
    uint8_t d[255];
    if ((id & 7) == 1) {
      if (rest < 2) GIFError("Invalid GIF data");
      GIFReadBuffer(Stream, d, 2);
      Loops = static_cast<uint16_t>(d[0] | (d[1] << 8));
      rest -= 2;
    } else if ((id & 7) == 2) {
      if (rest < 4) GIFError("Invalid GIF data");
      GIFReadBuffer(Stream, d, 4);
      BufferSize = static_cast<uint32_t>(d[0]) | (static_cast<uint32_t>(d[1]) << 8) |
                   (static_cast<uint32_t>(d[2]) << 16) | (static_cast<uint32_t>(d[3]) << 24);
      rest -= 4;
    }
    if (rest > 0) GIFReadBuffer(Stream, d, static_cast<size_t>(rest));
  }
}

// --- Frames ---

void TGIFSubImage::LoadExtensions(TStream& Stream) {
  uint8_t b;
  if (!ReadByte(Stream, b)) return;
  while (b != ',' && b != ';') {
    if (b != '!') {
      Warning(1, "Invalid extension introducer");
      break;
    }
    const TGIFExtensionKind kind = FindGIFExtension(Stream);
    if (kind == TGIFExtensionKind::None) GIFError("Unknown extension type");
    StepBack(Stream);
    auto ext = CreateExtension(kind, this);
    ext->LoadFromStream(Stream);
    Extensions.push_back(std::move(ext));
    if (!ReadByte(Stream, b)) return;
  }
  StepBack(Stream);
}

void TGIFSubImage::LoadFromStream(TStream& Stream) {
  Clear();
  LoadExtensions(Stream);
  uint8_t b;
  if (!ReadByte(Stream, b)) return;
  StepBack(Stream);
  if (b == ';' || b == 0) return;
  uint8_t d[10];
  GIFReadBuffer(Stream, d, 10);
  Left = static_cast<uint16_t>(d[1] | (d[2] << 8));
  Top = static_cast<uint16_t>(d[3] | (d[4] << 8));
  Width = static_cast<uint16_t>(d[5] | (d[6] << 8));
  Height = static_cast<uint16_t>(d[7] | (d[8] << 8));
  Packed = d[9];
  if (Width == 0 || Height == 0) {
    Width = Image->Header.Width;
    Height = Image->Header.Height;
    Warning(1, "Image exceeds Logical Screen size");
  }
  if (Packed & 0x80) ColorMap.LoadFromStream(Stream, TableColors(Packed, "Image Descriptor"));
  Decompress(Stream);
}

void TGIFTrailer::LoadFromStream(TStream& Stream) {
  uint8_t b;
  if (ReadByte(Stream, b) && b != ';') Warning(1, "Invalid Image trailer");
}

// --- The image ---

void TGIFImage::LoadFromStream(TStream& Stream) {
  Progress(TProgressStage::psStarting, 0, false, "Loading...");
  Clear();
  const int64_t start = Stream.Position();
  try {
    Header.LoadFromStream(Stream);
    const int64_t size = std::max<int64_t>(Stream.Size(), 1);
    uint8_t b = 0;
    auto next = [&] {
      do {
        if (!ReadByte(Stream, b)) return false;
      } while (b == 0);
      return true;
    };
    bool more = next();
    while (more && b != ';') {
      StepBack(Stream);
      if (b != '!' && b != ',') {
        Warning(1, "Unknown GIF block type");
        StepBack(Stream);
        break;
      }
      auto frame = std::make_unique<TGIFSubImage>(this);
      frame->LoadFromStream(Stream);
      Images.push_back(std::move(frame));
      Progress(TProgressStage::psRunning, static_cast<int>((Stream.Position() * 100 + size / 2) / size), false,
               "Loading...");
      more = next();
    }
    if (more) {
      if (b == ';') StepBack(Stream);
      TGIFTrailer trailer(this);
      trailer.LoadFromStream(Stream);
    }
  } catch (...) {
    Stream.SetPosition(start);
    Progress(TProgressStage::psEnding, 0, true, "Loading...");
    throw;
  }
  Progress(TProgressStage::psEnding, 100, true, "Loading...");
}

void TGIFImage::LoadFromFile(const std::string& FileName) {
  TMemoryStream s(ReadWholeFile(FileName));
  LoadFromStream(s);
}
