// The two compile commands of the Actions menu: the open project becomes a texture package
// and its .int file beside the project file, installed into the game folder on request.
#include <QApplication>
#include <QCursor>

#include "editor/crvn_unificado.h"
#include "platform/MessagePump.h"
#include "platform/ScopeGuard.h"

void Tmain_unificada::mnu_CreateUTXINTClick(QObject*) { CompilePackage(false); }

void Tmain_unificada::mnu_CompileProjecttoUTXINTandInstallinUTClick(QObject*) { CompilePackage(true); }

void Tmain_unificada::CompilePackage(bool Install) {
  TCommandResult result;
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
    result = FDocument.CompilePackage(Install);
  }
  MessageBox(result.Caption, result.Message, TMsgButtons::OK, result.Done ? TMsgIcon::Information : TMsgIcon::Stop);
}
