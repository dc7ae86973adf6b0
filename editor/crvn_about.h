#pragma once
// The About box: product name, version and a line on what the program does.
#include <QDialog>
#include <memory>

namespace Ui {
class Tfrm_AboutBox;
}

class Tfrm_AboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_AboutBox(QWidget* parent = nullptr);
  ~Tfrm_AboutBox() override;

  std::unique_ptr<Ui::Tfrm_AboutBox> ui;
};
