#pragma once
// The open-picture dialog's preview: a pane beside the file list that shows the file under the
// cursor. The pane itself comes from a factory the program installs (it knows the picture
// classes); without one the dialog has no preview.
#include <QWidget>
#include <functional>

class TPicturePreviewPane : public QWidget {
 public:
  using QWidget::QWidget;
  // The file under the cursor; an empty name or a folder clears the pane.
  virtual void ShowFile(const QString& fileName) = 0;
};

using TPicturePreviewFactory = std::function<TPicturePreviewPane*(QWidget* parent)>;
void SetPicturePreviewFactory(TPicturePreviewFactory factory);
const TPicturePreviewFactory& PicturePreviewFactory();
