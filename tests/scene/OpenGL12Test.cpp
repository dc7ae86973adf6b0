// The OpenGL binding without a display: version and extension flags, the activation rules of
// rendering contexts, the GLX context creation decisions, and what a missing entry point does.
#include <gtest/gtest.h>

#include "scene/RecordingFixture.h"

namespace {

TEST(OpenGLVersion, SplitsVersionStrings) {
  struct {
    const char* text;
    int major, minor;
  } cases[] = {{"1.1.0 Build 12", 1, 1},
               {"Version 1.2", 1, 2},
               {"4.5 (Compatibility Profile) Mesa 22.3.6", 4, 5},
               {"12.34", 12, 34},
               {"", 0, 0},
               {"no version", 0, 0},
               {".5", 0, 0},
               {"1.", 0, 0},
               {"a.b", 0, 0},
               {"v 1 .2", 0, 0},
               {"99999999999.1", 0, 0}};
  for (const auto& c : cases) {
    int major = -1, minor = -1;
    TrimAndSplitVersionString(c.text, major, minor);
    EXPECT_EQ(major, c.major) << c.text;
    EXPECT_EQ(minor, c.minor) << c.text;
  }
}

TEST_F(RecordingGL, VersionFlagsCompareMajorMinorPairs) {
  struct {
    const char* version;
    bool v11, v12;
  } cases[] = {{"1.2.1", true, true}, {"1.0", false, false},    {"1.1", true, false},
               {"2.0", true, true},   {"4.5 Mesa", true, true}, {"garbage", false, false}};
  for (const auto& c : cases) {
    rec.Strings[GL_VERSION] = c.version;
    ReadImplementationProperties();
    EXPECT_TRUE(OpenGLFlags.Version_1_0) << c.version;
    EXPECT_EQ(OpenGLFlags.Version_1_1, c.v11) << c.version;
    EXPECT_EQ(OpenGLFlags.Version_1_2, c.v12) << c.version;
  }
  rec.GLUStrings[GLU_VERSION] = "1.3";
  ReadImplementationProperties();
  EXPECT_TRUE(OpenGLFlags.GLU_Version_1_1 && OpenGLFlags.GLU_Version_1_2 && OpenGLFlags.GLU_Version_1_3);
  rec.GLUStrings[GLU_VERSION] = "1.2";
  ReadImplementationProperties();
  EXPECT_TRUE(OpenGLFlags.GLU_Version_1_2);
  EXPECT_FALSE(OpenGLFlags.GLU_Version_1_3);
}

TEST_F(RecordingGL, ExtensionFlagsComeFromTheStrings) {
  rec.Strings[GL_EXTENSIONS] = "GL_ARB_multitexture GL_EXT_texture3D_extra GL_NV_fog_distance";
  rec.GLUStrings[GLU_EXTENSIONS] = "GLU_EXT_nurbs_tessellator";
  ReadImplementationProperties();
  EXPECT_TRUE(OpenGLFlags.Has("GL_ARB_multitexture"));
  EXPECT_TRUE(OpenGLFlags.Has("GL_NV_fog_distance"));
  EXPECT_TRUE(OpenGLFlags.Has("GL_EXT_texture3D"));  // substring test: a longer name counts
  EXPECT_FALSE(OpenGLFlags.EXT_bgra());
  EXPECT_TRUE(OpenGLFlags.Has("GLU_EXT_nurbs_tessellator"));
  EXPECT_FALSE(OpenGLFlags.Has("GLU_EXT_TEXTURE"));
  // A GLU name in the GL string does not count: GLU flags are judged against GLU's string.
  rec.Strings[GL_EXTENSIONS] = "GLU_EXT_TEXTURE";
  rec.GLUStrings[GLU_EXTENSIONS] = "";
  ReadImplementationProperties();
  EXPECT_FALSE(OpenGLFlags.Has("GLU_EXT_TEXTURE"));
  EXPECT_FALSE(OpenGLFlags.Has("GL_NOT_IN_THE_TABLE"));
}

TEST_F(RecordingGL, ActivationsNestAndMustBalance) {
  const TGLDC dc = FakeDC();
  HGLRC rc = CreateRenderingContext(dc, opDoubleBuffered, 32, 0, 0, 0, 0);
  rec.Clear();
  for (int i = 0; i < 3; ++i) ActivateRenderingContext(dc, rc);
  EXPECT_EQ(rec.Count("glXMakeCurrent"), 1);  // nested activations reuse the current context
  EXPECT_EQ(CurrentDC(), dc);
  // A second pair while the first is active.
  TGLDC other = dc;
  other.Drawable = 0x43;
  EXPECT_EQ(MessageOf<EAssertionFailed>([&] { ActivateRenderingContext(other, rc); }), "incoherent DC/RC");
  EXPECT_EQ(MessageOf<EAssertionFailed>([&] { DestroyRenderingContext(rc); }),
            "DestroyRenderingContext : unbalanced activations");
  for (int i = 0; i < 3; ++i) DeactivateRenderingContext();
  EXPECT_EQ(ActivationCount(), 0);
  EXPECT_EQ(CurrentDC(), TGLDC{});
  EXPECT_EQ(rec.Count("glXMakeCurrent"), 2);
  EXPECT_EQ(MessageOf<EAssertionFailed>([] { DeactivateRenderingContext(); }),
            "DeactivateRenderingContext : unbalanced activations");
  EXPECT_EQ(MessageOf<EAssertionFailed>([&] { ActivateRenderingContext({}, rc); }), "got DC=0");
  EXPECT_EQ(MessageOf<EAssertionFailed>([&] { ActivateRenderingContext(dc, nullptr); }), "got RC=0");
  DestroyRenderingContext(rc);
  EXPECT_EQ(MessageOf<EAssertionFailed>([&] { DestroyRenderingContext(rc); }), "wglDeleteContext failed");
}

TEST_F(RecordingGL, FailedMakeCurrentAndXErrorsLeaveNothingActive) {
  const TGLDC dc = FakeDC();
  HGLRC rc = CreateRenderingContext(dc, opDoubleBuffered, 32, 0, 0, 0, 0);
  rec.MakeCurrentResult = false;
  EXPECT_EQ(MessageOf<EAssertionFailed>([&] { ActivateRenderingContext(dc, rc); }), "wglMakeCurrent failed");
  EXPECT_EQ(ActivationCount(), 0);
  rec.MakeCurrentResult = true;
  rec.XErrorToRaise = 8;  // BadMatch
  const std::string msg = MessageOf<EOpenGLError>([&] { ActivateRenderingContext(dc, rc); });
  EXPECT_NE(msg.find("glXMakeCurrent"), std::string::npos) << msg;
  EXPECT_NE(msg.find("BadMatch"), std::string::npos) << msg;
  EXPECT_EQ(ActivationCount(), 0);
  // The trap put the previous handler back (none here) and the context still works.
  ActivateRenderingContext(dc, rc);
  DeactivateRenderingContext();
  DestroyRenderingContext(rc);
}

TEST_F(RecordingGL, ContextsShareOneProcessWideShareContext) {
  const TGLDC dc = FakeDC();
  HGLRC a = CreateRenderingContext(dc, opDoubleBuffered, 32, 0, 0, 0, 0);
  HGLRC b = CreateRenderingContext(dc, opDoubleBuffered, 32, 0, 0, 0, 0);
  EXPECT_NE(a, b);
  // The share context, then each context created sharing with it.
  EXPECT_EQ(rec.Count("glXCreateContext"), 3);
  EXPECT_EQ(rec.Count("glXCreateContext", 1), 2);
  EXPECT_EQ(LiveRenderingContexts(), 2);
  DestroyRenderingContext(a);
  EXPECT_EQ(rec.Count("glXDestroyContext"), 1);
  DestroyRenderingContext(b);
  EXPECT_EQ(rec.Count("glXDestroyContext"), 3);  // the last one takes the share context along
  EXPECT_EQ(LiveRenderingContexts(), 0);
}

TEST_F(RecordingGL, UnsupportedVisualsFailCleanly) {
  const TGLDC dc = FakeDC();
  EXPECT_THROW(CreateRenderingContext(dc, opDoubleBuffered, 32, 0, 0, 0, 1), EOSError);   // overlay plane
  EXPECT_THROW(CreateRenderingContext(dc, opDoubleBuffered, 32, 0, 0, 0, -1), EOSError);  // underlay plane
  EXPECT_THROW(CreateRenderingContext({}, opDoubleBuffered, 32, 0, 0, 0, 0), EOSError);
  rec.WindowDepth = 8;  // would need a colour-index visual and a palette
  EXPECT_THROW(CreateRenderingContext(dc, opDoubleBuffered, 8, 0, 0, 0, 0), EOSError);
  rec.WindowDepth = 24;
  rec.VisualDoubleBuffered = false;  // the window's visual cannot do what is asked
  EXPECT_THROW(CreateRenderingContext(dc, opDoubleBuffered, 32, 0, 0, 0, 0), EOSError);
  EXPECT_EQ(LiveRenderingContexts(), 0);
  EXPECT_EQ(rec.Count("glXCreateContext"), 0);
}

TEST_F(RecordingGL, FlagsAreReadAtTheFirstActivationOfANewContext) {
  const TGLDC dc = FakeDC();
  rec.Strings[GL_VERSION] = "1.0";
  HGLRC rc = CreateRenderingContext(dc, opDoubleBuffered, 32, 0, 0, 0, 0);
  ActivateRenderingContext(dc, rc);
  DeactivateRenderingContext();
  EXPECT_FALSE(OpenGLFlags.Version_1_1);
  rec.Strings[GL_VERSION] = "2.1";
  ActivateRenderingContext(dc, rc);  // same visual: not read again
  DeactivateRenderingContext();
  EXPECT_FALSE(OpenGLFlags.Version_1_1);
  HGLRC rc2 = CreateRenderingContext(dc, opDoubleBuffered, 32, 0, 0, 0, 0);
  ActivateRenderingContext(dc, rc2);  // a new context reads them again
  DeactivateRenderingContext();
  EXPECT_TRUE(OpenGLFlags.Version_1_1);
  DestroyRenderingContext(rc);
  DestroyRenderingContext(rc2);
}

TEST(OpenGLBinding, MissingEntryPointsRaiseNamingTheFunction) {
  CloseOpenGL();
  EXPECT_EQ(MessageOf<EOpenGLError>([] { GL.glEnable(GL_DEPTH_TEST); }),
            "OpenGL entry point glEnable is not available");
  EXPECT_EQ(MessageOf<EOpenGLError>([] { GL.gluLookAt(0, 0, 0, 0, 0, -1, 0, 1, 0); }),
            "OpenGL entry point gluLookAt is not available");
  EXPECT_FALSE(EntryPointBound("glEnable"));
}

TEST(OpenGLBinding, LoadsTheSystemLibrariesWithoutADisplay) {
  // dlopen needs no X server; this binds from the real libGL.so.1 and libGLU.so.1.
  ASSERT_TRUE(InitOpenGL()) << "libGL.so.1 or libGLU.so.1 is missing (scripts/install-deps installs them)";
  EXPECT_TRUE(OpenGLLoaded());
  EXPECT_TRUE(EntryPointBound("glEnable"));
  EXPECT_TRUE(EntryPointBound("gluLookAt"));
  EXPECT_TRUE(EntryPointBound("glXMakeCurrent"));
  EXPECT_TRUE(EntryPointBound("XSync"));
  EXPECT_FALSE(EntryPointBound("glNoSuchFunction"));
  // Extension entry points wait for the extension string, even though Mesa would hand out an
  // address for any name.
  OpenGLFlags = TOpenGLFlags();
  ReadExtensions();
  EXPECT_FALSE(EntryPointBound("glActiveTextureARB"));
  EXPECT_THROW(GL.glActiveTextureARB(0), EOpenGLError);
  OpenGLFlags.Extensions[37] = true;  // GL_ARB_multitexture
  ASSERT_TRUE(OpenGLFlags.Has("GL_ARB_multitexture"));
  ReadExtensions();
  EXPECT_TRUE(EntryPointBound("glActiveTextureARB"));
  // A missing GLU fails the whole load: both handles end released.
  EXPECT_FALSE(InitOpenGLFromLibrary("libGL.so.1", "libNoSuchGLU.so.1"));
  EXPECT_FALSE(OpenGLLoaded());
  EXPECT_FALSE(EntryPointBound("glEnable"));
  CloseOpenGL();
  OpenGLFlags = TOpenGLFlags();
}

TEST(PixelFormatDecisions, FlagsLayersAndPalettes) {
  EXPECT_EQ(PixelFormatFlags(dcMemory, 0), PFD_SUPPORT_OPENGL_ | PFD_DRAW_TO_BITMAP_);
  EXPECT_EQ(PixelFormatFlags(dcMetafile, 0) & PFD_DRAW_TO_BITMAP_, PFD_DRAW_TO_BITMAP_);
  EXPECT_EQ(PixelFormatFlags(dcEnhancedMetafile, 0) & PFD_DRAW_TO_BITMAP_, PFD_DRAW_TO_BITMAP_);
  EXPECT_EQ(PixelFormatFlags(dcWindow, opDoubleBuffered | opGDI | opStereo),
            PFD_SUPPORT_OPENGL_ | PFD_DRAW_TO_WINDOW_ | PFD_DOUBLEBUFFER_ | PFD_SUPPORT_GDI_ | PFD_STEREO_);
  EXPECT_EQ(LayerTypeFor(0), 0);
  EXPECT_EQ(LayerTypeFor(2), 1);
  EXPECT_EQ(LayerTypeFor(-1), 0xFF);
  // The classic 3-3-2 palette: red in bits 0-2, green 3-5, blue 6-7.
  auto pal = LogicalPaletteEntries(8, 3, 0, 3, 3, 2, 6);
  ASSERT_EQ(pal.size(), 256u);
  EXPECT_EQ(pal[0], (TPaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(pal[7], (TPaletteEntry{255, 0, 0, 0}));
  EXPECT_EQ(pal[0x38], (TPaletteEntry{0, 255, 0, 0}));
  EXPECT_EQ(pal[0xC0], (TPaletteEntry{0, 0, 255, 0}));
  EXPECT_EQ(pal[255], (TPaletteEntry{255, 255, 255, 0}));
  EXPECT_EQ(pal[3].peRed, 3 * 255 / 7);
  // A component with no bits is black instead of a division by zero; no palette beyond 8 bits.
  EXPECT_EQ(LogicalPaletteEntries(2, 0, 0, 1, 0, 1, 1)[3], (TPaletteEntry{0, 255, 255, 0}));
  EXPECT_TRUE(LogicalPaletteEntries(24, 8, 0, 8, 8, 8, 16).empty());
}

}  // namespace
