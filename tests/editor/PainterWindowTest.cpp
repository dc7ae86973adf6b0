// The painter through the window: mouse strokes on the zoomed view, the picker, undo, save and
// revert, a system colour as paint, the refresh timer during a stroke, and 8-bit textures.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <optional>

#include "MainWindowTestSupport.h"
#include "controls/ColorPickerButton.h"
#include "editor/PaletteGroups.h"
#include "editor/TexturePainter.h"
#include "editor_core/SkinTreeTestModel.h"
#include "platform/FileTimes.h"
#include "platform/qt/BitmapImage.h"
#include "tests/support/PeerTools.h"
#include "tests/support/Scratch.h"

using namespace mainwindow_test;

namespace {

void Mouse(QWidget* w, QEvent::Type type, int x, int y) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent e(type, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

class PainterWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    w = &env.Create();
    w->show();
    w->Document().SetUp({.Model = editor_test::MakeModel()});
    w->Document().Tree().SetRoot("p (Male)");
    skin = AddSkin(w->Document().Tree(), "Skin", "skin", *w->State().CurrentModel());
  }
  // The tree as built so far shown, and the node's item clicked.
  void Show(TSkinNode* node) {
    w->Document().SetUp({});
    Select(*w, node);
  }
  // A texture read from a new file into section `number`.
  TSkinNode* AddFromFile(int number, const std::string& file) {
    TSkinNode* sec = editor_test::SectionNode(skin, number);
    auto t = CreateTexture(file, "", "", sec->Text, *PartOfSection(sec, *w->State().CurrentModel()), nullptr);
    return AddTexture(sec, std::move(t), "< Default >");
  }
  QWidget* Image() { return C<QLabel>(*w, "texture_preview_image"); }
  TColor Shown(int x, int y) {
    const QColor c = ShownTexture(*w).pixelColor(x, y);
    return RGBColor(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
  }
  void Click(int x, int y) {
    Mouse(Image(), QEvent::MouseButtonPress, x, y);
    Mouse(Image(), QEvent::MouseButtonRelease, x, y);
  }

  TWindowEnv env;
  Tmain_unificada* w = nullptr;
  TSkinNode* skin = nullptr;
  testsupport::TScratchDir dir{"editor"};
};

}  // namespace

TEST_F(PainterWindow, StrokesPickerUndoSaveRevert) {
  TBitmap grey(64, 64, TPixelFormat::pf24bit);
  grey.Fill(RGBColor(100, 100, 100));
  const std::string file = dir.Folder() + "talk.bmp";
  grey.SaveToFile(file);
  TSkinNode* node = AddFromFile(3, file);  // Talk, 64 x 64
  Show(node);
  ASSERT_EQ(SelectedTexture(*w), node->Texture.get());
  EXPECT_TRUE(C<QWidget>(*w, "Panel_textools1")->isVisibleTo(w));
  TObjetoTextura& t = *node->Texture;

  // At 4X a click at (9, 9) with a brush of size 1 paints texture pixel (2, 2) alone.
  Choose(*w, "zoom", 2);
  EXPECT_EQ(Image()->size(), QSize(256, 256));
  C<TLabelScrollBar>(*w, "brush_size")->SetValue(1);
  C<TLabelScrollBar>(*w, "brush_intensity")->SetValue(100);
  SetPaintColor(*w, RGBColor(250, 0, 0));
  env.PreviewLog.clear();
  Click(9, 9);
  EXPECT_EQ(t.Bitmap->Pixel(2, 2), RGBColor(250, 0, 0));
  TBitmap expected = grey;
  expected.SetPixel(2, 2, RGBColor(250, 0, 0));
  EXPECT_TRUE(t.Bitmap->SameAs(expected));
  EXPECT_EQ(Shown(9, 9), RGBColor(250, 0, 0));
  EXPECT_EQ(Shown(7, 7), RGBColor(100, 100, 100));
  if (const char* shots = std::getenv("CORVANE_TEST_SCREENSHOTS")) w->grab().save(QString(shots) + "/painter.png");
  EXPECT_EQ(env.PreviewLog, (std::vector<std::string>{"Draw3D"}));
  // Only the texture is marked; the project asks to be saved on close because of it.
  EXPECT_TRUE(t.Modified);
  EXPECT_FALSE(w->State().ProjectModified());
  EXPECT_TRUE(w->Document().NeedsSaving());

  // A system colour paints in the palette's colour, not as the number (5, 0, 0).
  SetPaintColor(*w, 0x80000005);
  Click(5, 5);
  EXPECT_EQ(t.Bitmap->Pixel(1, 1), ColorToRGB(0x80000005));
  EXPECT_NE(t.Bitmap->Pixel(1, 1), RGBColor(5, 0, 0));

  // The picker takes the colour under the mouse and paints nothing; outside the image it does
  // nothing.
  C<QTabBar>(*w, "tools")->setCurrentIndex(ptPicker);
  const TBitmap beforePick = *t.Bitmap;
  Click(10, 10);
  EXPECT_EQ(PaintColor(*w), RGBColor(250, 0, 0));
  Click(-3, 300);
  EXPECT_EQ(PaintColor(*w), RGBColor(250, 0, 0));
  EXPECT_TRUE(t.Bitmap->SameAs(beforePick));

  // Undo twice: back, then the painted state again.
  C<QTabBar>(*w, "tools")->setCurrentIndex(ptBrush);
  C<QPushButton>(*w, "btn_UndoEditedTexture")->click();
  EXPECT_TRUE(t.Bitmap->SameAs(expected));
  C<QPushButton>(*w, "btn_UndoEditedTexture")->click();
  EXPECT_TRUE(t.Bitmap->SameAs(beforePick));

  // While a stroke is held, the refresh timer does not read the changed file under it.
  Mouse(Image(), QEvent::MouseButtonPress, 40, 40);
  editor_test::WritePicture(file, 64, 64, 9);
  SetFileAge(file, 1'700'000'000'000'000'000);
  Fire(*w, "TimerRefrescoTexturas");
  EXPECT_NE(t.FileAge, FileAge(file)) << "read during the stroke";
  Mouse(Image(), QEvent::MouseMove, 44, 40);
  Mouse(Image(), QEvent::MouseButtonRelease, 48, 40);
  EXPECT_EQ(t.Bitmap->Pixel(10, 10), RGBColor(250, 0, 0));
  EXPECT_EQ(t.Bitmap->Pixel(12, 10), RGBColor(250, 0, 0));

  // Save writes what is shown; the next refresh does not read it back as a change.
  const TBitmap painted = *t.Bitmap;
  C<QPushButton>(*w, "btn_SaveEditedTexture")->click();
  TBitmap saved;
  saved.LoadFromFile(file);
  EXPECT_TRUE(saved.SameAs(painted));
  EXPECT_FALSE(w->Document().ReloadChangedTextures().Done);

  // Revert reads the file again: a stroke after the save is gone.
  Click(100, 100);
  EXPECT_FALSE(t.Bitmap->SameAs(painted));
  C<QPushButton>(*w, "btn_RevertEditedTexture")->click();
  EXPECT_TRUE(t.Bitmap->SameAs(painted));
  EXPECT_FALSE(t.Modified);
}

TEST_F(PainterWindow, EightBitTexturesAreNotPainted) {
  // The masked section keeps a texture at 8 bits.
  TSkinNode* node = AddFromFile(4, editor_test::WritePicture8(dir.Folder() + "mask.bmp", 16, 16, 20));
  Show(node);
  TObjetoTextura& t = *node->Texture;
  ASSERT_EQ(t.Bitmap->PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_FALSE(C<QWidget>(*w, "Panel_textools1")->isVisibleTo(w));
  const TBitmap before = *t.Bitmap;
  Click(3, 3);
  EXPECT_TRUE(t.Bitmap->SameAs(before));
  EXPECT_EQ(t.UndoBitmap, nullptr);
  EXPECT_FALSE(t.Modified);
  EXPECT_FALSE(w->Document().Painting());
}

TEST_F(PainterWindow, AStrokeThatCannotGoOnEndsAsAReleaseWould) {
  // Whatever takes the mouse from a stroke ends it: its paint is marked for saving, the palettes
  // and the preview follow it, and the tools it blocked work again.
  TSkinNode* a = AddFromFile(3, editor_test::WritePicture(dir.Folder() + "a.bmp", 64, 64, 1));
  TSkinNode* c = AddFromFile(4, editor_test::WritePicture(dir.Folder() + "c.bmp", 64, 64, 3));
  SetPaintColor(*w, clWhite);
  auto* tree = C<QTreeWidget>(*w, "ArbolTexturas");
  const auto moveWithoutButton = [&](int x, int y) {
    QMouseEvent e(QEvent::MouseMove, QPointF(x, y), Image()->mapToGlobal(QPointF(x, y)), Qt::NoButton, Qt::NoButton,
                  Qt::NoModifier);
    QApplication::sendEvent(Image(), &e);
  };
  struct {
    const char* name;
    std::function<void()> interrupt;
  } rows[] = {
      {"the selection moves with the keyboard", [&] { QTest::keyClick(tree, Qt::Key_Down); }},
      {"a dialog opens",
       [&] {
         QDialog dialog(w);
         QTimer::singleShot(0, &dialog, &QDialog::reject);
         dialog.exec();
       }},
      {"another window is activated",
       [&] {
         QEvent deactivate(QEvent::WindowDeactivate);
         QApplication::sendEvent(w, &deactivate);
       }},
      {"the release went elsewhere", [&] { moveWithoutButton(30, 10); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Show(a);
    tree->setFocus();
    TObjetoTextura& t = *a->Texture;
    t.Modified = false;
    const TBitmap before = *t.Bitmap;
    env.PreviewLog.clear();
    Mouse(Image(), QEvent::MouseButtonPress, 10, 10);
    ASSERT_TRUE(w->Document().Painting());
    row.interrupt();
    EXPECT_FALSE(w->Document().Painting());
    EXPECT_FALSE(t.Bitmap->SameAs(before)) << "the dab is kept";
    EXPECT_TRUE(t.Modified);
    EXPECT_TRUE(w->Document().NeedsSaving());
    EXPECT_FALSE(w->Document().Tree().PalettesStale());
    EXPECT_EQ(env.PreviewLog, (std::vector<std::string>{"Draw3D"}));
    Mouse(Image(), QEvent::MouseButtonRelease, 20, 10);

    // Back on the texture, a move without the button paints nothing; undo works again.
    Show(a);
    const TBitmap after = *t.Bitmap;
    moveWithoutButton(40, 40);
    EXPECT_TRUE(t.Bitmap->SameAs(after));
    C<QPushButton>(*w, "btn_UndoEditedTexture")->click();
    EXPECT_TRUE(t.Bitmap->SameAs(before));
  }

  // A stroke begun on one texture does not go on painting another from its snapshot.
  Show(c);
  Click(50, 50);
  c->Texture->Modified = false;
  Show(a);
  Mouse(Image(), QEvent::MouseButtonPress, 10, 10);
  Show(c);
  const TBitmap before = *c->Texture->Bitmap;
  Mouse(Image(), QEvent::MouseMove, 20, 10);
  Mouse(Image(), QEvent::MouseButtonRelease, 30, 10);
  EXPECT_FALSE(w->Document().Painting());
  EXPECT_TRUE(c->Texture->Bitmap->SameAs(before));
  EXPECT_FALSE(c->Texture->Modified);
  EXPECT_TRUE(a->Texture->Modified);
}

TEST_F(PainterWindow, APictureThatIsNoBitmapIsKeptAndSavedAsABitmapBesideIt) {
  SKIP_WITHOUT_PEER(testsupport::kConvert);
  const std::string d = dir.Folder();
  const std::string src = editor_test::WritePicture(d + "src.bmp", 64, 64, 3);
  for (const char* name : {"talk.png", "head.jpg"})
    ASSERT_EQ(std::system((std::string(testsupport::kConvert) + " " + src + " " + d + name).c_str()), 0);
  const std::string pngBytes = ReadText(d + "talk.png"), jpgBytes = ReadText(d + "head.jpg");
  w->Document().SetUp({.ProjectFileName = d + "p.cvp"});
  SetPaintColor(*w, RGBColor(250, 0, 0));

  // The Save button: the PNG stays, the texture moves to the bitmap the dialog chose.
  TSkinNode* talk = AddFromFile(3, d + "talk.png");
  Show(talk);
  Click(10, 10);
  const TBitmap painted = *talk->Texture->Bitmap;
  env.Prompts.QueueSaveFile(d + "talk.bmp");
  C<QPushButton>(*w, "btn_SaveEditedTexture")->click();
  ASSERT_FALSE(env.Prompts.FileDialogs.empty());
  EXPECT_EQ(env.Prompts.FileDialogs.back().FileName, d + "talk.bmp") << "proposed beside the original";
  EXPECT_EQ(ReadText(d + "talk.png"), pngBytes);
  EXPECT_EQ(talk->Texture->Filename, d + "talk.bmp");
  TBitmap saved;
  saved.LoadFromFile(d + "talk.bmp");
  EXPECT_TRUE(saved.SameAs(painted));
  EXPECT_TRUE(w->State().ProjectModified()) << "the project must store the new file";

  // Saving the project asks about the painted JPEG: cancelling its dialog writes nothing and
  // keeps the paint; the painted PNG's texture now saves in place into its bitmap.
  TSkinNode* head = AddFromFile(2, d + "head.jpg");
  Show(head);
  Click(20, 20);
  env.Prompts.QueueAnswer(mrYes);  // head
  env.Prompts.QueueSaveFile(std::nullopt);
  env.Prompts.QueueAnswer(mrYes);  // talk
  Act(*w, "mnu_SaveProject")->trigger();
  EXPECT_EQ(ReadText(d + "head.jpg"), jpgBytes);
  EXPECT_FALSE(std::filesystem::exists(d + "head.bmp"));
  EXPECT_TRUE(head->Texture->Modified);
  EXPECT_FALSE(talk->Texture->Modified);
  std::string project = ReadText(d + "p.cvp");
  EXPECT_NE(project.find("Filename=talk.bmp"), std::string::npos) << project;
  EXPECT_NE(project.find("Filename=head.jpg"), std::string::npos) << project;

  // Answered, the JPEG's texture is saved as the bitmap and the project refers to it.
  env.Prompts.QueueAnswer(mrYes);
  env.Prompts.QueueSaveFile(d + "head.bmp");
  Act(*w, "mnu_SaveProject")->trigger();
  EXPECT_EQ(ReadText(d + "head.jpg"), jpgBytes);
  EXPECT_TRUE(std::filesystem::exists(d + "head.bmp"));
  project = ReadText(d + "p.cvp");
  EXPECT_NE(project.find("Filename=head.bmp"), std::string::npos) << project;
  EXPECT_EQ(env.Prompts.Pending(), 0u);
}

TEST_F(PainterWindow, ADragOverALargeTexturePaintsEveryMoveAndRedrawsOnlyItsDabs) {
  // 4096x4096 in the masked section, which takes any size and keeps a 24-bit picture.
  auto texture = std::make_unique<TObjetoTextura>();
  texture->Bitmap = std::make_unique<TBitmap>(4096, 4096);
  for (int y = 0; y < 4096; ++y) {
    uint8_t* row = texture->Bitmap->ScanLine(y);
    for (int x = 0; x < 4096; ++x) {
      row[3 * x] = static_cast<uint8_t>(x >> 4);
      row[3 * x + 1] = static_cast<uint8_t>(128 + (y >> 5));
      row[3 * x + 2] = 60;
    }
  }
  const TBitmap original = *texture->Bitmap;
  TSkinNode* node = AddTexture(editor_test::SectionNode(skin, 4), std::move(texture), "< Default >");
  Show(node);
  TObjetoTextura& t = *node->Texture;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  const TColor red = RGBColor(250, 0, 0);
  const int size = 3;
  C<TLabelScrollBar>(*w, "brush_size")->SetValue(size);
  C<TLabelScrollBar>(*w, "brush_intensity")->SetValue(100);
  SetPaintColor(*w, red);

  // The view's paint events, seen before the window's own filter draws them.
  struct TPaints : QObject {
    QObject* View = nullptr;
    std::vector<QRect> Rects;
    bool eventFilter(QObject* o, QEvent* e) override {
      if (o == View && e->type() == QEvent::Paint) Rects.push_back(static_cast<QPaintEvent*>(e)->rect());
      return false;
    }
  } paints;
  paints.View = Image();
  qApp->installEventFilter(&paints);

  // Forty moves close together where the view shows them, ten far over the texture.
  std::vector<QPoint> points;
  for (int i = 0; i <= 40; ++i) points.push_back(QPoint(20 + 5 * i, 20 + 4 * i));
  for (int i = 1; i <= 10; ++i) points.push_back(QPoint(400 * i - 300, 4000 - 390 * i));
  TBitmap mask(4096, 4096);
  mask.Fill(clBlack);
  // The view drawn whole once first (shown, scroll bars laid out); then only the stroke.
  QTest::qWait(300);
  paints.Rects.clear();
  QTest::mousePress(Image(), Qt::LeftButton, Qt::NoModifier, points[0]);
  BrushDab(mask, points[0].x(), points[0].y(), 100, size);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !paints.Rects.empty(); }, 5000)) << "the press was not drawn";
  paints.Rects.clear();
  int shownMoves = 0;
  for (size_t i = 1; i < points.size(); ++i) {
    const QPoint p = points[i];
    QTest::mouseMove(Image(), p);
    const QPoint from = points[i - 1];
    for (const TPixelPoint& d : DragPixels({from.x(), from.y()}, {p.x(), p.y()}, 4096, 4096, size))
      BrushDab(mask, d.X, d.Y, 100, size);
    // A move in view is drawn by the next update the window system asks for.
    const bool inView = Image()->visibleRegion().contains(p);
    if (inView) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return !paints.Rects.empty(); }, 5000)) << "move " << i << " not drawn";
    }
    QApplication::processEvents();
    // The dabs laid from the previous position to this one, and nothing beyond them.
    const QRect dabRect = QRect(QPoint(std::min(from.x(), p.x()), std::min(from.y(), p.y())),
                                QPoint(std::max(from.x(), p.x()), std::max(from.y(), p.y())))
                              .adjusted(-size / 2, -size / 2, size / 2, size / 2);
    for (const QRect& r : paints.Rects)
      EXPECT_TRUE(dabRect.contains(r)) << "move " << i << " repainted (" << r.x() << "," << r.y() << " " << r.width()
                                       << "x" << r.height() << ") beyond its dabs";
    shownMoves += inView && !paints.Rects.empty();
    paints.Rects.clear();
  }
  QTest::mouseRelease(Image(), Qt::LeftButton, Qt::NoModifier, points.back());
  qApp->removeEventFilter(&paints);
  EXPECT_GE(shownMoves, 20) << "the moves in view were drawn";

  // Every move painted its dabs, byte for byte what the whole picture recomputed gives.
  int dabs = 0;
  for (size_t i = 1; i < points.size(); ++i) dabs += t.Bitmap->Pixel(points[i].x(), points[i].y()) == red;
  EXPECT_EQ(dabs, 50);
  TBitmap whole = original;
  PaintPixels(original, mask, ptBrush, whole, red);
  EXPECT_TRUE(t.Bitmap->SameAs(whole));
  const QImage shown = Image()->grab(QRect(0, 0, 256, 256)).toImage();
  EXPECT_EQ(shown.pixelColor(points[10]), QColor(250, 0, 0));
  const QPoint beside = points[10] + QPoint(3, -3);  // off the drag's line
  const TColor was = original.Pixel(beside.x(), beside.y());
  EXPECT_EQ(shown.pixelColor(beside), QColor(GetRValue(was), GetGValue(was), GetBValue(was)));
  if (const char* shots = std::getenv("CORVANE_TEST_SCREENSHOTS"))
    w->grab().save(QString(shots) + "/painter-drag-4096.png");
}

// A box whose event loop runs for a while, as a user reading it lets it: the window's timers fire.
struct TBoxWithEventLoop : TScriptedPrompter {
  std::function<void()> During;
  int MessageBox(const std::string& caption, const std::string& text, TMsgButtons buttons, TMsgIcon icon) override {
    if (During) During();
    return TScriptedPrompter::MessageBox(caption, text, buttons, icon);
  }
};

TEST_F(PainterWindow, ALargeStrokesPalettesWaitForTheBoxOfAnImportThatReplacedItsTexture) {
  // 1100 x 1100 in the masked section: the stroke's palettes are built apart. The import replaces
  // the painted texture, then opens the size box of a texture that does not fit its section.
  const std::string large = editor_test::WritePicture(dir.Folder() + "skin4.bmp", 1100, 1100, 1);
  const std::string tooSmall = editor_test::WritePicture(dir.Folder() + "other/skin5.bmp", 32, 32, 2);
  TSkinNode* node = AddFromFile(4, large);
  w->Document().BuildPalettes();
  Show(node);
  Mouse(Image(), QEvent::MouseButtonPress, 10, 10);
  Mouse(Image(), QEvent::MouseMove, 200, 60);
  Mouse(Image(), QEvent::MouseButtonRelease, 200, 60);
  ASSERT_TRUE(w->Document().PalettesPending());

  TBoxWithEventLoop prompts;
  TScopedPrompter scoped(prompts);
  std::vector<std::string> drawnInBox;
  prompts.During = [&] {
    env.PreviewLog.clear();
    static_cast<void>(QTest::qWaitFor([&] { return !w->Document().PalettesPending(); }, 2000));
    drawnInBox = env.PreviewLog;
  };
  editor_test::WritePicture(large, 1100, 1100, 3);
  prompts.QueueOpenFiles(std::vector<std::string>{tooSmall, large});
  Act(*w, "mnu_Importtexture")->trigger();
  ASSERT_EQ(prompts.Messages().size(), 1u);
  EXPECT_EQ(prompts.Messages()[0].rfind("ERROR: ", 0), 0u) << prompts.Messages()[0];
  EXPECT_TRUE(drawnInBox.empty()) << "palettes were given out inside the box";

  w->Document().WaitForPalettes();
  EXPECT_FALSE(w->Document().Tree().PalettesStale());
  const HPALETTE shown = node->Texture->Palette;
  BuildPalettes(w->Document().Tree(), w->Document().PaletteMode());
  EXPECT_TRUE(shown->Entries == node->Texture->Palette->Entries) << "not the palette of the new pixels";
}

// Closing the window while a stroke runs ends the stroke first: its texture is offered for
// saving with the project.
TEST_F(PainterWindow, ClosingMidStrokeOffersThePaintedTexture) {
  TSkinNode* node = AddFromFile(3, editor_test::WritePicture(dir.Folder() + "talk.bmp", 64, 64, 1));
  Show(node);
  w->Document().SetUp({.ProjectFileName = dir.Folder() + "p.cvp"});
  Mouse(Image(), QEvent::MouseButtonPress, 5, 5);
  ASSERT_TRUE(w->Document().Painting());
  env.Prompts.QueueAnswer(mrYes);
  env.Prompts.QueueAnswer(mrNo);
  EXPECT_TRUE(w->close());
  EXPECT_FALSE(w->Document().Painting());
  EXPECT_TRUE(node->Texture->Modified);
  EXPECT_EQ(env.Prompts.Messages(),
            (std::vector<std::string>{"Save Project: Save the project?",
                                      "Saving...: Save modified texture Skin/Talk/< Default > ?"}));
}
