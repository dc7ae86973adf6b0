#pragma once
// The New Skin dialog (also Edit Skin): the skin's description and its four-letter code. Ok
// stays disabled while the code holds one to three letters.
#include <QDialog>
#include <memory>
#include <optional>
#include <string>

namespace Ui {
class Tfrm_newgroup;
}

class Tfrm_newgroup : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_newgroup(QWidget* parent = nullptr);
  ~Tfrm_newgroup() override;

  struct TAnswer {
    std::string Description;
    // Set only when the user changed the code field: the field takes letters only, so it may
    // show a given code cut short.
    std::optional<std::string> TypedCode;
  };
  // Runs the dialog showing a skin's description and code; nothing when cancelled.
  std::optional<TAnswer> Ask(const std::string& description, const std::string& code);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<Ui::Tfrm_newgroup> ui;
};
