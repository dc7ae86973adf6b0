// Reading GIF files: frames of files made by gifsicle, giflib and ImageMagick against giflib's
// own decoder (gif2rgb), streams assembled by hand, and malformed input.
#include <cstring>

#include "GIFTestSupport.h"
#include "codecs/GIFStream.h"
#include "platform/Streams.h"

using namespace giftest;

namespace {

struct TPeerCase {
  const char* Name;
  const char* Make;  // shell commands run in the scratch folder; they leave in.gif
  int Frame;         // the frame compared
  size_t Frames;     // frames the file holds
};

// The pixels of frame `frame` as giflib decodes them: gifsicle extracts the frame, gif2rgb
// renders it; the frame's rectangle is cut out of the screen.
Bytes PeerFrame(const TScratch& dir, int frame, const TGIFSubImage& ours) {
  const std::string one = dir / "one.gif", rgb = dir / "one.rgb";
  if (Shell("/usr/bin/gifsicle '" + (dir / "in.gif") + "' '#" + std::to_string(frame) + "' > '" + one + "'") != 0)
    return {};
  if (Shell("/usr/bin/gif2rgb -1 -o '" + rgb + "' '" + one + "'") != 0) return {};
  const Bytes screen = ReadFile(rgb), gif = ReadFile(one);
  if (gif.size() < 10) return {};
  const int sw = gif[6] | (gif[7] << 8);
  Bytes out;
  for (int y = 0; y < ours.Height; ++y) {
    const size_t at = (static_cast<size_t>(ours.Top + y) * sw + ours.Left) * 3;
    if (at + ours.Width * 3u > screen.size()) return {};
    out.insert(out.end(), screen.begin() + static_cast<long>(at),
               screen.begin() + static_cast<long>(at + ours.Width * 3u));
  }
  return out;
}

}  // namespace

TEST(GIFRead, FramesMatchGiflib) {
  GIF_REQUIRE_TOOLS();
  const TPeerCase cases[] = {
      {"interlaced, 256 colours", "gifsicle --interlace w.gif > in.gif", 0, 1},
      {"delays, loop count, disposal", "gifsicle --delay 7 --loopcount=3 --disposal=background r.gif f.gif > in.gif", 1,
       2},
      {"local colour table of a later frame", "gifsicle --no-warnings w.gif r.gif > in.gif", 1, 2},
      {"optimised frames with transparency", "gifsicle -O2 r.gif r2.gif > in.gif", 1, 2},
      {"interlaced later frame", "gifsicle --interlace --no-warnings w.gif r.gif > in.gif", 1, 2},
      {"encoded by giflib", "gifsicle r.gif f.gif | gifbuild -d | gifbuild > in.gif", 0, 2},
      {"two colours by ImageMagick", "/usr/bin/convert rose: -monochrome in.gif", 0, 1},
  };
  TScratch dir;
  const std::string base = "cd '" + dir.Dir.string() + "' && /usr/bin/convert rose: -colors 64 r.gif && " +
                           "/usr/bin/convert rose: -flop -colors 32 f.gif && " +
                           "/usr/bin/convert rose: -fill red -draw 'rectangle 10,10,20,20' -colors 64 r2.gif && " +
                           "/usr/bin/convert wizard: -resize 60x80! -colors 256 w.gif";
  ASSERT_EQ(Shell(base), 0);
  for (const TPeerCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_EQ(Shell("cd '" + dir.Dir.string() + "' && " + c.Make), 0);
    std::vector<std::string> warnings;
    auto g = Load(ReadFile(dir / "in.gif"), &warnings);
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    ASSERT_EQ(g->Images.size(), c.Frames);
    TGIFSubImage& frame = *g->Images[static_cast<size_t>(c.Frame)];
    const Bytes peer = PeerFrame(dir, c.Frame, frame);
    ASSERT_FALSE(peer.empty());
    TBitmap ours;
    frame.AssignTo(ours);
    EXPECT_TRUE(RGBOf(ours) == peer);
  }
  // The animation's own settings come through.
  ASSERT_EQ(Shell("cd '" + dir.Dir.string() + "' && " + cases[1].Make), 0);
  auto g = Load(ReadFile(dir / "in.gif"));
  const TGIFSubImage& f0 = *g->Images[0];
  ASSERT_NE(f0.GraphicControlExtension, nullptr);
  EXPECT_EQ(f0.GraphicControlExtension->Delay, 7);
  EXPECT_EQ(f0.GraphicControlExtension->Disposal(), dmBackground);
  const TGIFAppExtNSLoop* loop = nullptr;
  for (const auto& e : f0.Extensions)
    if (auto* l = dynamic_cast<const TGIFAppExtNSLoop*>(e.get())) loop = l;
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(loop->Loops, 3);
}

// Streams put together byte by byte, with what the reader must make of them.
TEST(GIFRead, HandmadeStreams) {
  const Bytes px12 = {0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2};  // 4 x 3
  const Bytes frame = Cat({Descriptor(0, 0, 4, 3), LiteralLZW(2, px12)});
  struct TCase {
    const char* Name;
    Bytes File;
    Bytes Pixels;         // expected indices of frame 0
    const char* Warning;  // expected warning, or null for none
  };
  // Rows 0..4 stored in the interlaced order 0, 4, 2, 1, 3.
  const Bytes interlacedStream = {0, 0, 4, 4, 2, 2, 1, 1, 3, 3};
  const TCase cases[] = {
      {"one-byte sub-blocks", Cat({Header(4, 3), Descriptor(0, 0, 4, 3), LiteralLZW(2, px12, 1), {';'}}), px12,
       nullptr},
      {"lower-case signature, any version", Cat({Header(4, 3, 2, "gif12x"), frame, {';'}}), px12, nullptr},
      {"four bytes before the signature", Cat({{1, 2, 3, 4}, Header(4, 3), frame, {';'}}), px12, nullptr},
      {"no trailer", Cat({Header(4, 3), frame}), px12, nullptr},
      {"zero bytes between blocks", Cat({Header(4, 3), {0, 0}, frame, {0, ';'}}), px12, nullptr},
      {"frame of size 0 takes the screen's", Cat({Header(4, 3), Descriptor(0, 0, 0, 0), LiteralLZW(2, px12), {';'}}),
       px12, "Image exceeds Logical Screen size"},
      {"interlaced rows",
       Cat({Header(2, 5, 3), Descriptor(0, 0, 2, 5, 0x40), LiteralLZW(3, interlacedStream), {';'}}),
       {0, 0, 1, 1, 2, 2, 3, 3, 4, 4},
       nullptr},
      {"data stops early: the rest is the transparent index",
       Cat({Header(4, 3, 3), GCE(1, 0, 3), Descriptor(0, 0, 4, 3), LiteralLZW(3, {0, 1, 2}, 255, false), {';'}}),
       {0, 1, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3},
       "Decoder bit buffer under-run"},
      {"code beyond the table ends the frame",
       Cat({Header(4, 1), Descriptor(0, 0, 4, 1), {2, 2, 0xCC, 0x01, 0}, {';'}}),
       {1, 0, 0, 0},
       "Invalid decoder table entry"},
      {"unknown block type", Cat({Header(4, 3), frame, {'x', ';'}}), px12, "Unknown GIF block type"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> warnings;
    auto g = Load(c.File, &warnings);
    ASSERT_FALSE(g->Images.empty());
    EXPECT_EQ(g->Images[0]->Data, c.Pixels);
    // Every frame here covers its screen (a frame of size 0 too, with sides not swapped).
    EXPECT_EQ(g->Images[0]->Width, g->Width());
    EXPECT_EQ(g->Images[0]->Height, g->Height());
    if (c.Warning)
      EXPECT_NE(std::find(warnings.begin(), warnings.end(), c.Warning), warnings.end());
    else
      EXPECT_TRUE(warnings.empty()) << warnings.front();
  }
}

TEST(GIFRead, FirstFrameOnTheLogicalScreen) {
  // A 2 x 1 frame at (3, 1) of a 6 x 3 screen; a 10-byte application identifier is kept.
  const Bytes app10 = {'!', 0xFF, 10, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '1', '2', 1, 9, 0};
  auto g = Load(Cat({Header(6, 3), app10, Descriptor(3, 1, 2, 1), LiteralLZW(2, {3, 1}), {';'}}));
  ASSERT_EQ(g->Images.size(), 1u);
  ASSERT_EQ(g->Images[0]->Extensions.size(), 1u);
  EXPECT_NE(dynamic_cast<TGIFUnknownAppExtension*>(g->Images[0]->Extensions[0].get()), nullptr);
  TBitmap b;
  g->AssignTo(b);
  ASSERT_EQ(b.Width(), 6);
  ASSERT_EQ(b.Height(), 3);
  EXPECT_EQ(b.Pixel(3, 1), clWhite);
  EXPECT_EQ(b.Pixel(4, 1), RGBColor(85, 85, 85));
  EXPECT_EQ(b.Pixel(2, 1), clBlack);
}

// Malformed input: each stream either raises the reader's error or loads; nothing is read out
// of bounds (the sanitizer build runs this too).
TEST(GIFRead, MalformedStreams) {
  const Bytes good = Cat({Header(4, 3), Descriptor(0, 0, 4, 3), LiteralLZW(2, Bytes(12, 1)), {';'}});
  struct TCase {
    const char* Name;
    Bytes File;
    const char* Error;
  };
  const TCase cases[] = {
      {"not a GIF", {'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8, 9}, "Invalid GIF signature"},
      {"short screen descriptor", {'G', 'I', 'F', '8', '9', 'a', 1, 0}, "Premature end of data"},
      {"short global table", Bytes(good.begin(), good.begin() + 15), "Premature end of data"},
      {"minimum code size above 11", Cat({Header(4, 3), Descriptor(0, 0, 4, 3), {12, 1, 0, 0}, {';'}}),
       "Invalid GIF data"},
      {"short image descriptor", Cat({Header(4, 3), {0x2C, 0, 0, 4}}), "Premature end of data"},
      {"unknown extension label", Cat({Header(4, 3), {'!', 0x77, 0}, {';'}}), "Unknown extension type"},
      {"application block size 5", Cat({Header(4, 3), {'!', 0xFF, 5, 1, 2, 3, 4, 5, 0}, {';'}}),
       "Unsupported Application Extension block size"},
      {"loop sub-block too short",
       Cat({Header(4, 3), {'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 2, 1, 0, 0}, {';'}}),
       "Invalid GIF data"},
      {"huge frame with no data to fill it", Cat({Header(4, 3), Descriptor(0, 0, 65535, 65535), {2, 1, 4, 0}, {';'}}),
       "Image size 65535x65535 exceeds what its data can fill"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TGIFImage g;
    TMemoryStream s(c.File);
    try {
      g.LoadFromStream(s);
      ADD_FAILURE() << "loaded";
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), c.Error);
    }
    EXPECT_EQ(s.Position(), 0);
  }
  // Every prefix of a good file loads what it holds or raises the reader's own error.
  for (size_t n = 0; n < good.size(); ++n) {
    TMemoryStream s(Bytes(good.begin(), good.begin() + static_cast<long>(n)));
    TGIFImage g;
    try {
      g.LoadFromStream(s);
      TBitmap b;
      g.AssignTo(b);
    } catch (const GIFException&) {
    }
  }
}

TEST(GIFRead, NoColourTableRaisesOnRendering) {
  Bytes file = Cat({Header(4, 3), Descriptor(0, 0, 4, 3), LiteralLZW(2, Bytes(12, 1)), {';'}});
  file[10] = 0;                                      // no global table flag
  file.erase(file.begin() + 13, file.begin() + 25);  // and no table
  auto g = Load(file);
  TBitmap b;
  try {
    g->AssignTo(b);
    ADD_FAILURE() << "rendered";
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "No global or local color table defined");
  }
}

TEST(GIFStream, ColourBitsAndSubBlocks) {
  EXPECT_EQ(GIFColorBits(0), 0);
  EXPECT_EQ(GIFColorBits(2), 1);
  EXPECT_EQ(GIFColorBits(3), 2);
  EXPECT_EQ(GIFColorBits(256), 8);
  EXPECT_EQ(GIFColorBits(257), 9);
  TMemoryStream s;
  GIFWriteStrings(s, {"first", "", std::string(300, 'x'), std::string("a\0b", 3)});
  EXPECT_EQ(s.Size(), 6 + 256 + 46 + 4 + 1);  // an empty line takes no block
  s.SetPosition(0);
  std::vector<std::string> lines{"stale"};
  GIFReadStrings(s, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"first", std::string(255, 'x'), std::string(45, 'x'), "a"}));
  TMemoryStream cut(std::vector<uint8_t>{3, 'o', 'k', '!', 5, 'p', 'a'});  // ends inside a block
  GIFReadStrings(cut, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"ok!", "pa"}));
  char buf[4];
  try {
    GIFReadBuffer(cut, buf, 1);
    ADD_FAILURE() << "a read past the end was accepted";
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Premature end of data");
  }
}
