#pragma once
// Tmain_unificada: the main window, at once the skin editor and the 3D preview. It is a view of
// its TEditorDocument: it asks the user, hands the answers to the document's commands and shows
// what they did.
//
// The class is large, so its methods live in one file per topic (keep new methods in the
// file of their topic, and add fields to the block of the topic that needs them):
//   crvn_unificado.cpp              creation, destruction, closing, menus of the shell
//                                   (exit, help, about, OpenGL information), project
//                                   options, key and wheel preview, the component set-up
//   crvn_unificado_catalogue.cpp    the two partial model writers (btn_savepositionClick,
//                                   mnu_PresetSaveinCVMXClick)
//   crvn_unificado_preview.cpp      the preview panel's input, handed to the document or to
//                                   TPreview (editor/PreviewInterface.h)
//   crvn_unificado_project.cpp      New, Load, Save, Save As
//   crvn_unificado_tree.cpp         the skin tree, its pop-up, import, reload timer
//   crvn_unificado_painter.cpp      the texture painter
//   crvn_unificado_compile.cpp      the two compile commands
//   crvn_unificado_modelcompiler.cpp  the Model Compiler menu command
//
// Handlers take the object that triggered them as Sender; nullptr means "called by the
// program itself" (Save asks its question only then).
//
// Catalogue reloads (after saving the position or presets, or after a model compile) replace
// CurrentModel's parts with new objects: nothing may keep a TModeloPart pointer across a
// reload. Tree section nodes and the preview keep the section number and look the part up
// with CurrentModel->PartIndexOfSection.
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/EditorDocument.h"
#include "editor/EditorState.h"
#include "editor/PreviewInterface.h"
#include "editor/ProjectFile.h"
#include "editor/SkinTree.h"
#include "editor/TextureFiles.h"
#include "editor/TexturePainter.h"
#include "platform/qt/Prompter.h"

class QMenu;
class QTimer;
class QTreeWidgetItem;
class QButtonGroup;
class QLabel;
class QPaintEvent;
class TBitmap;
class TModelo;
class Tfrm_newtexture;

namespace Ui {
class Tmain_unificada;
}

// The program's version, shown in the caption and the About box.
extern const char* const CorvaneVersion;  // "2.4.1"
extern const char* const CorvaneCaption;  // "Corvane v2.4.1"
class Tmain_unificada : public QMainWindow {
  Q_OBJECT

  // The project and its commands; declared first, as SkinTree and FState refer into it.
  TEditorDocument FDocument;

 public:
  // Runs FormCreate. preview == nullptr installs the preview that draws nothing.
  explicit Tmain_unificada(QWidget* parent = nullptr, std::unique_ptr<TPreview> preview = nullptr);
  ~Tmain_unificada() override;

 private:
  // The form's components (names and captions as the form gives them).
  std::unique_ptr<Ui::Tmain_unificada> ui;
  QMenu* PopupArbol = nullptr;
  QMenu* PopupPresets = nullptr;
  QTimer* TimerRefrescoTexturas = nullptr;
  QButtonGroup* opt_reducepalettesGroup = nullptr;  // item index of opt_reducepalettes
  QButtonGroup* incrementosGroup = nullptr;         // item index of incrementos
  QLabel* StatusBarPreviewPanels[4] = {};           // the four panels of StatusBarPreview
  QLabel* StatusBarText = nullptr;                  // StatusBar's simple text
  TFileDialogOptions OpenDialog1;                   // project open
  TFileDialogOptions SaveDialog1;                   // project save
  TFileDialogOptions OpenPictureDialog1;            // texture files

 public:
  // The project, the catalogue and the game folder, apart from any widget; changed only through
  // the document's commands.
  TEditorDocument& Document() { return FDocument; }
  const TEditorState& State() const { return FState; }

 private:
  // ---- fields of the window (plain data) ----
  QTreeWidgetItem* PopupNode = nullptr;
  QPoint FPopupArbolAt;
  bool TextureEditable = false;
  // The application's help page (program folder + "corvane.html").
  std::string HelpFile;
  // The 3D preview behind the preview routines; never null.
  std::unique_ptr<TPreview> Preview;

 public:
  // Opens a help page URL in the desktop's browser; tests replace it. Returns false when no
  // browser could be started.
  static std::function<bool(const std::string& url)> OpenUrl;
  // Where the tree's pop-up was last asked to open, on screen.
  QPoint PopupArbolAt() const { return FPopupArbolAt; }

  // Everything below is the window's own: its widgets and menus call the handlers, tests press
  // those widgets and menu items.
 private:
  // ---- shell menus and project options (crvn_unificado.cpp) ----
  void mnu_OpenGLInformationClick(QObject* Sender);
  // Paint colour of ColorPickerButton1 (0x00BBGGRR).
  uint32_t PaintColor() const;
  void SetPaintColor(uint32_t color);

  // ---- model catalogue (crvn_unificado_catalogue.cpp) ----
  void btn_savepositionClick(QObject* Sender);
  void mnu_PresetSaveinCVMXClick(QObject* Sender);

  // ---- preview panel (crvn_unificado_preview.cpp) ----
  void skin_selectionChange(QObject* Sender);
  void team_selectionChange(QObject* Sender);
  void presetsDblClick(QObject* Sender);
  void mnu_PresetNewClick(QObject* Sender);
  void mnu_PresetRemoveClick(QObject* Sender);
  void mnu_PresetRenameClick(QObject* Sender);
  void mnu_PresetSetClick(QObject* Sender);

  // ---- project (crvn_unificado_project.cpp) ----
  void mnu_LoadProjectClick(QObject* Sender);
  void mnu_SaveProjectClick(QObject* Sender);
  // Enables the commands and panels that need an open project.
  void EnableProjectItems();

  // ---- skin tree (crvn_unificado_tree.cpp) ----
  // Runs for a pop-up asked at a point of the tree's viewport, and opens the menu there.
  void PopupArbolPopup(QObject* Sender, const QPoint& at);
  // The pop-up's items for a node's item (none for null), its commands aimed at it.
  void PopupFor(QTreeWidgetItem* item);
  void popuparbol_NewGroupClick(QObject* Sender);
  void popuparbol_EditGroupClick(QObject* Sender);
  void popuparbol_DeleteGroupClick(QObject* Sender);
  void popuparbol_AddTextureClick(QObject* Sender);
  void popuparbol_EditTextureDescriptionClick(QObject* Sender);
  void popuparbol_DeleteTextureClick(QObject* Sender);
  void TimerRefrescoTexturasTimer(QObject* Sender);
  TSkinNode* SelectedNode() const;
  // The selected texture's data, or null when no texture node is selected.
  TObjetoTextura* SelectedTexture() const;
  // Rebuilds ArbolTexturas from the document's tree and selects `select` (or keeps the
  // selection).
  void RefreshTreeView(TSkinNode* select = nullptr);

  // The document's tree; ArbolTexturas shows it (each item's data is its TSkinNode).
  TSkinTree& SkinTree = FDocument.Tree();
  Tfrm_newtexture* frm_newtexture = nullptr;  // made on first use, a child of the window
  TSkinNode* NodeOfItem(const QTreeWidgetItem* item) const;
  // Shows an OK box; the core's size check and reload report through it.
  TShowBox ShowBox() const;
  // Shows a refused command's message; returns whether the command was done.
  bool ShowResult(const TCommandResult& result) const;
  // Asks the New/Edit Texture dialog about PopupNode and hands the choice to the document.
  void TextureDialog(bool New);
  // The document changed: the caption and options (another project), the tree view, the
  // selected texture's view and the preview's combos follow.
  void DocumentChanged(unsigned changes, TSkinNode* select);

  // ---- texture painter (crvn_unificado_painter.cpp) ----
  void zoomChange(QObject* Sender);

  // Shows the selected texture with the wire overlay and zoom (nothing when none is selected).
  void RefreshEditorImage();
  // Shows the texture pixels of these rectangles again: the view image there and the widget's
  // update region.
  void ShowEditorImage(const std::vector<TPixelRect>& areas);
  void ClearEditorImage();
  // Draws EditorView into texture_preview_image (its paint events come here).
  void PaintEditorImage(QPaintEvent* event);
  // The Save As dialog for a texture whose file is not a Windows bitmap; false when cancelled.
  bool AskTextureBitmapName(const std::string& proposed, std::string& chosen);
  // 1, 2 or 4, from the zoom combo.
  int ZoomFactor() const;
  // What texture_preview_image shows, kept between dabs.
  TEditorView EditorView;
  // Looks for the palettes of a stroke built off the window's thread, and shows them once ready.
  QTimer* PaletteTimer = nullptr;
  // Runs the timer while the document builds palettes apart.
  void WatchPalettes();
  void PaletteTimerTimer();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Compiles the project to .utx and .int beside the project file; installs both when asked.
  void CompilePackage(bool Install);
  void SetupComponents();
  void ConnectHandlers();
  void SetPictureDialogFilter();
  // The handlers of the window's own widgets and menus (crvn_unificado*.cpp by topic).
  void FormCreate(QObject* Sender);
  void FormDestroy(QObject* Sender);
  void FormCloseQuery(QObject* Sender, bool& CanClose);
  void FormKeyPress(QObject* Sender, char& Key);
  void FormMouseWheel(QObject* Sender, int WheelDelta, int X, int Y, bool& Handled);
  void mnu_ExitClick(QObject* Sender);
  void mnu_HelpContentsClick(QObject* Sender);
  void mnu_HelpAboutClick(QObject* Sender);
  void opt_mipmapsClick(QObject* Sender);
  void opt_clientoptionalClick(QObject* Sender);
  void opt_notallowdownloadClick(QObject* Sender);
  void opt_reducepalettesClick(QObject* Sender);
  void face_selectionChange(QObject* Sender);
  void cbEnableMaskingClick(QObject* Sender);
  void btn_refreshClick(QObject* Sender);
  void GLSceneViewerMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::MouseButtons Buttons,
                              Qt::KeyboardModifiers Shift, int X, int Y);
  void GLSceneViewerMouseMove(QObject* Sender, Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift, int X, int Y);
  void GLSceneViewerMouseUp(QObject* Sender, Qt::MouseButton Button, Qt::MouseButtons Buttons,
                            Qt::KeyboardModifiers Shift, int X, int Y);
  void PopupPresetsPopup(QObject* Sender);
  // Shows the document's preview choices (dcSelection) and camera presets (dcPresets).
  void ShowPreviewChoices(unsigned changes);
  // Where the preview shows its frame rate and the model's position.
  TPreviewPanel PreviewPanel();
  void mnu_NewProjectClick(QObject* Sender);
  void mnu_SaveAsClick(QObject* Sender);
  // Close, New and Load: "Save the project?" when it needs saving, saved on Yes. False when
  // the question was put away unanswered (Escape, its box closed): the command does nothing.
  bool SaveProjectFirst();
  // The options as the Project Options tab shows them, and back.
  TProjectOptions ProjectOptions() const;
  void SetProjectOptions(const TProjectOptions& options);
  // The project's save dialog (New and Save As) for a model prefix; false when cancelled.
  bool AskProjectFileName(const std::string& prefix, std::string& fileName);
  // After New or Load: the result's box.
  void ProjectOpened(const TCommandResult& result);
  // The project save's questions: each painted texture, and a new bitmap for one that is not.
  TAskSaveTexture AskSaveTexture() const;
  TAskBitmapName AskBitmapName();
  void mnu_ImporttextureClick(QObject* Sender);
  void ArbolTexturasChange(QObject* Sender);
  void mnu_RefreshTexturesClick(QObject* Sender);
  void texture_preview_imageMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                                      int Y);
  void texture_preview_imageMouseMove(QObject* Sender, Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift, int X,
                                      int Y);
  void texture_preview_imageMouseUp(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
  void btn_UndoEditedTextureClick(QObject* Sender);
  void btn_SaveEditedTextureClick(QObject* Sender);
  void btn_RevertEditedTextureClick(QObject* Sender);
  void tbSeeWireChange(QObject* Sender);
  void ColorPickerButton1Click(QObject* Sender);
  // Ends the paint stroke in progress as a release does (the texture marked painted, palettes,
  // preview): called too whenever the stroke can no longer go on.
  void EndPaintStroke();
  void mnu_CreateUTXINTClick(QObject* Sender);
  void mnu_CompileProjecttoUTXINTandInstallinUTClick(QObject* Sender);
  void mnu_ModelCompilerClick(QObject* Sender);
  bool FDestroyed = false;
  const TEditorState& FState = FDocument.State();
  TEditorDocument::TSubscription FSubscription;
};
