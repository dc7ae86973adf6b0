#include "editor/crvn_newgroup.h"

#include <QPushButton>

#include "ui_crvn_newgroup.h"

Tfrm_newgroup::Tfrm_newgroup(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Tfrm_newgroup>()) {
  ui->setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  connect(ui->btn_ok, &QPushButton::clicked, this, [this] { done(1); });
  connect(ui->btn_cancel, &QPushButton::clicked, this, [this] { done(2); });
}

Tfrm_newgroup::~Tfrm_newgroup() = default;
