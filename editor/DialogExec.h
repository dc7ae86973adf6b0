#pragma once
// Shows the program's own dialogs modally. Tests install a hook that fills the dialog in and
// answers it, as the scripted prompter does for message boxes and file dialogs.
#include <functional>

class QDialog;

using TDialogExecHook = std::function<int(QDialog& dialog)>;

// The dialog's modal result: the hook's answer when one is installed, else exec().
int ExecDialog(QDialog& dialog);
// Installs hook (an empty one goes back to exec()) and returns the previous one.
TDialogExecHook SetDialogExecHook(TDialogExecHook hook);
