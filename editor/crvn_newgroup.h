#pragma once
// The New Skin dialog (also Edit Skin): the skin's description and its four-letter code. Ok
// stays disabled while the code holds one to three letters.
#include <QDialog>
#include <memory>

namespace Ui {
class Tfrm_newgroup;
}

class Tfrm_newgroup : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_newgroup(QWidget* parent = nullptr);
  ~Tfrm_newgroup() override;

  std::unique_ptr<Ui::Tfrm_newgroup> ui;
};
