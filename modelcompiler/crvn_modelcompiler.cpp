#include "modelcompiler/crvn_modelcompiler.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "controls/EditCtrls.h"
#include "modelcompiler/ModelCompilerCore.h"
#include "platform/Paths.h"
#include "platform/qt/Guarded.h"
#include "platform/qt/Prompter.h"
#include "ui_crvn_modelcompiler.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Keeps the hourglass for the lifetime of the object, however the block ends.
struct TBusyCursor {
  TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
};

void FillList(QListWidget* list, const std::vector<std::string>& lines) {
  list->clear();
  for (const std::string& l : lines) list->addItem(Q(l));
}

}  // namespace

Tmodelcompiler::Tmodelcompiler(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::Tmodelcompiler>()), FCore(std::make_unique<TModelCompilerCore>()) {
  ui->setupUi(this);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFixedSize(490, 359);
  ui->utpackage->Dialog.Title = "Select package file";
  ui->utpackage->Dialog.Options |= ofFileMustExist;
  ui->modelfile->Dialog.Title = "Select model file";
  ui->modelfile->Dialog.Options |= ofFileMustExist;
  // The form's file edits: the ellipsis on a 13-pixel button.
  for (TFilenameEdit* edit : {ui->utpackage, ui->modelfile}) {
    edit->SetButtonWidth(13);
    edit->SetGlyphKind(gkEllipsis);
  }
  ui->modelfile->Dialog.Filter =
      "All models (*_d.3d;*.3ds;*.ms3d;*.p3d)|*_d.3d;*.3ds;*.ms3d;*.p3d|Unreal 3D (*_d.3d)|*_d.3d|"
      "3DStudio (*.3ds)|*.3ds|MilkShape3D (*.ms3d)|*.ms3d|Painter3D (*.p3d)|*.p3d";
  ui->lodmesh->setSortingEnabled(true);
  FCore->Status = [this](const std::string& text) { SetStatus(text); };
  FCore->ConfirmOverwrite = [] {
    return MessageBox("Warning", "The CVMX file already exists, overwrite?", TMsgButtons::YesNo, TMsgIcon::Question) ==
           mrYes;
  };

  ui->utpackage->OnBeforeDialog = [this](QObject* s, std::string& n, bool& a) { utpackageBeforeDialog(s, n, a); };
  ui->utpackage->OnAfterDialog = [this](QObject* s, std::string& n, bool& a) {
    Guarded([&] { utpackageAfterDialog(s, n, a); });
  };
  ui->modelfile->OnAfterDialog = [this](QObject* s, std::string& n, bool& a) {
    Guarded([&] { modelfileAfterDialog(s, n, a); });
  };
  ui->utpackage->OnNameTyped = [this](QObject*, const std::string& n) { Guarded([&] { ScanPackage(n); }); };
  ui->modelfile->OnNameTyped = [this](QObject*, const std::string& n) { Guarded([&] { LoadModelInfo(n); }); };
  // Finish takes no focus from a click: a name just typed stays unread, and Finish says so.
  ui->btn_ok_lm->setFocusPolicy(Qt::TabFocus);
  connect(ui->game, &QComboBox::currentIndexChanged, this, GuardedSlot([this] { gameChange(); }));
  connect(ui->lodmesh, &QListWidget::currentRowChanged, this, GuardedSlot([this] {
            if (!FFilling) lodmeshChange();
          }));
  connect(ui->animseq_lm, &QComboBox::currentIndexChanged, this, GuardedSlot([this] {
            if (!FFilling) animseq_lmChange();
          }));
  connect(ui->cbGenerateCVMD, &QCheckBox::clicked, this, GuardedSlot([this] { cbGenerateCVMDClick(); }));
  connect(ui->cbUseAbsoluteFrame, &QCheckBox::clicked, this, GuardedSlot([this] { cbUseAbsoluteFrameClick(); }));
  connect(ui->btn_compile_lm, &QPushButton::clicked, this, GuardedSlot([this] { btn_compile_lmClick(); }));
  connect(ui->btn_GetMeshData, &QPushButton::clicked, this, GuardedSlot([this] { btn_GetMeshDataClick(); }));
  connect(ui->btn_matup, &QToolButton::clicked, this, GuardedSlot([this] { btn_matupClick(); }));
  connect(ui->btn_matdown, &QToolButton::clicked, this, GuardedSlot([this] { btn_matdownClick(); }));
  connect(ui->btn_Compilar, &QPushButton::clicked, this, GuardedSlot([this] { btn_CompilarClick(); }));
  connect(ui->btn_ok_lm, &QPushButton::clicked, this, GuardedSlot([this] { btn_ok_lmClick(); }));
  Guarded([this] { FormCreate(); });
}

Tmodelcompiler::~Tmodelcompiler() = default;

void Tmodelcompiler::SetStatus(const std::string& text) { ui->StatusBar->showMessage(Q(text)); }

void Tmodelcompiler::FormCreate() {
  SetStatus("Select model file or UT package.");
  ui->PageControl->setCurrentIndex(0);
  const QSignalBlocker block(ui->game);
  ui->game->setCurrentIndex(0);
  gameChange();
}

void Tmodelcompiler::gameChange() {
  const TGameKind game = static_cast<TGameKind>(std::max(0, ui->game->currentIndex()));
  FCore->Game = game;
  const TGameSettings s = GameSettings(game);
  FSystemFolder = s.SystemFolder;
  ui->cbUseINT->setChecked(s.UseInt);
  ui->utpackage->Dialog.InitialDir = ToNativePath(FSystemFolder);
}

void Tmodelcompiler::utpackageBeforeDialog(QObject*, std::string&, bool&) {
  ui->utpackage->Dialog.Filter = ui->cbUseINT->isChecked() ? "UT Package Definitions (*.int)|*.int|All files (*.*)|*.*"
                                                           : "UT Compiled Packages (*.u)|*.u|All files (*.*)|*.*";
}

void Tmodelcompiler::utpackageAfterDialog(QObject*, std::string& Name, bool& Action) {
  if (Action) ScanPackage(Name);
}

void Tmodelcompiler::SetPackageBusy(bool busy) { ui->tab_lodmesh->setEnabled(!busy); }

void Tmodelcompiler::RunPackageStep(const std::function<void()>& step) {
  TBusyCursor busy;
  SetPackageBusy(true);
  // The tab comes back however the step ends, before any box is shown.
  struct TEnable {
    Tmodelcompiler* W;
    ~TEnable() { W->SetPackageBusy(false); }
  } enable{this};
  step();
}

void Tmodelcompiler::ScanPackage(const std::string& fileName) {
  ui->Panel_package->setVisible(false);
  ui->Panel_modelo->setVisible(false);
  std::string note;
  try {
    RunPackageStep([&] {
      FFilling = true;
      ui->lodmesh->clear();
      FFilling = false;
      note = FCore->ScanPackage(fileName, ui->cbUseINT->isChecked());
      FReadPackage = fileName;
      if (note.empty()) {
        FFilling = true;
        for (size_t i = 0; i < FCore->PackageRoute().Rows.size(); ++i) {
          auto* item = new QListWidgetItem(Q(FCore->PackageRoute().Rows[i].Caption));
          item->setData(Qt::UserRole, static_cast<int>(i));
          ui->lodmesh->addItem(item);
        }
        FFilling = false;
      }
    });
  } catch (...) {
    // A search that failed ends as one that found no models: the status no longer says it
    // searches when the error box says why it stopped.
    SetStatus("");
    throw;
  }
  if (!note.empty()) {
    SetStatus("");
    MessageBox("NOTE", note);
    return;
  }
  ui->Panel_package->setVisible(true);
  SetStatus("Select the model");
  ui->lodmesh->setCurrentRow(0);  // runs lodmeshChange
}

void Tmodelcompiler::lodmeshChange() {
  QListWidgetItem* item = ui->lodmesh->currentItem();
  if (!item) return;
  std::string error;
  RunPackageStep([&] { error = FCore->ReadMeshObject(item->data(Qt::UserRole).toInt()); });
  if (!error.empty()) {
    MessageBox("ERROR", error);
    return;
  }
  const TPackageMesh& mesh = FCore->PackageRoute().Mesh;
  ui->edMenuname->setText(item->text());
  FillList(ui->information_lm,
           {mesh.IsLodMesh ? "Unreal LodMesh model" : "Unreal Mesh model",
            "Triangles = " + std::to_string(mesh.TriangleCount()), "Frames    = " + std::to_string(mesh.AnimFrames)});
  FFilling = true;
  ui->animseq_lm->clear();
  const std::vector<TAnimSeq> seqs = OfferedSequences(mesh);
  for (size_t i = 0; i < seqs.size(); ++i) ui->animseq_lm->addItem(Q(seqs[i].Name), static_cast<int>(i));
  ui->animseq_lm->model()->sort(0);
  int chosen = ui->animseq_lm->findText("Breath1");
  ui->animseq_lm->setCurrentIndex(chosen >= 0 ? chosen : 0);
  FFilling = false;
  animseq_lmChange();
  const int maxFrame = std::max(0, mesh.AnimFrames - 1);
  ui->frame_lm_abs->setMaximum(std::min(maxFrame, 9999));
  ui->frame_lm_abs->setValue(0);
  ui->label_maxframe_lm_abs->setText(Q("(max. " + std::to_string(mesh.AnimFrames - 1) + ")"));
  SetStatus("Select the frame and press the \"Compile\" button.");
  ui->Panel_modelo->setVisible(true);
}

void Tmodelcompiler::animseq_lmChange() {
  const std::vector<TAnimSeq> seqs = OfferedSequences(FCore->PackageRoute().Mesh);
  const int index = ui->animseq_lm->currentData().toInt();
  if (index < 0 || static_cast<size_t>(index) >= seqs.size()) return;
  const int maxFrame = seqs[static_cast<size_t>(index)].NumFrames - 1;
  ui->frame_lm->setMaximum(std::clamp(maxFrame, 0, 9999));
  ui->frame_lm->setValue(0);
  ui->label_maxframe_lm->setText(Q("(max. " + std::to_string(maxFrame) + ")"));
}

void Tmodelcompiler::cbGenerateCVMDClick() { ui->Panel_cvmd->setVisible(ui->cbGenerateCVMD->isChecked()); }

void Tmodelcompiler::cbUseAbsoluteFrameClick() {
  const bool absolute = ui->cbUseAbsoluteFrame->isChecked();
  ui->Panel_frame_abs->setEnabled(absolute);
  ui->Panel_frame_rel->setEnabled(!absolute);
}

void Tmodelcompiler::FinishCompile(const TCompileResult& result) {
  SetStatus("End of compilation, press the \"Finish\" button to leave.");
  MessageBox("Compilation", "Model compilation finished!");
  if (LoadModelExtensions) LoadModelExtensions();
  if (Models) {
    const std::string note = HiddenModelNote(*Models, result);
    if (!note.empty()) MessageBox("NOTE", note);
  }
}

void Tmodelcompiler::btn_compile_lmClick() {
  TCompileResult result;
  RunPackageStep([&] {
    const int frame = ui->cbUseAbsoluteFrame->isChecked()
                          ? ui->frame_lm_abs->value()
                          : FCore->AbsoluteFrame(ui->animseq_lm->currentData().toInt(), ui->frame_lm->value());
    result = FCore->CompilePackage(frame, ui->cbGenerateCVMD->isChecked(), ui->cbAddNormals->isChecked(),
                                   ui->edMenuname->text().toStdString());
  });
  FinishCompile(result);
}

void Tmodelcompiler::modelfileAfterDialog(QObject*, std::string& Name, bool& Action) {
  if (Action) LoadModelInfo(Name);
}

void Tmodelcompiler::LoadModelInfo(const std::string& fileName) {
  ui->Panel_datos->setVisible(false);
  ui->Panel_materiales->setVisible(false);
  const std::string refused = FCore->LoadModelInfo(fileName);
  if (!refused.empty()) {
    MessageBox("ERROR", refused);
    return;
  }
  FReadModel = fileName;
  ui->Panel_datos->setVisible(true);
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  const TModelInfo& info = FCore->External().Info;
  FillList(ui->information, info.Lines);
  ui->meshnum->setMaximum(std::min(info.MaxNumber, 9999));
  ui->meshnum->setValue(0);
  ui->Label_maxframe->setText(Q("(max. " + std::to_string(info.MaxNumber) + ")"));
  ui->meshnum->setEnabled(info.MaxNumber > 0);
  ui->btn_GetMeshData->setEnabled(ui->meshnum->isEnabled());
  SetStatus("Select the mesh/frame and press the \"Get Mesh Data\" button.");
  if (ui->meshnum->isEnabled())
    ui->meshnum->setFocus();
  else
    btn_GetMeshDataClick();
}

void Tmodelcompiler::ShowMaterials() {
  ui->lista_materiales->clear();
  for (const TMaterialRow& row : FCore->External().Rows) ui->lista_materiales->addItem(Q(row.Text));
}

void Tmodelcompiler::btn_GetMeshDataClick() {
  ui->Panel_materiales->setVisible(false);
  FCore->GetMeshData(ui->meshnum->value());
  if (!FCore->External().HaveMesh) return;
  ShowMaterials();
  for (const std::string& note : FCore->External().Notes) ui->information->addItem(Q(note));
  ui->edMenuName2->setText(Q(ChangeFileExt(ExtractFileName(FCore->External().ModelFileName), "")));
  ui->Panel_materiales->setVisible(true);
  SetStatus("Reorder the materials and press the \"Compile\" button.");
}

void Tmodelcompiler::btn_matupClick() {
  const int row = ui->lista_materiales->currentRow();
  if (row <= 0 || !FCore->MoveMaterial(row, -1)) return;
  ShowMaterials();
  ui->lista_materiales->setCurrentRow(row - 1);
}

void Tmodelcompiler::btn_matdownClick() {
  const int row = ui->lista_materiales->currentRow();
  if (row < 0 || !FCore->MoveMaterial(row, 1)) return;
  ShowMaterials();
  ui->lista_materiales->setCurrentRow(row + 1);
}

void Tmodelcompiler::btn_CompilarClick() {
  FinishCompile(FCore->CompileExternal(ui->edMenuName2->text().toStdString()));
}

void Tmodelcompiler::btn_ok_lmClick() {
  // A name in a file edit that was never read would be lost without a word.
  const std::pair<TFilenameEdit*, const std::string*> edits[] = {{ui->utpackage, &FReadPackage},
                                                                 {ui->modelfile, &FReadModel}};
  for (const auto& [edit, read] : edits) {
    const std::string name = edit->FileName();
    if (name.empty() || name == *read) continue;
    MessageBox("NOTE",
               "Nothing has been read from " + name + ": press Enter in its field to read it, or clear the field.");
    edit->setFocus();
    return;
  }
  done(mrOk);
}
