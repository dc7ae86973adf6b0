#pragma once
// The OpenGL information dialog: what the viewer's rendering context offers. Created for each
// request and freed after it closes.
#include <QDialog>
#include <memory>

namespace Ui {
class TInfoForm;
}
class TGLSceneViewer;
struct TGLInfoTexts;

class TInfoForm : public QDialog {
  Q_OBJECT

 public:
  explicit TInfoForm(QWidget* parent = nullptr);
  ~TInfoForm() override;
  // Fills every page from the viewer's context (made current for the reading).
  void GetInfoFrom(TGLSceneViewer& viewer);
  void ShowTexts(const TGLInfoTexts& texts, const QString& viewerName);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::unique_ptr<Ui::TInfoForm> ui;
};
