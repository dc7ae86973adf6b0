#include "editor/crvn_about.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

#include "ui_crvn_about.h"

namespace {
// The box's picture: drawn rather than shipped, so the program needs no image files.
QPixmap AboutPicture() {
  QPixmap pix(64, 64);
  pix.fill(Qt::transparent);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(40, 70, 120));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(2, 2, 60, 60, 10, 10);
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(40);
  p.setFont(f);
  p.setPen(QColor(235, 200, 90));
  p.drawText(QRect(2, 2, 60, 60), Qt::AlignCenter, "C");
  return pix;
}
}  // namespace

Tfrm_AboutBox::Tfrm_AboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Tfrm_AboutBox>()) {
  ui->setupUi(this);
  ui->ProgramIcon->setPixmap(AboutPicture());
  QFont f = ui->ProductName->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.4);
  ui->ProductName->setFont(f);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFixedSize(sizeHint());
}

Tfrm_AboutBox::~Tfrm_AboutBox() = default;
