#pragma once
// The New Texture dialog (also Edit Texture): the texture's picture file and what it is
// inserted as (default, a team, a face). Made once and kept; its caption is set per use.
#include <QDialog>
#include <memory>
#include <optional>
#include <string>

#include "editor/SkinTree.h"
#include "platform/qt/Prompter.h"

namespace Ui {
class Tfrm_newtexture;
}

class Tfrm_newtexture : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_newtexture(QWidget* parent = nullptr);
  ~Tfrm_newtexture() override;

  // The main window's picture dialog, used by the "..." button (one file only).
  const TFileDialogOptions* PictureDialog = nullptr;
  void bitmap_selectClick();

  struct TAnswer {
    std::string FileName;  // new textures only
    std::string Choice;    // what the texture is inserted as
  };
  // Runs the dialog for a new texture (a file to choose) or an edited one, offering choices;
  // nothing when cancelled.
  std::optional<TAnswer> Ask(bool newTexture, const TTextureChoices& choices);

 private:
  std::unique_ptr<Ui::Tfrm_newtexture> ui;
};
