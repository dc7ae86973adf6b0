#pragma once
// The Select Model dialog of New Project: one row per catalogue model with whether it has a
// mesh to preview. Ok stays disabled until a row is chosen; a double-click chooses at once.
#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class Tfrm_selectmodel;
}

class Tfrm_selectmodel : public QDialog {
  Q_OBJECT

 public:
  explicit Tfrm_selectmodel(QWidget* parent = nullptr);
  ~Tfrm_selectmodel() override;

  // A row: the model's name, its catalogue index, "Yes" or "No" under "Preview".
  void AddModel(const std::string& name, int catalogueIndex, bool hasMesh);
  // With no model at all, says where model files go and what makes them, instead of leaving
  // an empty list without a word.
  void ShowNoModels(const std::string& programFolder);
  // The catalogue index of the chosen row; -1 when none is chosen.
  int SelectedModel() const;

  void lista_modelosClick();
  void lista_modelosDblClick();

  std::unique_ptr<Ui::Tfrm_selectmodel> ui;
};
