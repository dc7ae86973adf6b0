#pragma once
// The Prompter that shows real Qt dialogs, parented to the active window.
#include "platform/qt/Prompter.h"

class TQtPrompter : public Prompter {
 public:
  int MessageBox(const std::string& caption, const std::string& text, TMsgButtons buttons, TMsgIcon icon) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
  bool OpenFileDialog(const TFileDialogOptions& options, std::vector<std::string>& fileNames) override;
  bool SaveFileDialog(const TFileDialogOptions& options, std::string& fileName) override;
  bool ColorDialog(uint32_t& color) override;
};
