#include "editor/crvn_newgroup.h"

#include <QLineEdit>
#include <QPushButton>

#include "editor/DialogExec.h"
#include "ui_crvn_newgroup.h"

Tfrm_newgroup::Tfrm_newgroup(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Tfrm_newgroup>()) {
  ui->setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  // The code is four letters or left empty (the description then gives it): a code typed only
  // in part is refused. A code put in by the program (Edit Skin) stands until it is edited.
  connect(ui->groupcode, &QLineEdit::textEdited, this, [this] {
    int letters = 0;
    for (QChar c : ui->groupcode->text())
      if (c.isLetter()) ++letters;
    ui->btn_ok->setEnabled(letters == 0 || letters == 4);
  });
  connect(ui->btn_ok, &QPushButton::clicked, this, [this] { done(1); });
  connect(ui->btn_cancel, &QPushButton::clicked, this, [this] { done(2); });
}

Tfrm_newgroup::~Tfrm_newgroup() = default;

std::optional<Tfrm_newgroup::TAnswer> Tfrm_newgroup::Ask(const std::string& description, const std::string& code) {
  ui->groupdescription->setText(QString::fromStdString(description));
  ui->groupcode->setText(QString::fromStdString(code));
  const QString shownCode = ui->groupcode->text();
  if (ExecDialog(*this) != 1) return std::nullopt;
  TAnswer answer{ui->groupdescription->text().toStdString(), std::nullopt};
  if (ui->groupcode->text() != shownCode) answer.TypedCode = ui->groupcode->text().toStdString();
  return answer;
}
