#include "platform/qt/ScriptedPrompter.h"

#include <cstdio>
#include <cstdlib>

namespace {
const char* ButtonsName(TMsgButtons b) {
  switch (b) {
    case TMsgButtons::OK: return "OK";
    case TMsgButtons::OKCancel: return "OK/Cancel";
    case TMsgButtons::YesNo: return "Yes/No";
    case TMsgButtons::YesNoCancel: return "Yes/No/Cancel";
  }
  return "?";
}
}  // namespace

void TScriptedPrompter::Unexpected(const std::string& what) {
  std::string message = "Scripted prompter: no answer queued for " + what;
  if (OnUnexpected) {
    OnUnexpected(message);
    return;
  }
  std::fprintf(stderr, "%s\n", message.c_str());
  std::abort();
}

size_t TScriptedPrompter::Pending() const {
  return FAnswers.size() + FInputs.size() + FOpenFiles.size() + FSaveFiles.size() + FColors.size();
}

std::vector<std::string> TScriptedPrompter::Messages() const {
  std::vector<std::string> r;
  for (const auto& s : Shown)
    if (s.Kind == TPromptRecord::pkMessage) r.push_back(s.Caption + ": " + s.Text);
  return r;
}

int TScriptedPrompter::MessageBox(const std::string& caption, const std::string& text, TMsgButtons buttons,
                                  TMsgIcon icon) {
  Shown.push_back({TPromptRecord::pkMessage, caption, text, buttons, icon});
  // An OK-only box leaves the queue alone: an answer queued for a later question must not be
  // taken by a notice shown before it (nor hide that the question was never asked).
  if (buttons == TMsgButtons::OK) return mrOk;
  if (FAnswers.empty()) {
    Unexpected(std::string(ButtonsName(buttons)) + " box \"" + caption + "\": \"" + text + "\"");
    return buttons == TMsgButtons::YesNo ? mrNo : mrCancel;
  }
  int a = FAnswers.front();
  FAnswers.pop_front();
  return a;
}

bool TScriptedPrompter::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  Shown.push_back({TPromptRecord::pkInput, caption, prompt});
  if (FInputs.empty()) {
    Unexpected("input box \"" + caption + "\": \"" + prompt + "\"");
    return false;
  }
  auto a = std::move(FInputs.front());
  FInputs.pop_front();
  if (!a) return false;
  value = *a;
  return true;
}

bool TScriptedPrompter::OpenFileDialog(const TFileDialogOptions& options, std::vector<std::string>& fileNames) {
  Shown.push_back({TPromptRecord::pkOpenFile, options.Title, options.Filter});
  FileDialogs.push_back(options);
  if (FOpenFiles.empty()) {
    Unexpected("open dialog \"" + options.Title + "\"");
    return false;
  }
  auto a = std::move(FOpenFiles.front());
  FOpenFiles.pop_front();
  if (!a || a->empty()) return false;
  fileNames = *a;
  return true;
}

bool TScriptedPrompter::SaveFileDialog(const TFileDialogOptions& options, std::string& fileName) {
  Shown.push_back({TPromptRecord::pkSaveFile, options.Title, options.Filter});
  FileDialogs.push_back(options);
  if (FSaveFiles.empty()) {
    Unexpected("save dialog \"" + options.Title + "\"");
    return false;
  }
  auto a = std::move(FSaveFiles.front());
  FSaveFiles.pop_front();
  if (!a) return false;
  fileName = *a;
  return true;
}

bool TScriptedPrompter::ColorDialog(uint32_t& color) {
  Shown.push_back({TPromptRecord::pkColor, "", ""});
  if (FColors.empty()) {
    Unexpected("colour dialog");
    return false;
  }
  auto a = FColors.front();
  FColors.pop_front();
  if (!a) return false;
  color = *a;
  return true;
}
