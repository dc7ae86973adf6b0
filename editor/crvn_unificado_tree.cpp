// The skin tree: its view, pop-up commands, import, selection and the reload of texture files
// changed on disk. The pop-up's dialogs hand their values to the document's commands
// (editor/EditorDocument.h); ArbolTexturas is rebuilt when the document says the tree changed.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QScrollArea>
#include <QTimer>
#include <QTreeWidget>

#include "editor/DialogExec.h"
#include "editor/SkinNaming.h"
#include "editor/crvn_newgroup.h"
#include "editor/crvn_newtexture.h"
#include "editor/crvn_unificado.h"
#include "model/crvn_struc.h"
#include "platform/MessagePump.h"
#include "platform/ScopeGuard.h"
#include "platform/StrUtils.h"
#include "platform/qt/BitmapImage.h"
#include "ui_crvn_unificado.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

void AddItems(QTreeWidgetItem* item, TSkinNode* node, TSkinNode* select, QTreeWidgetItem*& selected) {
  item->setText(0, Q(node->Text));
  item->setData(0, Qt::UserRole, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(node)));
  if (node == select) selected = item;
  for (const auto& c : node->Children()) AddItems(new QTreeWidgetItem(item), c.get(), select, selected);
  item->setExpanded(node->Expanded);
}

QTreeWidgetItem* ItemOfNode(QTreeWidget* view, const TSkinNode* node) {
  for (QTreeWidgetItemIterator it(view); *it; ++it)
    if ((*it)->data(0, Qt::UserRole).value<quintptr>() == reinterpret_cast<quintptr>(node)) return *it;
  return nullptr;
}

}  // namespace

TSkinNode* Tmain_unificada::NodeOfItem(const QTreeWidgetItem* item) const {
  return item ? reinterpret_cast<TSkinNode*>(item->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}

TSkinNode* Tmain_unificada::SelectedNode() const { return NodeOfItem(ui->ArbolTexturas->currentItem()); }

TObjetoTextura* Tmain_unificada::SelectedTexture() const {
  TSkinNode* n = SelectedNode();
  return n && n->Level() == 3 ? n->Texture.get() : nullptr;
}

TShowBox Tmain_unificada::ShowBox() const {
  return [](const std::string& caption, const std::string& text) {
    MessageBox(caption, text, TMsgButtons::OK, caption == "ERROR" ? TMsgIcon::Stop : TMsgIcon::Warning);
  };
}

void Tmain_unificada::RefreshTreeView(TSkinNode* select) {
  QTreeWidget* view = ui->ArbolTexturas;
  if (!view->property("corvaneTreeSignals").toBool()) {
    // The model remembers what is expanded, so a rebuilt view opens the same nodes.
    view->setProperty("corvaneTreeSignals", true);
    connect(view, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* i) {
      if (TSkinNode* n = NodeOfItem(i)) n->Expanded = true;
    });
    connect(view, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* i) {
      if (TSkinNode* n = NodeOfItem(i)) n->Expanded = false;
    });
  }
  if (!select) select = SelectedNode();
  QTreeWidgetItem* selected = nullptr;
  {
    QSignalBlocker block(view);
    view->clear();
    PopupNode = nullptr;
    if (TSkinNode* root = SkinTree.Root()) AddItems(new QTreeWidgetItem(view), root, select, selected);
    if (selected) view->setCurrentItem(selected);
  }
  ArbolTexturasChange(view);
}

void Tmain_unificada::PopupArbolPopup(QObject*, const QPoint& at) {
  QTreeWidget* view = ui->ArbolTexturas;
  // The item where the pop-up was asked for, not the one under the pointer now: the pointer
  // may have moved on since (and a menu key asks where no pointer is).
  QTreeWidgetItem* item = view->itemAt(at);
  // The tree selects with the right button too.
  if (item) view->setCurrentItem(item);
  PopupFor(item);
  FPopupArbolAt = view->viewport()->mapToGlobal(at);
  PopupArbol->popup(FPopupArbolAt);
}

void Tmain_unificada::PopupFor(QTreeWidgetItem* item) {
  PopupNode = item;
  TSkinNode* node = NodeOfItem(item);
  for (QAction* a : PopupArbol->actions()) a->setVisible(node && a->data().toInt() == node->Level());
}

bool Tmain_unificada::ShowResult(const TCommandResult& result) const {
  if (!result.Message.empty()) ShowBox()(result.Caption, result.Message);
  return result.Done;
}

void Tmain_unificada::DocumentChanged(unsigned changes, TSkinNode* select) {
  // The window is going away: its views are not worth rebuilding.
  if (FDestroyed) return;
  if (changes & (dcProject | dcFileName)) setWindowTitle(QString::fromStdString(FDocument.Caption()));
  if (changes & dcProject) {
    SetProjectOptions(FDocument.Options());
    EnableProjectItems();
  }
  if (changes & dcTree)
    RefreshTreeView(select);
  else if ((changes & dcTextures) && SelectedTexture())
    // Pixels read again or swapped: the tools follow the texture's format, the view its pixels.
    ArbolTexturasChange(ui->ArbolTexturas);
  ShowPreviewChoices(changes);
  // Palettes that no longer held when they came are being built again.
  WatchPalettes();
}

void Tmain_unificada::popuparbol_NewGroupClick(QObject*) {
  if (SkinTree.Empty()) return;
  Tfrm_newgroup dlg(this);
  const auto answer = dlg.Ask("", "");
  if (!answer) return;
  const TCommandResult r = FDocument.NewSkin(answer->Description, answer->TypedCode.value_or(""));
  if (!ShowResult(r)) return;
  if (QTreeWidgetItem* item = ItemOfNode(ui->ArbolTexturas, r.Node)) ui->ArbolTexturas->scrollToItem(item);
}

void Tmain_unificada::popuparbol_EditGroupClick(QObject*) {
  TSkinNode* skin = NodeOfItem(PopupNode);
  if (!skin || skin->Level() != 1) return;
  std::string description, code;
  SplitSkinText(skin->Text, description, code);
  Tfrm_newgroup dlg(this);
  if (const auto answer = dlg.Ask(description, code))
    ShowResult(FDocument.EditSkin(skin, answer->Description, answer->TypedCode));
}

void Tmain_unificada::popuparbol_DeleteGroupClick(QObject*) { FDocument.DeleteSkin(NodeOfItem(PopupNode)); }

void Tmain_unificada::popuparbol_AddTextureClick(QObject*) { TextureDialog(true); }

void Tmain_unificada::popuparbol_EditTextureDescriptionClick(QObject*) { TextureDialog(false); }

void Tmain_unificada::TextureDialog(bool New) {
  TSkinNode* node = NodeOfItem(PopupNode);
  TSkinNode* section = FDocument.TextureSection(node, New);
  if (!section) return;

  if (!frm_newtexture) {
    frm_newtexture = new Tfrm_newtexture(this);
    frm_newtexture->PictureDialog = &OpenPictureDialog1;
  }
  const auto answer = frm_newtexture->Ask(New, FDocument.TextureChoices(section, New ? nullptr : node));
  if (!answer) return;
  if (!New) {
    ShowResult(FDocument.ChangeTexture(node, answer->Choice));
    return;
  }
  const TCommandResult r = FDocument.AddTexture(section, answer->Choice, answer->FileName);
  if (!ShowResult(r)) return;
  if (QTreeWidgetItem* item = ItemOfNode(ui->ArbolTexturas, r.Node)) ui->ArbolTexturas->scrollToItem(item);
}

void Tmain_unificada::popuparbol_DeleteTextureClick(QObject*) { FDocument.DeleteTexture(NodeOfItem(PopupNode)); }

void Tmain_unificada::mnu_ImporttextureClick(QObject*) {
  if (SkinTree.Empty()) return;
  TFileDialogOptions options = OpenPictureDialog1;
  options.MultiSelect = true;
  std::vector<std::string> files;
  if (!CurrentPrompter().OpenFileDialog(options, files) || files.empty()) return;
  TBusyGuard busy;
  ShowResult(FDocument.ImportTextures(files));
}

void Tmain_unificada::ArbolTexturasChange(QObject*) {
  TSkinNode* node = SelectedNode();
  // The selection left the stroke's texture: the stroke cannot go on, and what it painted must
  // be kept as a release would keep it.
  if (FDocument.Painting() && !FDocument.PaintingOn(node)) EndPaintStroke();
  QScrollArea* box = ui->texture_preview_scrollbox;
  if (node && node->Level() == 3 && node->Texture && node->Texture->Bitmap) {
    const TObjetoTextura& t = *node->Texture;
    ui->Panel_tools_texturas->setVisible(true);
    ui->Panel_editor_texturas->setEnabled(true);
    TextureEditable = ::TextureEditable(t);
    ui->Panel_textools1->setVisible(TextureEditable);
    ui->Panel_textools2->setVisible(TextureEditable);
    RefreshEditorImage();
    StatusBarText->setText(Q(FDocument.NodeStatus(node)));
    return;
  }
  StatusBarText->setText(Q(FDocument.NodeStatus(node)));
  ClearEditorImage();
  box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ui->Panel_tools_texturas->setVisible(false);
  ui->Panel_editor_texturas->setEnabled(false);
  TextureEditable = false;
}

void Tmain_unificada::mnu_RefreshTexturesClick(QObject*) { FDocument.ReloadChangedTextures(); }

void Tmain_unificada::TimerRefrescoTexturasTimer(QObject*) {
  // Not in the middle of anything: a long operation pumping messages, an open box or dialog
  // (whose own event loop runs this timer), a paint stroke, or a reload already running.
  bool modal = QApplication::activeModalWidget() || QApplication::activePopupWidget();
  if (!RefreshMayRun(IsBusy(), modal, FDocument.Painting(), FDocument.Reloading())) return;
  // Textures read before a broken file are told by the document all the same; the broken file
  // is what is reported.
  Prefixed("RefreshTextures: ", [this] { FDocument.ReloadChangedTextures(); });
}
