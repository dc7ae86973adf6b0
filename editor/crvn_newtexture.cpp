#include "editor/crvn_newtexture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>

#include "editor/DialogExec.h"
#include "platform/qt/Guarded.h"
#include "ui_crvn_newtexture.h"

Tfrm_newtexture::Tfrm_newtexture(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Tfrm_newtexture>()) {
  ui->setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  connect(ui->bitmap_select, &QToolButton::clicked, this, GuardedSlot([this](bool) { bitmap_selectClick(); }));
  connect(ui->btn_ok, &QPushButton::clicked, this, [this] { done(1); });
  connect(ui->btn_cancel, &QPushButton::clicked, this, [this] { done(2); });
}

Tfrm_newtexture::~Tfrm_newtexture() = default;

void Tfrm_newtexture::bitmap_selectClick() {
  TFileDialogOptions options;
  if (PictureDialog) options = *PictureDialog;
  options.MultiSelect = false;
  std::vector<std::string> files;
  if (CurrentPrompter().OpenFileDialog(options, files) && !files.empty())
    ui->bitmap->setText(QString::fromStdString(files.front()));
}

std::optional<Tfrm_newtexture::TAnswer> Tfrm_newtexture::Ask(bool newTexture, const TTextureChoices& choices) {
  setWindowTitle(newTexture ? "New Texture" : "Edit Texture");
  ui->bitmap->clear();
  ui->bitmap->setEnabled(newTexture);
  ui->bitmap_select->setEnabled(newTexture);
  QComboBox* combo = ui->insert_as;
  combo->clear();
  combo->setEditable(choices.Editable);
  for (const std::string& c : choices.Items) combo->addItem(QString::fromStdString(c));
  combo->setCurrentIndex(newTexture ? 0 : std::max(0, combo->findText(QString::fromStdString(choices.Preselect))));
  if (ExecDialog(*this) != 1) return std::nullopt;
  return TAnswer{ui->bitmap->text().toStdString(), combo->currentText().toStdString()};
}
