// Project commands: New, Load, Save, Save As, the caption and the project options.
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QButtonGroup>
#include <QCheckBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>

#include "editor/DialogExec.h"
#include "editor/crvn_selectmodel.h"
#include "editor/crvn_unificado.h"
#include "model/crvn_struc.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "ui_crvn_unificado.h"

TProjectOptions Tmain_unificada::ProjectOptions() const {
  TProjectOptions o;
  o.OnlyFirstMipMap = ui->opt_mipmaps->isChecked();
  o.ReducePalettes = std::max(0, opt_reducepalettesGroup->checkedId());
  o.ClientOptional = ui->opt_clientoptional->isChecked();
  o.NotAllowDownload = ui->opt_notallowdownload->isChecked();
  return o;
}

void Tmain_unificada::SetProjectOptions(const TProjectOptions& o) {
  ui->opt_mipmaps->setChecked(o.OnlyFirstMipMap);
  if (QAbstractButton* b = opt_reducepalettesGroup->button(o.ReducePalettes)) b->setChecked(true);
  ui->opt_clientoptional->setChecked(o.ClientOptional);
  ui->opt_notallowdownload->setChecked(o.NotAllowDownload);
}

bool Tmain_unificada::AskProjectFileName(const std::string& prefix, std::string& fileName) {
  SaveDialog1.FileName = prefix;
  SaveDialog1.Title = "Saving Corvane Project (prefix must be \"" + prefix + "\")";
  return CurrentPrompter().SaveFileDialog(SaveDialog1, fileName);
}

void Tmain_unificada::EnableProjectItems() {
  for (QAction* a : {ui->mnu_SaveProject, ui->mnu_SaveAs, ui->mnu_Importtexture, ui->mnu_RefreshTextures,
                     ui->mnu_CreateUTXINT, ui->mnu_CompileProjecttoUTXINTandInstallinUT})
    a->setEnabled(true);
  ui->PageControl1->setEnabled(true);
  ui->Panel_preview->setEnabled(true);
  ui->StatusBarPreview->setEnabled(true);
}

void Tmain_unificada::ProjectOpened(const TCommandResult& result) {
  if (!result.Done) {
    ShowResult(result);
    return;
  }
  // The project's commands were enabled when the document told of the new project.
  // Texture files left out are listed once the project shows.
  ShowResult(result);
}

void Tmain_unificada::mnu_NewProjectClick(QObject*) {
  if (!SaveProjectFirst()) return;

  int chosen = -1;
  {
    Tfrm_selectmodel dlg(this);
    for (size_t i = 0; i < FState.Models().size(); ++i) {
      const TModelo& m = *FState.Models()[i];
      dlg.AddModel(m.Name, static_cast<int>(i), !m.File3D.empty() || !m.LodMesh.empty());
    }
    if (FState.Models().empty()) dlg.ShowNoModels(ProgramFolder());
    if (ExecDialog(dlg) != 1) return;
    chosen = dlg.SelectedModel();
  }
  if (chosen < 0 || chosen >= static_cast<int>(FState.Models().size())) return;

  // Cancelling the file dialog leaves the open project and its model as they are.
  std::string fileName;
  if (!AskProjectFileName(FState.Models()[static_cast<size_t>(chosen)]->Prefix, fileName)) return;
  ProjectOpened(FDocument.NewProject(static_cast<size_t>(chosen), fileName));
}

void Tmain_unificada::mnu_LoadProjectClick(QObject*) {
  if (!SaveProjectFirst()) return;

  std::vector<std::string> files;
  TFileDialogOptions options = OpenDialog1;
  options.MultiSelect = false;
  if (!CurrentPrompter().OpenFileDialog(options, files) || files.empty()) return;

  TCommandResult result;
  {
    // A large project takes a while: hourglass, a running count in the status bar, and the
    // window keeps painting between texture lines.
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    struct TRestore {
      QLabel* Status;
      QString Text;
      ~TRestore() {
        Status->setText(Text);
        QApplication::restoreOverrideCursor();
      }
    } restore{StatusBarText, StatusBarText->text()};
    TBusyGuard busy;
    result = FDocument.LoadProject(files.front(), [this](size_t done, size_t total) {
      if (done % 64 != 0 && done != total) return;
      StatusBarText->setText(QStringLiteral("Loading project: %1 of %2 sections").arg(done).arg(total));
      ProcessMessages();
    });
  }
  ProjectOpened(result);
}

TAskSaveTexture Tmain_unificada::AskSaveTexture() const {
  return [](const std::string& question) {
    return MessageBox("Saving...", question, TMsgButtons::YesNo, TMsgIcon::Question) == mrYes;
  };
}

TAskBitmapName Tmain_unificada::AskBitmapName() {
  return [this](const std::string& proposed, std::string& chosen) { return AskTextureBitmapName(proposed, chosen); };
}

void Tmain_unificada::mnu_SaveProjectClick(QObject* Sender) {
  if (!Sender && MessageBox("Save Project", "Save the project?", TMsgButtons::YesNo, TMsgIcon::Question) != mrYes)
    return;
  TBusyGuard busy;
  ShowResult(FDocument.SaveProject(AskSaveTexture(), AskBitmapName()));
}

bool Tmain_unificada::SaveProjectFirst() {
  if (!FDocument.NeedsSaving()) return true;
  const int answer = MessageBox("Save Project", "Save the project?", TMsgButtons::YesNo, TMsgIcon::Question);
  if (answer == mrYes) mnu_SaveProjectClick(this);
  return answer == mrYes || answer == mrNo;
}

void Tmain_unificada::mnu_SaveAsClick(QObject*) {
  if (!FDocument.ProjectOpen()) return;
  std::string fileName;
  if (!AskProjectFileName(FState.CurrentModel()->Prefix, fileName)) return;
  TBusyGuard busy;
  ShowResult(FDocument.SaveProjectAs(fileName, AskSaveTexture(), AskBitmapName()));
}
