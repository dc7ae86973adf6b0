// The preview routines of the main window. The preview itself (scene, viewer, camera, keys)
// lives behind TPreview and reads its choices from the document; the window turns the preview
// panel's input into document choices, shows the document's choices, and tells the preview
// what else happened.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSignalBlocker>

#include <algorithm>

#include "editor/PreviewInterface.h"
#include "editor/crvn_unificado.h"
#include "platform/Exceptions.h"
#include "ui_crvn_unificado.h"

namespace {
QStringList Texts(const std::vector<std::string>& items) {
  QStringList texts;
  for (const std::string& item : items) texts << QString::fromStdString(item);
  return texts;
}

// A list that did not change is left as it stands, so an open list keeps its place.
void ShowItems(QComboBox* combo, const std::vector<std::string>& items, int chosen) {
  QSignalBlocker block(combo);
  QStringList shown;
  for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
  if (shown != Texts(items)) {
    combo->clear();
    combo->addItems(Texts(items));
    // A combo whose items are few and short keeps room for the widest (the team labels): the
    // layout would squeeze it to the width its first items needed.
    if (combo->sizeAdjustPolicy() == QComboBox::AdjustToContents)
      combo->setMinimumWidth(std::max(combo->minimumWidth(), combo->sizeHint().width()));
  }
  combo->setCurrentIndex(chosen);
}
}  // namespace

void Tmain_unificada::skin_selectionChange(QObject*) {
  Prefixed("SkinSelectionChange: ", [this] { FDocument.ChooseSkin(ui->skin_selection->currentIndex()); });
}

void Tmain_unificada::team_selectionChange(QObject*) {
  Prefixed("TeamSelectionChange: ", [this] { FDocument.ChooseTeam(ui->team_selection->currentIndex()); });
}

void Tmain_unificada::face_selectionChange(QObject*) {
  Prefixed("FaceSelectionChange: ", [this] { FDocument.ChooseFace(ui->face_selection->currentIndex()); });
}

void Tmain_unificada::cbEnableMaskingClick(QObject*) { FDocument.ChooseMasking(ui->cbEnableMasking->isChecked()); }
void Tmain_unificada::btn_refreshClick(QObject*) { Preview->RefreshClick(); }

void Tmain_unificada::ShowPreviewChoices(unsigned changes) {
  const TPreviewChoices& c = FDocument.Choices();
  if (changes & dcSelection) {
    ShowItems(ui->skin_selection, c.Skins, c.Skin);
    ShowItems(ui->team_selection, c.Teams, c.Team);
    ShowItems(ui->face_selection, c.Faces, c.Face);
    ui->cbEnableMasking->setChecked(c.Masking);
  }
  if (changes & dcPresets) {
    QStringList names, shown;
    for (const TCameraPreset& p : FState.CurrentModel()->Presets) names << QString::fromStdString(p.Name);
    QListWidget* list = ui->presets;
    QSignalBlocker block(list);
    for (int i = 0; i < list->count(); ++i) shown << list->item(i)->text();
    if (shown != names) {
      list->clear();
      list->addItems(names);
    }
    list->setCurrentRow(c.Preset);
  }
}

TPreviewPanel Tmain_unificada::PreviewPanel() {
  TPreviewPanel panel;
  panel.ShowFrameRate = [this](const std::string& text) { ui->Panel_fps->setText(QString::fromStdString(text)); };
  panel.ShowPosition = [this](const std::array<std::string, 3>& texts) {
    for (size_t i = 0; i < texts.size(); ++i) StatusBarPreviewPanels[i + 1]->setText(QString::fromStdString(texts[i]));
  };
  return panel;
}

void Tmain_unificada::GLSceneViewerMouseDown(QObject*, Qt::MouseButton Button, Qt::MouseButtons Buttons,
                                             Qt::KeyboardModifiers Shift, int X, int Y) {
  Preview->MouseDown(Button, Buttons, Shift, X, Y);
}

void Tmain_unificada::GLSceneViewerMouseMove(QObject*, Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift, int X,
                                             int Y) {
  Preview->MouseMove(Buttons, Shift, X, Y);
}

void Tmain_unificada::GLSceneViewerMouseUp(QObject*, Qt::MouseButton Button, Qt::MouseButtons Buttons,
                                           Qt::KeyboardModifiers Shift, int X, int Y) {
  Preview->MouseUp(Button, Buttons, Shift, X, Y);
}

void Tmain_unificada::presetsDblClick(QObject*) { Preview->PresetsDblClick(); }

void Tmain_unificada::PopupPresetsPopup(QObject*) {
  if (auto* remove = PopupPresets->findChild<QAction*>("mnu_PresetRemove"))
    remove->setEnabled(FDocument.CanRemovePreset());
}

void Tmain_unificada::mnu_PresetNewClick(QObject*) { Preview->PresetNewClick(); }
void Tmain_unificada::mnu_PresetRemoveClick(QObject*) { Preview->PresetRemoveClick(); }
void Tmain_unificada::mnu_PresetRenameClick(QObject*) { Preview->PresetRenameClick(); }
void Tmain_unificada::mnu_PresetSetClick(QObject*) { Preview->PresetSetClick(); }
