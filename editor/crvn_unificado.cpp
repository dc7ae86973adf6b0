// The main window: its components, creation and destruction, closing, the shell menus and the
// project options, and the key and wheel preview.
#include "editor/crvn_unificado.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QStyle>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QTabBar>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <malloc.h>

#include "codecs/ImageFormats.h"
#include "controls/ColorPickerButton.h"
#include "controls/LabelScrollBar.h"
#include "editor/PicturePreview.h"
#include "editor/PreviewInterface.h"
#include "editor/crvn_about.h"
#include "model/crvn_struc.h"
#include "platform/Bitmap.h"
#include "platform/Exceptions.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "platform/PictureLoader.h"
#include "platform/qt/ErrorBox.h"
#include "platform/qt/Guarded.h"
#include "ui_crvn_about.h"
#include "ui_crvn_unificado.h"

const char* const CorvaneVersion = "2.4.1";
const char* const CorvaneCaption = "Corvane v2.4.1";

namespace {
// Runs the desktop's launcher and reads its exit status: asking the desktop services reports
// success even when the launcher then finds no browser. A launcher still running after a few
// seconds has started a browser that keeps it waiting: that counts as started, and it is left
// to run.
bool OpenUrlWithLauncher(const std::string& url) {
  const QString launcher = QStandardPaths::findExecutable("xdg-open");
  if (launcher.isEmpty()) return false;
  auto* process = new QProcess;
  process->setProgram(launcher);
  process->setArguments({QString::fromStdString(url)});
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  process->start();
  if (!process->waitForStarted(5000)) {
    delete process;
    return false;
  }
  QElapsedTimer clock;
  clock.start();
  while (!process->waitForFinished(50)) {
    if (clock.elapsed() > 5000) {
      QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
      return true;
    }
    ProcessMessages();
  }
  const bool started = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
  delete process;
  return started;
}
}  // namespace

std::function<bool(const std::string& url)> Tmain_unificada::OpenUrl = OpenUrlWithLauncher;

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

Tmain_unificada::Tmain_unificada(QWidget* parent, std::unique_ptr<TPreview> preview)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::Tmain_unificada>()),
      Preview(preview ? std::move(preview) : std::make_unique<TPreview>()) {
  // Textures, their undo copies, view images and preview pictures run to many megabytes and
  // come and go with projects and strokes. glibc raises its threshold for mapping large blocks
  // each time one is freed, and later blocks of that size then stay in the heap after they are
  // freed: closing a project did not give its memory back. A fixed threshold keeps every large
  // block mapped on its own, returned to the system when freed.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  ui->setupUi(this);
  SetupComponents();
  FDocument.ShowBox = ShowBox();
  FSubscription =
      FDocument.AddObserver([this](unsigned changes, TSkinNode* select) { DocumentChanged(changes, select); });
  Preview->Attach(FDocument, ui->GLSceneViewer, PreviewPanel());
  ConnectHandlers();
  // A failure inside creation is shown and the window still opens, as with any handler.
  Guarded([this] { FormCreate(this); });
}

Tmain_unificada::~Tmain_unificada() {
  if (qApp) qApp->removeEventFilter(this);
  TimerRefrescoTexturas->stop();
  Guarded([this] { FormDestroy(this); });
}

void Tmain_unificada::SetupComponents() {
  // Tool tabs: the index is the painter's tool.
  for (const char* tool : {"Brush", "Tint", "Lighten", "Darken", "Picker"}) ui->tools->addTab(tool);
  ui->tools->setCurrentIndex(0);
  ui->tools->setExpanding(false);
  // The bar was laid out before its tabs existed: keep room for all of them.
  ui->tools->setMinimumSize(ui->tools->sizeHint());
  // The painter's controls.
  ui->ColorPickerButton1->SetCustomText("Custom Color");
  ui->ColorPickerButton1->SetPopupSpacing(8);
  ui->ColorPickerButton1->SetShowSystemColors(true);
  for (TLabelScrollBar* bar : {ui->brush_size, ui->brush_intensity}) {
    bar->SetLabelMargin(0);
    bar->SetLabelColor(bar->palette().color(QPalette::Button));
  }
  ui->brush_size->SetMinimum(1);
  ui->brush_size->SetMaximum(64);
  ui->brush_intensity->SetMinimum(1);
  ui->brush_intensity->SetMaximum(100);

  // The 3D view's placeholder shows the viewer's silver background.
  QPalette pal = ui->GLSceneViewer->palette();
  pal.setColor(QPalette::Window, QColor(192, 192, 192));
  ui->GLSceneViewer->setPalette(pal);
  ui->GLSceneViewer->setMouseTracking(true);
  ui->texture_preview_image->setMouseTracking(true);

  // Room for a 1024-pixel screen: buttons as narrow as their captions (the style would make
  // them 80 pixels), combos with a short list as wide as their longest item. StatusBarPreview
  // lies under both halves: its read-outs need more than the preview's half.
  for (QPushButton* b : {ui->btn_SaveEditedTexture, ui->btn_RevertEditedTexture, ui->btn_UndoEditedTexture,
                         ui->btn_refresh, ui->btn_saveposition})
    b->setMinimumWidth(b->fontMetrics().horizontalAdvance(b->text()) +
                       2 * (b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) +
                            b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b)));
  for (QComboBox* c : {ui->zoom, ui->team_selection}) {
    c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    c->setMinimumWidth(c->sizeHint().width());
  }
  // A narrow tree scrolls sideways rather than cutting its texts.
  ui->ArbolTexturas->header()->setStretchLastSection(false);
  ui->ArbolTexturas->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

  // StatusBarPreview's four panels.
  static const int widths[4] = {115, 150, 170, 150};
  for (int i = 0; i < 4; ++i) {
    auto* panel = new QLabel(ui->StatusBarPreview);
    panel->setObjectName(QString("StatusBarPreviewPanel%1").arg(i));
    panel->setMinimumWidth(widths[i]);
    panel->setIndent(3);
    panel->setFrameShape(QFrame::NoFrame);
    ui->StatusBarPreview->addWidget(panel, i == 3 ? 1 : 0);
    StatusBarPreviewPanels[i] = panel;
  }
  StatusBarPreviewPanels[0]->setText("Model Default Position:");
  // The caption panel is sized for its text, whatever the font.
  StatusBarPreviewPanels[0]->setMinimumWidth(std::max(widths[0], StatusBarPreviewPanels[0]->sizeHint().width() + 4));
  StatusBarText = new QLabel(ui->StatusBar);
  StatusBarText->setObjectName("StatusBarText");
  ui->StatusBar->addWidget(StatusBarText, 1);

  // Radio groups: the button id is the item index.
  opt_reducepalettesGroup = new QButtonGroup(this);
  opt_reducepalettesGroup->addButton(ui->opt_reducepalettes0, 0);
  opt_reducepalettesGroup->addButton(ui->opt_reducepalettes1, 1);
  opt_reducepalettesGroup->addButton(ui->opt_reducepalettes2, 2);
  incrementosGroup = new QButtonGroup(this);
  incrementosGroup->addButton(ui->incrementos0, 0);
  incrementosGroup->addButton(ui->incrementos1, 1);
  incrementosGroup->addButton(ui->incrementos2, 2);

  ui->opt_notallowdownload->setVisible(false);
  ui->btnLaunchEditor->setVisible(false);
  ui->Panel_tools_texturas->setVisible(false);

  // The tree's pop-up: each item's data is the tree level it serves.
  PopupArbol = new QMenu(this);
  PopupArbol->setObjectName("PopupArbol");
  struct TItem {
    const char* name;
    const char* caption;
    int level;
  };
  for (const TItem& item :
       {TItem{"popuparbol_NewGroup", "New Skin...", 0}, TItem{"popuparbol_EditGroup", "Edit Skin...", 1},
        TItem{"popuparbol_DeleteGroup", "Delete Skin", 1}, TItem{"popuparbol_AddTexture", "Add Texture...", 2},
        TItem{"popuparbol_EditTextureDescription", "Edit Texture Description...", 3},
        TItem{"popuparbol_DeleteTexture", "Delete Texture", 3}}) {
    QAction* a = PopupArbol->addAction(item.caption);
    a->setObjectName(item.name);
    a->setData(item.level);
  }

  PopupPresets = new QMenu(this);
  PopupPresets->setObjectName("PopupPresets");
  for (const auto& [name, caption] :
       {std::pair{"mnu_PresetNew", "New..."}, std::pair{"mnu_PresetRemove", "Remove"},
        std::pair{"mnu_PresetRename", "Rename..."}, std::pair{"mnu_PresetSet", "Set with Current values"},
        std::pair{"mnu_PresetSaveinCVMX", "Save this presets"}}) {
    QAction* a = PopupPresets->addAction(caption);
    a->setObjectName(name);
  }

  TimerRefrescoTexturas = new QTimer(this);
  TimerRefrescoTexturas->setObjectName("TimerRefrescoTexturas");
  TimerRefrescoTexturas->setInterval(3000);

  OpenDialog1.DefaultExt = "cvp";
  OpenDialog1.Filter = "Corvane Projects (*.cvp)|*.cvp";
  OpenDialog1.Title = "Opening Corvane Project";
  SaveDialog1.DefaultExt = "cvp";
  SaveDialog1.Filter = "Corvane Projects (*.cvp)|*.cvp";
  OpenPictureDialog1.MultiSelect = true;
  OpenPictureDialog1.Title = "Select Texture file";
  // The open-picture dialog previews the file under the cursor; animated GIFs play there.
  OpenPictureDialog1.Preview = true;
  InstallPicturePreview();

  ui->SplitterMain->setStretchFactor(0, 1);
  ui->SplitterMain->setStretchFactor(1, 1);
  ui->SplitterEditor->setStretchFactor(0, 0);
  ui->SplitterEditor->setStretchFactor(1, 1);
  ui->SplitterEditor->setSizes({220, 300});
}

void Tmain_unificada::ConnectHandlers() {
  // Every handler runs guarded: an exception is shown in the error box and never crosses Qt.
  auto menu = [this](QAction* action, void (Tmain_unificada::*handler)(QObject*)) {
    connect(action, &QAction::triggered, this,
            GuardedSlot([this, action, handler](auto&&...) { (this->*handler)(action); }));
  };
  menu(ui->mnu_NewProject, &Tmain_unificada::mnu_NewProjectClick);
  menu(ui->mnu_LoadProject, &Tmain_unificada::mnu_LoadProjectClick);
  menu(ui->mnu_SaveProject, &Tmain_unificada::mnu_SaveProjectClick);
  menu(ui->mnu_SaveAs, &Tmain_unificada::mnu_SaveAsClick);
  menu(ui->mnu_ModelCompiler, &Tmain_unificada::mnu_ModelCompilerClick);
  menu(ui->mnu_Exit, &Tmain_unificada::mnu_ExitClick);
  menu(ui->mnu_RefreshTextures, &Tmain_unificada::mnu_RefreshTexturesClick);
  menu(ui->mnu_Importtexture, &Tmain_unificada::mnu_ImporttextureClick);
  menu(ui->mnu_CreateUTXINT, &Tmain_unificada::mnu_CreateUTXINTClick);
  menu(ui->mnu_CompileProjecttoUTXINTandInstallinUT, &Tmain_unificada::mnu_CompileProjecttoUTXINTandInstallinUTClick);
  menu(ui->mnu_HelpContents, &Tmain_unificada::mnu_HelpContentsClick);
  menu(ui->mnu_OpenGLInformation, &Tmain_unificada::mnu_OpenGLInformationClick);
  menu(ui->mnu_HelpAbout, &Tmain_unificada::mnu_HelpAboutClick);

  auto popupItem = [&](QMenu* popup, const char* name, void (Tmain_unificada::*handler)(QObject*)) {
    menu(popup->findChild<QAction*>(name), handler);
  };
  popupItem(PopupArbol, "popuparbol_NewGroup", &Tmain_unificada::popuparbol_NewGroupClick);
  popupItem(PopupArbol, "popuparbol_EditGroup", &Tmain_unificada::popuparbol_EditGroupClick);
  popupItem(PopupArbol, "popuparbol_DeleteGroup", &Tmain_unificada::popuparbol_DeleteGroupClick);
  popupItem(PopupArbol, "popuparbol_AddTexture", &Tmain_unificada::popuparbol_AddTextureClick);
  popupItem(PopupArbol, "popuparbol_EditTextureDescription", &Tmain_unificada::popuparbol_EditTextureDescriptionClick);
  popupItem(PopupArbol, "popuparbol_DeleteTexture", &Tmain_unificada::popuparbol_DeleteTextureClick);
  popupItem(PopupPresets, "mnu_PresetNew", &Tmain_unificada::mnu_PresetNewClick);
  popupItem(PopupPresets, "mnu_PresetRemove", &Tmain_unificada::mnu_PresetRemoveClick);
  popupItem(PopupPresets, "mnu_PresetRename", &Tmain_unificada::mnu_PresetRenameClick);
  popupItem(PopupPresets, "mnu_PresetSet", &Tmain_unificada::mnu_PresetSetClick);
  popupItem(PopupPresets, "mnu_PresetSaveinCVMX", &Tmain_unificada::mnu_PresetSaveinCVMXClick);

  // Pop-ups: the OnPopup handler runs first, then the menu opens.
  connect(ui->ArbolTexturas, &QWidget::customContextMenuRequested, this,
          GuardedSlot([this](const QPoint& pos) { PopupArbolPopup(PopupArbol, pos); }));
  connect(ui->presets, &QWidget::customContextMenuRequested, this, GuardedSlot([this](const QPoint& pos) {
            PopupPresetsPopup(PopupPresets);
            PopupPresets->popup(ui->presets->viewport()->mapToGlobal(pos));
          }));
  connect(ui->presets, &QListWidget::itemDoubleClicked, this,
          GuardedSlot([this](QListWidgetItem*) { presetsDblClick(ui->presets); }));
  // The preset chosen in the list and the key steps are the document's, which the preview reads.
  connect(ui->presets, &QListWidget::currentRowChanged, this,
          GuardedSlot([this](int row) { FDocument.ChoosePreset(row); }));
  connect(incrementosGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) FDocument.ChooseIncrements(id);
  });
  FDocument.ChooseIncrements(incrementosGroup->checkedId());
  connect(ui->ArbolTexturas, &QTreeWidget::currentItemChanged, this,
          GuardedSlot([this](QTreeWidgetItem*, QTreeWidgetItem*) { ArbolTexturasChange(ui->ArbolTexturas); }));
  connect(TimerRefrescoTexturas, &QTimer::timeout, this,
          GuardedSlot([this](auto&&...) { TimerRefrescoTexturasTimer(TimerRefrescoTexturas); }));

  // Clicks by the user only: setting a control from code does not count as an edit.
  auto click = [this](QAbstractButton* b, void (Tmain_unificada::*handler)(QObject*)) {
    connect(b, &QAbstractButton::clicked, this, GuardedSlot([this, b, handler](bool) { (this->*handler)(b); }));
  };
  click(ui->opt_mipmaps, &Tmain_unificada::opt_mipmapsClick);
  click(ui->opt_clientoptional, &Tmain_unificada::opt_clientoptionalClick);
  click(ui->opt_notallowdownload, &Tmain_unificada::opt_notallowdownloadClick);
  connect(opt_reducepalettesGroup, &QButtonGroup::idClicked, this,
          GuardedSlot([this](int) { opt_reducepalettesClick(ui->opt_reducepalettes); }));
  click(ui->cbEnableMasking, &Tmain_unificada::cbEnableMaskingClick);
  click(ui->btn_refresh, &Tmain_unificada::btn_refreshClick);
  click(ui->btn_saveposition, &Tmain_unificada::btn_savepositionClick);
  click(ui->btn_SaveEditedTexture, &Tmain_unificada::btn_SaveEditedTextureClick);
  click(ui->btn_RevertEditedTexture, &Tmain_unificada::btn_RevertEditedTextureClick);
  click(ui->btn_UndoEditedTexture, &Tmain_unificada::btn_UndoEditedTextureClick);
  ui->ColorPickerButton1->OnClick = [this](QObject* sender) { Guarded([&] { ColorPickerButton1Click(sender); }); };

  auto combo = [this](QComboBox* c, void (Tmain_unificada::*handler)(QObject*)) {
    connect(c, &QComboBox::activated, this, GuardedSlot([this, c, handler](int) { (this->*handler)(c); }));
  };
  combo(ui->skin_selection, &Tmain_unificada::skin_selectionChange);
  combo(ui->team_selection, &Tmain_unificada::team_selectionChange);
  combo(ui->face_selection, &Tmain_unificada::face_selectionChange);
  combo(ui->zoom, &Tmain_unificada::zoomChange);
  connect(ui->tbSeeWire, &QSlider::valueChanged, this, GuardedSlot([this](int) { tbSeeWireChange(ui->tbSeeWire); }));

  // Mouse over the 3D view and over the texture image; key presses and the wheel anywhere on
  // the window.
  ui->GLSceneViewer->installEventFilter(this);
  ui->texture_preview_image->installEventFilter(this);
  qApp->installEventFilter(this);
}

namespace {
// The last key press handed on to a control, while it may still travel to the control's parents.
const QEvent* gPassedKey = nullptr;
QPointer<QWidget> gPassedTo;
}  // namespace

bool Tmain_unificada::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyRelease: gPassedKey = nullptr; break;
    case QEvent::KeyPress: {
      auto* w = qobject_cast<QWidget*>(watched);
      if (!w || w->window() != this) break;
      auto* ke = static_cast<QKeyEvent*>(event);
      // Only typed characters; navigation keys and shortcuts keep working.
      if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) break;
      if (ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) break;
      const QByteArray text = ke->text().toLatin1();
      if (text.size() != 1) break;
      // A key a control was given and did not take travels on to its parents: it was seen.
      if (event == gPassedKey && gPassedTo && w->isAncestorOf(gPassedTo)) break;
      char key = text[0];
      Guarded([&] { FormKeyPress(this, key); });
      // The window consumes every typed character, but buttons, check boxes, radio buttons,
      // lists and the tree act on the key itself: Space and Enter must still reach them.
      const bool actsOnKeys = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w);
      const bool spaceOrEnter = ke->key() == Qt::Key_Space || ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter;
      if (actsOnKeys && spaceOrEnter) {
        gPassedKey = event;
        gPassedTo = w;
        break;
      }
      return true;
    }
    case QEvent::Wheel: {
      auto* w = qobject_cast<QWidget*>(watched);
      if (!w || w->window() != this) break;
      auto* we = static_cast<QWheelEvent*>(event);
      const int delta = we->angleDelta().y();
      if (delta == 0) break;
      const QPoint p = we->position().toPoint();
      bool handled = false;
      Guarded([&] { FormMouseWheel(this, delta, p.x(), p.y(), handled); });
      if (handled) return true;
      break;
    }
    case QEvent::WindowBlocked:     // a dialog opened over the window
    case QEvent::WindowDeactivate:  // another window took the mouse
    case QEvent::Hide:              // the painter's view went out of sight
      // A stroke cannot go on without the mouse: it ends as a release would end it.
      if (FDocument.Painting() && (watched == this || watched == ui->texture_preview_image))
        Guarded([this] { EndPaintStroke(); });
      break;
    case QEvent::Paint:
      if (watched != ui->texture_preview_image) break;
      PaintEditorImage(static_cast<QPaintEvent*>(event));
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
      // The viewer draws in a child of the 3D area; its mouse input is the area's.
      auto* w = qobject_cast<QWidget*>(watched);
      const bool viewer = w && (w == ui->GLSceneViewer || ui->GLSceneViewer->isAncestorOf(w));
      if (!viewer && watched != ui->texture_preview_image) break;
      auto* me = static_cast<QMouseEvent*>(event);
      const QPoint p = viewer ? w->mapTo(ui->GLSceneViewer, me->position().toPoint()) : me->position().toPoint();
      Guarded([&] {
        if (event->type() == QEvent::MouseMove) {
          if (viewer)
            GLSceneViewerMouseMove(watched, me->buttons(), me->modifiers(), p.x(), p.y());
          else
            texture_preview_imageMouseMove(watched, me->buttons(), me->modifiers(), p.x(), p.y());
        } else if (event->type() == QEvent::MouseButtonRelease) {
          if (viewer)
            GLSceneViewerMouseUp(watched, me->button(), me->buttons(), me->modifiers(), p.x(), p.y());
          else
            texture_preview_imageMouseUp(watched, me->button(), me->modifiers(), p.x(), p.y());
        } else {
          if (viewer)
            GLSceneViewerMouseDown(watched, me->button(), me->buttons(), me->modifiers(), p.x(), p.y());
          else
            texture_preview_imageMouseDown(watched, me->button(), me->modifiers(), p.x(), p.y());
        }
      });
      return true;
    }
    default: break;
  }
  return QMainWindow::eventFilter(watched, event);
}

void Tmain_unificada::FormCreate(QObject*) {
  // 1. The head-up sprite shows the talk texture only once a project is open.
  Preview->HideHUD();
  // 2. Caption and help page.
  setWindowTitle(CorvaneCaption);
  HelpFile = ProgramFolder() + "corvane.html";
  // 3. The model catalogue and the game folder. A broken extension file must not stop the
  // program: what was read before it stays in the catalogue and start-up goes on.
  const TCommandResult started = FDocument.Start();
  if (!started.Message.empty()) ShowErrorBox("FormCreate: " + started.Message);
  // 5. Dialogs start in the program folder.
  OpenPictureDialog1.InitialDir = ProgramFolder();
  OpenDialog1.InitialDir = ProgramFolder();
  SaveDialog1.InitialDir = ProgramFolder();
  // 6. Every registered picture format.
  SetPictureDialogFilter();
  // 7. Painter defaults.
  SetPaintColor(clBlack);
  ui->brush_size->SetValue(15);
  ui->brush_intensity->SetValue(50);
  ui->zoom->setCurrentIndex(0);
  // 8. The model's default position.
  Preview->UpdateCaption();
  TimerRefrescoTexturas->start();
}

void Tmain_unificada::FormDestroy(QObject*) {
  if (FDestroyed) return;
  FDestroyed = true;
  FDocument.EndSession();
}

void Tmain_unificada::FormCloseQuery(QObject*, bool& CanClose) {
  // Yes saves and No does not, and either way the window closes; a question put away
  // unanswered keeps the window and the work. A painted texture that was not saved counts as a
  // change too: a stroke still running ends first, so its texture is offered for saving.
  if (FDocument.Painting()) EndPaintStroke();
  CanClose = SaveProjectFirst();
}

void Tmain_unificada::closeEvent(QCloseEvent* event) {
  // A long operation (compile, import, load) pumps messages as it goes; a close request arriving
  // then would save or free the project under it. The user can close once it has finished.
  if (IsBusy()) {
    event->ignore();
    return;
  }
  bool canClose = true;
  // When saving fails the window stays open, so the unsaved project is not lost.
  if (!Guarded([&] { FormCloseQuery(this, canClose); })) canClose = false;
  if (canClose)
    event->accept();
  else
    event->ignore();
}

void Tmain_unificada::FormKeyPress(QObject*, char& Key) {
  Preview->KeyPress(Key);
  Key = 0;
}

void Tmain_unificada::FormMouseWheel(QObject*, int WheelDelta, int, int, bool& Handled) {
  Preview->MouseWheel(WheelDelta);
  Handled = true;
}

void Tmain_unificada::mnu_ExitClick(QObject*) { close(); }

void Tmain_unificada::mnu_HelpContentsClick(QObject*) {
  if (!FileExists(HelpFile)) {
    MessageBox(ApplicationTitle(), "The help page " + HelpFile + " is missing.", TMsgButtons::OK, TMsgIcon::Warning);
    return;
  }
  QUrl url = QUrl::fromLocalFile(Q(HelpFile));
  url.setFragment("contents");
  const std::string address = url.toString().toStdString();
  if (!OpenUrl || !OpenUrl(address))
    MessageBox(ApplicationTitle(), "No web browser could be started. The help page is " + HelpFile + ".",
               TMsgButtons::OK, TMsgIcon::Information);
}

void Tmain_unificada::mnu_HelpAboutClick(QObject*) {
  Tfrm_AboutBox box(this);
  box.ui->Version->setText(QString("Version ") + CorvaneVersion);
  box.exec();
}

void Tmain_unificada::mnu_OpenGLInformationClick(QObject*) { Preview->ShowOpenGLInformation(); }

void Tmain_unificada::opt_mipmapsClick(QObject*) { FDocument.ChooseOptions(ProjectOptions()); }
void Tmain_unificada::opt_clientoptionalClick(QObject*) { FDocument.ChooseOptions(ProjectOptions()); }
void Tmain_unificada::opt_notallowdownloadClick(QObject*) { FDocument.ChooseOptions(ProjectOptions()); }

void Tmain_unificada::opt_reducepalettesClick(QObject*) {
  FDocument.ChoosePaletteMode(PaletteModeFromIndex(opt_reducepalettesGroup->checkedId()));
}

uint32_t Tmain_unificada::PaintColor() const {
  // A system colour chosen in the pop-up paints in its RGB value.
  return ColorToRGB(ui->ColorPickerButton1->SelectionColor());
}

void Tmain_unificada::SetPaintColor(uint32_t color) { ui->ColorPickerButton1->SetSelectionColor(color); }

void Tmain_unificada::SetPictureDialogFilter() {
  // Every picture class, the platform's and the codecs', comes from the codecs' one table,
  // registered here at the latest.
  InitImageFormats();
  OpenPictureDialog1.DefaultExt = PictureLoader().GraphicExtension();
  OpenPictureDialog1.Filter = PictureLoader().GraphicFilter();
}
