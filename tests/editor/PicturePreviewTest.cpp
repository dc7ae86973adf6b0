// The open-picture dialog's preview: an animated GIF plays there through one painter thread,
// which stops and is joined when another file is selected or the dialog closes; GIF images on
// the clipboard.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMimeData>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

#include "MainWindowTestSupport.h"
#include "PrivateDisplay.h"
#include "codecs/GIFPainter.h"
#include "codecs/ImageFormats.h"
#include "editor/GIFClipboard.h"
#include "editor/PicturePreview.h"
#include "platform/qt/QtPrompter.h"
#include "tests/support/Scratch.h"

using mainwindow_test::App;

namespace {

struct TFiles {
  testsupport::TScratchDir Scratch{"preview"};
  std::filesystem::path Dir = Scratch.Path(), Anim, Still;
  TFiles() {
    Anim = Dir / "anim.gif";
    Still = Dir / "still.bmp";
    // Three frames of one colour each, one hundredth of a second apart.
    TGIFImage g;
    for (TColor c : {RGBColor(255, 0, 0), RGBColor(0, 255, 0), RGBColor(0, 0, 255)}) {
      TBitmap b(6, 4, TPixelFormat::pf8bit);
      b.SetPalette(CreatePalette({{GetRValue(c), GetGValue(c), GetBValue(c), 0}, {0, 0, 0, 0}}));
      TGIFSubImage& f = g.Add(b);
      auto gce = std::make_unique<TGIFGraphicControlExtension>(&f);
      gce->Delay = 1;
      f.Extensions.push_back(std::move(gce));
    }
    g.SaveToFile(Anim.string());
    TBitmap(5, 5).SaveToFile(Still.string());
  }
};

// Processes events until pred holds; false after a generous while.
template <class Pred>
bool WaitFor(Pred pred) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > 20000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

}  // namespace

TEST(PicturePreview, AnimatedGIFPlaysUntilAnotherFileIsSelected) {
  App();
  InitImageFormats();
  TFiles files;
  auto pane = std::make_unique<TPicturePreview>();
  InstallPicturePreview();
  pane->resize(200, 200);
  pane->show();
  pane->ShowFile(QString::fromStdString(files.Anim.string()));
  ASSERT_NE(pane->GIF(), nullptr);
  ASSERT_TRUE(WaitFor([&] { return pane->GIF()->PainterCount() == 1; }));
  EXPECT_EQ(TGIFPainter::LiveThreads(), 1);
  // Frames keep coming through the GUI thread while the pane is shown.
  ASSERT_TRUE(WaitFor([&] { return pane->GIF()->Painter() && pane->GIF()->Painter()->FramesDrawn() >= 4; }));
  pane->ShowFile(QString::fromStdString(files.Still.string()));
  EXPECT_EQ(pane->GIF(), nullptr);
  EXPECT_TRUE(pane->HasPicture());
  EXPECT_EQ(TGIFPainter::LiveThreads(), 0);
  // Closing (destroying the pane) stops it as well.
  pane->ShowFile(QString::fromStdString(files.Anim.string()));
  ASSERT_TRUE(WaitFor([&] { return TGIFPainter::LiveThreads() == 1; }));
  pane.reset();
  EXPECT_EQ(TGIFPainter::LiveThreads(), 0);
}

TEST(PicturePreview, TheOpenPictureDialogShowsThePane) {
  App();
  InitImageFormats();
  InstallPicturePreview();
  TFiles files;
  TFileDialogOptions options;
  options.Preview = true;
  options.InitialDir = files.Dir.string();
  options.Filter = PictureLoader().GraphicFilter();
  bool sawPainter = false, found = false;
  QTimer::singleShot(0, [&] {
    auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!d) {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* fd = qobject_cast<QFileDialog*>(w)) d = fd;
    }
    if (!d) return;
    auto* pane = d->findChild<TPicturePreview*>("PicturePreview");
    found = pane != nullptr;
    if (pane) {
      emit d->currentChanged(QString::fromStdString(files.Anim.string()));
      sawPainter =
          WaitFor([&] { return TGIFPainter::LiveThreads() == 1 && pane->GIF() && pane->GIF()->PainterCount() == 1; });
    }
    d->reject();
  });
  TQtPrompter prompter;
  std::vector<std::string> chosen;
  EXPECT_FALSE(prompter.OpenFileDialog(options, chosen));
  EXPECT_TRUE(found);
  EXPECT_TRUE(sawPainter);
  EXPECT_EQ(TGIFPainter::LiveThreads(), 0);
}

// The clipboard is the display's: on the display the tests share, another test could take it
// between a write and its read. The test runs again in a child on a display of its own.
TEST(GIFClipboard, ImagesAndPicturesComeBack) {
  if (!qEnvironmentVariableIsSet("CORVANE_TEST_OWN_DISPLAY")) {
    TPrivateDisplay display;
    if (display.Name().empty()) GTEST_SKIP() << "Xvfb could not start a display of the test's own";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromStdString(display.Name()));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("CORVANE_TEST_OWN_DISPLAY", "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string()),
                {"--gtest_filter=GIFClipboard.ImagesAndPicturesComeBack"});
    ASSERT_TRUE(child.waitForFinished(60000)) << child.errorString().toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
    return;
  }
  App();
  TFiles files;
  TGIFImage anim;
  anim.LoadFromFile(files.Anim.string());
  SaveGIFToClipboard(anim);
  TGIFImage back;
  LoadGIFFromClipboard(back);
  ASSERT_EQ(back.Images.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(back.Images[i]->Data, anim.Images[i]->Data);

  QImage red(3, 2, QImage::Format_RGB32);
  red.fill(QColor(255, 0, 0));
  QGuiApplication::clipboard()->setImage(red);
  LoadGIFFromClipboard(back);
  ASSERT_EQ(back.Images.size(), 1u);
  TBitmap b;
  back.AssignTo(b);
  EXPECT_EQ(b.Pixel(2, 1), RGBColor(255, 0, 0));

  QGuiApplication::clipboard()->setText("text");
  EXPECT_THROW(LoadGIFFromClipboard(back), EInvalidGraphic);
}
