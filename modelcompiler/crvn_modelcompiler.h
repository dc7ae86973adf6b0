#pragma once
// The model compiler window: two routes, a mesh in a game package ("UT LodMesh" tab) and an
// external model file, both ending in the writer. The window shows and forwards; the work is
// done by TModelCompilerCore.
#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "model/ModelCatalogue.h"

namespace Ui {
class Tmodelcompiler;
}
class TModelCompilerCore;
class QObject;

class Tmodelcompiler : public QDialog {
  Q_OBJECT

 public:
  explicit Tmodelcompiler(QWidget* parent = nullptr);
  ~Tmodelcompiler() override;

  std::unique_ptr<Ui::Tmodelcompiler> ui;
  TModelCompilerCore& Core() { return *FCore; }

  // The main window's catalogue reload, run after every compile, and its catalogue.
  std::function<void()> LoadModelExtensions;
  const TModelList* Models = nullptr;

  // The handlers, named as the form binds them.
  void FormCreate();
  void gameChange();
  void utpackageBeforeDialog(QObject* Sender, std::string& Name, bool& Action);
  void utpackageAfterDialog(QObject* Sender, std::string& Name, bool& Action);
  void lodmeshChange();
  void animseq_lmChange();
  void cbGenerateCVMDClick();
  void cbUseAbsoluteFrameClick();
  void btn_compile_lmClick();
  void modelfileAfterDialog(QObject* Sender, std::string& Name, bool& Action);
  void btn_GetMeshDataClick();
  void btn_matupClick();
  void btn_matdownClick();
  void btn_CompilarClick();
  void btn_ok_lmClick();

  // What the routes do once a file was chosen (the dialogs' accepted path).
  void ScanPackage(const std::string& fileName);
  void LoadModelInfo(const std::string& fileName);

 private:
  void SetStatus(const std::string& text);
  void ShowMaterials();
  void SetPackageBusy(bool busy);
  // Runs a step of the package route with the hourglass and the tab disabled.
  void RunPackageStep(const std::function<void()>& step);
  void FinishCompile(const struct TCompileResult& result);
  std::unique_ptr<TModelCompilerCore> FCore;
  std::string FSystemFolder;
  // The files each route read last (a name typed and not yet read differs).
  std::string FReadPackage, FReadModel;
  bool FFilling = false;
};
