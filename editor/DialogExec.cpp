#include "editor/DialogExec.h"

#include <QDialog>

namespace {
TDialogExecHook& Hook() {
  static TDialogExecHook hook;
  return hook;
}
}  // namespace

int ExecDialog(QDialog& dialog) {
  if (Hook()) return Hook()(dialog);
  return dialog.exec();
}

TDialogExecHook SetDialogExecHook(TDialogExecHook hook) {
  TDialogExecHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}
