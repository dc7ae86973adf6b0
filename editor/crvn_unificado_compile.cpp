// The two compile commands of the Actions menu: the open project becomes a texture package
// and its .int file beside the project file, installed into the game folder on request.
#include <QApplication>
#include <QCursor>

#include "editor/PackageDescription.h"
#include "editor/crvn_unificado.h"
#include "model/crvn_struc.h"
#include "packages/CompilePackage.h"
#include "platform/MessagePump.h"
#include "platform/ScopeGuard.h"

void Tmain_unificada::mnu_CreateUTXINTClick(QObject*) { CompilePackage(false); }

void Tmain_unificada::mnu_CompileProjecttoUTXINTandInstallinUTClick(QObject*) { CompilePackage(true); }

void Tmain_unificada::CompilePackage(bool Install) {
  if (!FState.CurrentModel()) return;
  TCompileMessage message;
  {
    // Hourglass, a disabled window and the busy mark for the whole compile; all three are
    // undone on any exit, an exception included (it then goes on to the error box).
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ProcessMessages();
    setEnabled(false);
    TScopeGuard restore([this] {
      setEnabled(true);
      QApplication::restoreOverrideCursor();
    });
    TBusyGuard busy;
    const TPackageProject project = BuildPackageProject(SkinTree, *FState.CurrentModel(), ProjectOptions(),
                                                        FState.ProjectFileName(), FState.GameFolder());
    message = CompilePackageFiles(project, Install);
  }
  MessageBox(message.Caption, message.Text, TMsgButtons::OK, message.IsError ? TMsgIcon::Stop : TMsgIcon::Information);
}
