#include "editor/crvn_newgroup.h"

#include <QEvent>
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
  // A click past the letters typed so far would leave the cursor where the mask takes nothing.
  ui->groupcode->installEventFilter(this);
  connect(ui->btn_ok, &QPushButton::clicked, this, [this] { done(1); });
  connect(ui->btn_cancel, &QPushButton::clicked, this, [this] { done(2); });
}

Tfrm_newgroup::~Tfrm_newgroup() = default;

bool Tfrm_newgroup::eventFilter(QObject* watched, QEvent* event) {
  // The press has placed the cursor by then; a drag that selected is left alone.
  if (watched == ui->groupcode && event->type() == QEvent::MouseButtonRelease && !ui->groupcode->hasSelectedText()) {
    const qsizetype firstFree = ui->groupcode->displayText().indexOf(QChar('_'));
    if (firstFree >= 0 && ui->groupcode->cursorPosition() > firstFree)
      ui->groupcode->setCursorPosition(static_cast<int>(firstFree));
  }
  return QDialog::eventFilter(watched, event);
}

std::optional<Tfrm_newgroup::TAnswer> Tfrm_newgroup::Ask(const std::string& description, const std::string& code) {
  ui->groupdescription->setText(QString::fromStdString(description));
  ui->groupcode->setText(QString::fromStdString(code));
  const QString shownCode = ui->groupcode->text();
  if (ExecDialog(*this) != 1) return std::nullopt;
  TAnswer answer{ui->groupdescription->text().toStdString(), std::nullopt};
  if (ui->groupcode->text() != shownCode) answer.TypedCode = ui->groupcode->text().toStdString();
  return answer;
}
