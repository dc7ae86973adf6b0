// Textures and materials on the recording table: the alpha rules as functions on bitmaps, what
// an upload sends and when it is repeated, names released only with a context, the material's
// texture and library material.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/Bitmap.h"
#include "platform/ScopeGuard.h"
#include "scene/GLMaterialLibrary.h"
#include "scene/GLTexture.h"
#include "tests/scene/RecordingFixture.h"
#include "tests/support/Scratch.h"

namespace {

// Pixels of the picture as displayed (top row first); the bottom-left one is the reference of
// tiaTopLeftPointColorTransparent.
struct TRgb {
  uint8_t R, G, B;
};
constexpr TRgb kTop[3] = {{0, 0, 0}, {0, 0, 1}, {255, 255, 255}};
constexpr TRgb kBottom[3] = {{10, 20, 31}, {100, 0, 0}, {10, 20, 31}};

TBitmap Picture(TPixelFormat pf = TPixelFormat::pf24bit) {
  TBitmap b(3, 2, TPixelFormat::pf24bit);
  for (int x = 0; x < 3; ++x) {
    b.SetPixel(x, 0, RGBColor(kTop[x].R, kTop[x].G, kTop[x].B));
    b.SetPixel(x, 1, RGBColor(kBottom[x].R, kBottom[x].G, kBottom[x].B));
  }
  if (pf != TPixelFormat::pf24bit) b.SetPixelFormat(pf);
  return b;
}

// RGBA of pixel (x, y from the bottom) whatever the byte order of the buffer.
std::array<int, 4> RgbaAt(const TTexturePixels& px, int x, int yFromBottom) {
  const uint8_t* p =
      &px.Data[px.RowBytes() * static_cast<size_t>(yFromBottom) + static_cast<size_t>(x * px.Components)];
  const int a = px.Components == 4 ? p[3] : -1;
  return px.BGR ? std::array<int, 4>{p[2], p[1], p[0], a} : std::array<int, 4>{p[0], p[1], p[2], a};
}

TEST(TextureAlpha, EveryRuleOnBothByteOrders) {
  // Expected alpha of the six pixels, bottom row first, left to right; the luminance rules also
  // give the colour. TransparentColor is (100, 0, 0) from palette-style bytes / 255.
  struct Case {
    TGLTextureImageAlpha Rule;
    std::array<int, 6> Alpha;
    bool GreyColour;
  };
  const int l0 = (10 + 20 + 31) / 3, l1 = 100 / 3;  // 20, 33
  const auto& sq = GetSqrt255Array();
  const Case cases[] = {
      {tiaDefault, {-1, -1, -1, -1, -1, -1}, false},
      {tiaAlphaFromIntensity, {l0, l1, l0, 0, 0, 255}, false},
      {tiaSuperBlackTransparent, {255, 255, 255, 0, 255, 255}, false},
      {tiaLuminance, {l0, l1, l0, 0, 0, 255}, true},
      {tiaLuminanceSqrt, {sq[l0], sq[l1], sq[l0], 0, sq[0], 255}, true},
      {tiaOpaque, {255, 255, 255, 255, 255, 255}, false},
      {tiaTopLeftPointColorTransparent, {0, 255, 0, 255, 255, 255}, false},
      {tiaTransparentColor, {255, 0, 255, 255, 255, 255}, false},
  };
  const TVector key{100 / 255.0f, 0, 0, 1};
  for (TPixelFormat pf : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    const TBitmap bmp = Picture(pf);
    for (const Case& c : cases) {
      const TTexturePixels bgr = PrepareTexturePixels(bmp, c.Rule, key, true);
      const TTexturePixels rgb = PrepareTexturePixels(bmp, c.Rule, key, false);
      ASSERT_EQ(bgr.Width, 3);
      ASSERT_EQ(bgr.Height, 2);
      for (int i = 0; i < 6; ++i) {
        const int x = i % 3, y = i / 3;
        const TRgb src = y == 0 ? kBottom[x] : kTop[x];
        const auto a = RgbaAt(bgr, x, y), b = RgbaAt(rgb, x, y);
        SCOPED_TRACE(testing::Message() << "rule " << int(c.Rule) << " pixel " << i);
        EXPECT_EQ(a, b);
        EXPECT_EQ(a[3], c.Alpha[static_cast<size_t>(i)]);
        if (c.GreyColour)
          EXPECT_EQ((std::array<int, 3>{a[0], a[1], a[2]}), (std::array<int, 3>{a[3], a[3], a[3]}));
        else
          EXPECT_EQ((std::array<int, 3>{a[0], a[1], a[2]}), (std::array<int, 3>{src.R, src.G, src.B}));
      }
    }
  }
}

TEST(TextureAlpha, ThreeByteRowsKeepTheirPaddingAndAnEmptyBitmapGivesNothing) {
  TBitmap b(5, 3);
  b.Fill(RGBColor(1, 2, 3));
  const TTexturePixels px = PrepareTexturePixels(b, tiaDefault, {0, 0, 0, 1}, true);
  EXPECT_EQ(px.RowBytes(), 16u);
  EXPECT_EQ(px.Data.size(), 48u);
  EXPECT_EQ(PrepareTexturePixels(b, tiaOpaque, {0, 0, 0, 1}, true).Data.size(), 60u);  // packed
  EXPECT_TRUE(PrepareTexturePixels(TBitmap(), tiaOpaque, {0, 0, 0, 1}, true).Data.empty());
}

// A large picture goes up a band of rows at a time: the bands, laid one after the other, are the
// whole picture's pixels, for every pixel format and with the reference colour of the
// bottom-left pixel in bands that do not hold it.
TEST(TextureAlpha, BandsOfRowsMakeTheWholePicture) {
  TBitmap b(5, 7, TPixelFormat::pf24bit);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 5; ++x) b.SetPixel(x, y, (x * y) % 3 == 0 ? RGBColor(9, 8, 7) : RGBColor(x * 40, y * 30, 5));
  const TVector key{9 / 255.0f, 8 / 255.0f, 7 / 255.0f, 1};
  for (TPixelFormat pf : {TPixelFormat::pf24bit, TPixelFormat::pf8bit, TPixelFormat::pf16bit, TPixelFormat::pf32bit}) {
    TBitmap picture = b;
    picture.SetPixelFormat(pf);
    for (TGLTextureImageAlpha alpha : {tiaDefault, tiaTopLeftPointColorTransparent, tiaTransparentColor})
      for (bool bgr : {true, false}) {
        SCOPED_TRACE(testing::Message() << "format " << int(pf) << " rule " << int(alpha) << " bgr " << bgr);
        const TTexturePixels whole = PrepareTexturePixels(picture, alpha, key, bgr);
        std::vector<uint8_t> bands;
        for (int first = 0; first < 7; first += 3) {
          const TTexturePixels band = PrepareTextureRows(picture, alpha, key, bgr, first, 3);
          EXPECT_EQ(band.Height, std::min(3, 7 - first));
          bands.insert(bands.end(), band.Data.begin(), band.Data.end());
        }
        EXPECT_EQ(bands, whole.Data);
      }
  }
}

// A texture owned by nothing, drawn with a context current.
class TextureGL : public RecordingGL {
 protected:
  void SetUp() override {
    RecordingGL::SetUp();
    rc = CreateRenderingContext(FakeDC(), opDoubleBuffered, 24, 0, 0, 0, 0);
    ActivateRenderingContext(FakeDC(), rc);
    rec.Clear();
  }
  void TearDown() override {
    while (ActivationCount() > 0) DeactivateRenderingContext();
    if (rc) DestroyRenderingContext(rc);
    RecordingGL::TearDown();
  }
  const TGLCall* Last(const std::string& name) const {
    for (auto it = rec.Calls.rbegin(); it != rec.Calls.rend(); ++it)
      if (it->Name == name) return &*it;
    return nullptr;
  }
  HGLRC rc = nullptr;
};

// Only a picture whose sides change is scaled; one of the texture's own size goes as it is.
TEST_F(TextureGL, SidesBecomePowersOfTwoCappedByTheImplementation) {
  struct Case {
    int W, H, Max, W2, H2;
  } cases[] = {{100, 60, 4096, 128, 64}, {1, 3, 4096, 1, 4},        {300, 20, 256, 256, 32},
               {64, 64, 64, 64, 64},     {512, 128, 256, 256, 128}, {256, 8, 4096, 256, 8}};
  for (const Case& c : cases) {
    rec.Values[GL_MAX_TEXTURE_SIZE] = {double(c.Max)};
    TGLTexture t(nullptr);
    t.AssignBitmap(TBitmap(c.W, c.H));
    rec.Clear();
    t.Handle();
    SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " max " << c.Max);
    const TGLCall* scale = Last("gluScaleImage");
    const TGLCall* upload = Last("glTexImage2D");
    ASSERT_TRUE(upload) << rec.Names();
    EXPECT_EQ(upload->Args[3], c.W2);
    EXPECT_EQ(upload->Args[4], c.H2);
    if (c.W == c.W2 && c.H == c.H2) {
      EXPECT_FALSE(scale) << rec.Names();
      continue;
    }
    ASSERT_TRUE(scale) << rec.Names();
    EXPECT_EQ(scale->Args[5], c.W2);
    EXPECT_EQ(scale->Args[6], c.H2);
  }
}

// Mip-map levels come from the driver when it can make them: glGenerateMipmap (3.0) after the
// upload, else the GL_GENERATE_MIPMAP parameter (1.4) switched on around it; only a driver with
// neither gets GLU's builder.
TEST_F(TextureGL, MipmapLevelsComeFromTheDriverWhenItMakesThem) {
  struct Case {
    const char* Version;
    TGLMinFilter Filter;
    const char* Calls;
  } cases[] = {
      {"4.5 (Compatibility Profile) Mesa", miLinearMipmapLinear, "image generate"},
      {"3.0", miNearestMipmapNearest, "image generate"},
      {"1.4", miLinearMipmapNearest, "on image off"},
      {"2.1", miNearestMipmapLinear, "on image off"},
      {"1.2", miLinearMipmapLinear, "glu"},
      {"4.5", miLinear, "image"},
  };
  for (const Case& c : cases) {
    rec.Strings[GL_VERSION] = c.Version;
    ReadImplementationProperties();
    ReadExtensions();
    TGLTexture t(nullptr);
    t.AssignBitmap(TBitmap(8, 4));
    t.SetMinFilter(c.Filter);
    rec.Clear();
    t.Handle();
    std::string calls;
    for (const TGLCall& call : rec.Calls) {
      const char* what = call.Name == "glTexImage2D"        ? "image"
                         : call.Name == "glGenerateMipmap"  ? "generate"
                         : call.Name == "gluBuild2DMipmaps" ? "glu"
                         : call.Name == "glTexParameteri" && call.Args[1] == GL_GENERATE_MIPMAP
                             ? (call.Args[2] == GL_TRUE ? "on" : "off")
                             : nullptr;
      if (what) calls += (calls.empty() ? "" : " ") + std::string(what);
    }
    EXPECT_EQ(calls, c.Calls) << c.Version;
  }
}

// A picture above a million pixels goes in a band of rows per frame into a name of its own; the
// old picture is drawn until the last band is in, and each frame asks for the next. New storage
// takes a frame of its own, and a second name keeps storage of that size for the next picture.
TEST_F(TextureGL, LargePicturesGoInBandsWhileTheOldOneIsDrawn) {
  const double budget = TGLTexture::BandBudgetMs;
  TScopeGuard restore([budget] { TGLTexture::BandBudgetMs = budget; });
  TGLTexture::BandBudgetMs = 0;        // one band a frame
  TGLUpdateAbleObject owner(nullptr);  // a texture tells only when it has an owner
  TGLTexture t(&owner);
  int asked = 0;
  t.OnNotifyChange = [&](TPersistent*) { ++asked; };
  t.AssignBitmap(TBitmap(4, 4));
  t.Handle();
  struct Case {
    const char* What;
    bool Interrupted;  // another picture came after the first band
    int PendingFrames, Storages, Deletes, Asked;
  } cases[] = {
      // Storage, 7 frames of 128 rows of 2,048 pixels, the 8th drawn new; the spare made after.
      {"the first large picture", false, 8, 2, 1, 9},
      {"the next one: into the spare, the replaced name the next spare", false, 7, 0, 0, 7},
      {"a new picture meanwhile: the half-filled name filled again from the top", true, 7, 0, 0, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    if (c.Interrupted) {
      t.AssignBitmap(TBitmap(2048, 1024));
      t.Handle();
      ASSERT_TRUE(t.UploadPending());
    }
    t.AssignBitmap(TBitmap(2048, 1024));
    const uint32_t old = t.TextureHandle();
    rec.Clear();
    asked = 0;
    int frames = 0;
    for (; frames < 100; ++frames) {
      const uint32_t drawn = t.Handle();
      if (!t.UploadPending()) {
        EXPECT_NE(drawn, old);
        break;
      }
      EXPECT_EQ(drawn, old);
      EXPECT_EQ(Last("glBindTexture")->Args[1], old);  // what this frame draws with
    }
    t.Handle();  // the frame after
    int nextRow = 0;
    for (const TGLCall& call : rec.Calls)
      if (call.Name == "glTexSubImage2D") {
        EXPECT_EQ(call.Args[3], nextRow);
        EXPECT_EQ(call.Args[4], 2048);
        nextRow += static_cast<int>(call.Args[5]);
      }
    EXPECT_EQ(nextRow, 1024);
    EXPECT_EQ(frames, c.PendingFrames);
    EXPECT_EQ(asked, c.Asked);
    EXPECT_EQ(rec.Count("gluScaleImage"), 0);
    EXPECT_EQ(rec.Count("glTexImage2D"), c.Storages) << rec.Names();
    EXPECT_EQ(rec.Count("glDeleteTextures"), c.Deletes);
  }
  // A small picture: the spare goes, the drawn name takes the small picture.
  t.AssignBitmap(TBitmap(4, 4));
  rec.Clear();
  t.Handle();
  EXPECT_EQ(rec.Count("glDeleteTextures"), 1);
}

// The scaler pads output rows to the pack alignment: narrow textures of every alignment and
// component count write past a width x height x components buffer (the sanitizer build sees it).
TEST_F(TextureGL, NarrowTexturesScaleIntoPaddedRows) {
  for (int align : {1, 2, 4, 8})
    for (TGLTextureImageAlpha alpha : {tiaDefault, tiaOpaque})
      for (int w : {1, 2, 3}) {
        GL.glPixelStorei(GL_PACK_ALIGNMENT, align);
        TGLTexture t(nullptr);
        TBitmap b(w, 5);
        b.Fill(RGBColor(9, 8, 7));
        t.AssignBitmap(b);
        t.SetImageAlpha(alpha);
        EXPECT_NE(t.Handle(), 0u);
        // The upload reads the scaled rows with the alignment they were written with.
        double unpack = 0;
        for (const TGLCall& c : rec.Calls) {
          if (c.Name == "glPixelStorei" && c.Args[0] == GL_UNPACK_ALIGNMENT) unpack = c.Args[1];
          if (c.Name == "glTexImage2D") break;
        }
        EXPECT_EQ(unpack, align);
        EXPECT_EQ(rec.UnpackAlignment, 4);  // and the parameters put it back
        rec.Clear();
      }
}

TEST_F(TextureGL, UploadsAgainOnlyForImageChanges) {
  TGLTexture t(nullptr);
  t.AssignBitmap(TBitmap(4, 4));
  t.Handle();
  struct Case {
    const char* What;
    std::function<void()> Change;
    int Uploads, ParameterSets;
  } cases[] = {
      {"nothing", [] {}, 0, 0},
      {"same alpha rule", [&] { t.SetImageAlpha(t.ImageAlpha()); }, 1, 1},
      {"same min filter", [&] { t.SetMinFilter(t.MinFilter()); }, 0, 0},
      {"other min filter", [&] { t.SetMinFilter(miLinear); }, 1, 1},
      {"same transparent colour", [&] { t.SetTransparentColor(t.TransparentColor()); }, 1, 1},
      {"same wrap", [&] { t.SetTextureWrap(twBoth); }, 0, 0},
      {"new picture", [&] { t.AssignBitmap(TBitmap(8, 8)); }, 1, 1},
  };
  for (const Case& c : cases) {
    rec.Clear();
    c.Change();
    t.Handle();
    EXPECT_EQ(rec.Count("glTexImage2D"), c.Uploads) << c.What;
    EXPECT_EQ(rec.Count("glTexParameteri", GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), c.ParameterSets) << c.What;
    EXPECT_EQ(rec.Count("glGenTextures"), 0) << c.What;
  }
  // A mip-map filter builds the levels instead.
  rec.Clear();
  t.SetMinFilter(miLinearMipmapLinear);
  t.SetImageAlpha(tiaOpaque);
  t.Handle();
  EXPECT_EQ(rec.Count("gluBuild2DMipmaps", GL_TEXTURE_2D, 4), 1);
  EXPECT_EQ(rec.Count("glTexImage2D"), 0);
}

TEST_F(TextureGL, NamesAreDeletedOnlyWithTheirContext) {
  auto t = std::make_unique<TGLTexture>(nullptr);
  t->AssignBitmap(TBitmap(2, 2));
  const uint32_t first = t->Handle();
  EXPECT_NE(first, 0u);
  // Without a current context the destructor only forgets the name.
  DeactivateRenderingContext();
  rec.Clear();
  auto other = std::make_unique<TGLTexture>(nullptr);
  other->AssignBitmap(TBitmap(2, 2));
  ActivateRenderingContext(FakeDC(), rc);
  other->Handle();
  DeactivateRenderingContext();
  EXPECT_NO_THROW(other.reset());
  EXPECT_EQ(rec.Count("glDeleteTextures"), 0);
  // The last context goes: the name died with it; a new context gets a new upload.
  DestroyRenderingContext(rc);
  rc = CreateRenderingContext(FakeDC(), opDoubleBuffered, 24, 0, 0, 0, 0);
  ActivateRenderingContext(FakeDC(), rc);
  rec.Clear();
  t->Handle();
  EXPECT_EQ(rec.Count("glGenTextures"), 1);
  EXPECT_EQ(rec.Count("glTexImage2D"), 1);
  EXPECT_EQ(rec.Count("glDeleteTextures"), 0);
  // With its context current the name is deleted.
  t.reset();
  EXPECT_EQ(rec.Count("glDeleteTextures"), 1);
}

TEST_F(TextureGL, ImageClassesByName) {
  TGLTexture t(nullptr);
  t.AssignBitmap(TBitmap(2, 2));
  EXPECT_EQ(MessageOf<EAssertionFailed>([&] { t.SetImageClassName("TNoSuchImage"); }), "Assertion failure");
  EXPECT_EQ(t.ImageClassName(), "TGLPersistentImage");
  EXPECT_EQ(t.Image().Width(), 2);
  t.SetImageClassName("TGLPicFileImage");
  EXPECT_EQ(t.ImageClassName(), "TGLPicFileImage");
  EXPECT_TRUE(t.StoredImageClassName());
  auto& pic = static_cast<TGLPicFileImage&>(t.Image());
  pic.SetPictureFileName("/nonexistent/corvane.bmp");
  EXPECT_EQ(MessageOf<EAssertionFailed>([&] { t.Handle(); }), "Could not open file: /nonexistent/corvane.bmp");
  EXPECT_EQ(pic.PictureFileName(), "");
  // The name is still made and bound: the texture simply has no content.
  EXPECT_NE(t.TextureHandle(), 0u);
}

TEST_F(TextureGL, MaterialAppliesFacesBlendingAndTexture) {
  struct Case {
    TGLStates States;
    TBlendingMode Blending;
    bool TextureOn;
    int BackMaterials, BlendFuncs, TextureBinds;
  } cases[] = {
      {0, bmOpaque, false, 1, 0, 0},
      {StateBit(stCullFace), bmTransparency, true, 0, 1, 2},  // bound to upload, then to draw
      {0, bmAdditive, true, 1, 1, 2},
  };
  for (const Case& c : cases) {
    ResetGLMaterialColors();
    TGLMaterial m(nullptr);
    m.SetBlendingMode(c.Blending);
    m.Texture().AssignBitmap(TBitmap(2, 2));
    m.Texture().SetDisabled(!c.TextureOn);
    TRenderContextInfo rci;
    rci.CurrentStates = c.States | StateBit(stTexture2D);
    rec.Clear();
    m.Apply(rci);
    EXPECT_EQ(rec.Count("glMateriali", GL_BACK), c.BackMaterials);
    EXPECT_EQ(rec.Count("glBlendFunc"), c.BlendFuncs);
    EXPECT_EQ(rec.Count("glBindTexture"), c.TextureBinds);
    EXPECT_EQ(HasState(rci.CurrentStates, stTexture2D), c.TextureOn);
    EXPECT_EQ(HasState(rci.CurrentStates, stBlend), c.Blending != bmOpaque);
  }
}

TEST_F(TextureGL, LibraryMaterialsNamesUsersAndTextureMatrix) {
  TGLMaterialLibrary lib;
  TGLLibMaterial* a = lib.Materials().Add();
  TGLLibMaterial* b = lib.Materials().Add();
  EXPECT_EQ(a->Name(), "LibMaterial");
  EXPECT_EQ(b->Name(), "LibMaterial1");
  b->SetName("LibMaterial");
  EXPECT_EQ(b->Name(), "LibMaterial1");
  b->SetName("Skin");
  EXPECT_EQ(b->Name(), "Skin");

  auto m = std::make_unique<TGLMaterial>(nullptr);
  m->SetMaterialLibrary(&lib);
  m->SetLibMaterialName("Skin");
  EXPECT_EQ(m->LibMaterial(), b);
  EXPECT_FALSE(m->StoredMaterial());
  EXPECT_EQ(b->UserCount(), 1);
  EXPECT_THROW(b->RegisterUser(m.get()), EAssertionFailed);

  b->TextureScale().SetX(2);
  EXPECT_FALSE(b->TextureMatrixIsIdentity());
  TRenderContextInfo rci;
  rec.Clear();
  m->Apply(rci);
  m->UnApply(rci);
  EXPECT_EQ(rec.Count("glMatrixMode", GL_TEXTURE), 2);  // loaded, then reset
  // The library material goes first: the material forgets it.
  lib.Materials().Delete(1);
  EXPECT_EQ(m->LibMaterial(), nullptr);
  EXPECT_EQ(m->LibMaterialName(), "");
  m.reset();

  // A file named without a folder is looked for along the texture paths.
  const testsupport::TScratchDir scratch("texpath");
  const std::string dir = scratch.Str();
  TBitmap picture(3, 2);
  picture.SaveToFile(dir + "/skin.bmp");
  lib.SetTexturePaths("/nonexistent;" + dir);
  std::string name = "skin.bmp";
  a->Material().Texture().Image().LoadFromFile(name);
  EXPECT_EQ(name, dir + "\\skin.bmp");
  EXPECT_EQ(a->Material().Texture().Image().Width(), 3);

  lib.SetTexturePaths(" a ; ;b\\;c/ ");
  EXPECT_EQ(lib.TexturePathList(), (std::vector<std::string>{"a\\", "b\\", "c/\\"}));
  lib.SetTexturePaths("");
  EXPECT_TRUE(lib.TexturePathList().empty());
}

}  // namespace
