// (replaced by the dialogs, error box and message pump)
