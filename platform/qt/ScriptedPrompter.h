#pragma once
// A Prompter for tests: answers come from queues filled beforehand, and every prompt shown is
// recorded. A box with only an OK button answers OK and takes no queued answer. Anything else
// asked with an empty queue calls OnUnexpected (by default: message on stderr and abort), then
// answers as if cancelled.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/qt/Prompter.h"

struct TPromptRecord {
  enum TKind { pkMessage, pkInput, pkOpenFile, pkSaveFile, pkColor } Kind;
  std::string Caption;  // the box's caption or the dialog's title
  std::string Text;     // the message, the input prompt, or the dialog's filter
  TMsgButtons Buttons = TMsgButtons::OK;
  TMsgIcon Icon = TMsgIcon::None;
};

class TScriptedPrompter : public Prompter {
 public:
  void QueueAnswer(int modalResult) { FAnswers.push_back(modalResult); }
  // std::nullopt answers Cancel.
  void QueueInput(std::optional<std::string> text) { FInputs.push_back(std::move(text)); }
  void QueueOpenFiles(std::optional<std::vector<std::string>> files) { FOpenFiles.push_back(std::move(files)); }
  void QueueSaveFile(std::optional<std::string> file) { FSaveFiles.push_back(std::move(file)); }
  void QueueColor(std::optional<uint32_t> color) { FColors.push_back(color); }

  // Every prompt shown, in order.
  std::vector<TPromptRecord> Shown;
  // The options of every file dialog shown, in order.
  std::vector<TFileDialogOptions> FileDialogs;
  std::function<void(const std::string& what)> OnUnexpected;

  // Answers still queued (a test usually expects 0 at its end).
  size_t Pending() const;
  // Captions and texts of the message boxes shown, as "caption: text" lines.
  std::vector<std::string> Messages() const;

  int MessageBox(const std::string& caption, const std::string& text, TMsgButtons buttons, TMsgIcon icon) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
  bool OpenFileDialog(const TFileDialogOptions& options, std::vector<std::string>& fileNames) override;
  bool SaveFileDialog(const TFileDialogOptions& options, std::string& fileName) override;
  bool ColorDialog(uint32_t& color) override;

 private:
  void Unexpected(const std::string& what);
  std::deque<int> FAnswers;
  std::deque<std::optional<std::string>> FInputs;
  std::deque<std::optional<std::vector<std::string>>> FOpenFiles;
  std::deque<std::optional<std::string>> FSaveFiles;
  std::deque<std::optional<uint32_t>> FColors;
};
