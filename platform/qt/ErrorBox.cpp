#include "platform/qt/ErrorBox.h"

#include "platform/qt/Prompter.h"

void ShowErrorBox(const std::string& message) {
  CurrentPrompter().MessageBox(ApplicationTitle(), message, TMsgButtons::OK, TMsgIcon::Stop);
}

void ShowException(const std::exception& e) { ShowErrorBox(e.what()); }
