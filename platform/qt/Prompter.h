#pragma once
// Every message box, question, input box, file dialog and colour dialog goes through the
// current Prompter, so tests can script the answers. Texts and captions are the caller's,
// shown as they stand.
#include <cstdint>
#include <string>
#include <vector>

enum class TMsgIcon { None, Information, Warning, Question, Stop };
enum class TMsgButtons { OK, OKCancel, YesNo, YesNoCancel };

// The answers of a box, with the platform's numbering.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

struct TFileDialogOptions {
  std::string Title;
  // "Description|*.a;*.b|Other|*.c" pairs.
  std::string Filter;
  int FilterIndex = 1;     // 1-based
  std::string DefaultExt;  // without point; added to a typed name that has no extension
  std::string InitialDir;
  std::string FileName;
  bool MultiSelect = false;
  // Show the file under the cursor in a preview pane (the open-picture dialog).
  bool Preview = false;
};

class Prompter {
 public:
  virtual ~Prompter() = default;
  // Returns the chosen TModalResult (mrCancel when the box is closed without a choice,
  // mrOk for an OK-only box).
  virtual int MessageBox(const std::string& caption, const std::string& text, TMsgButtons buttons, TMsgIcon icon) = 0;
  // value holds the default on entry and the typed text on OK; false when cancelled.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;
  // fileNames is replaced by the chosen files; false when cancelled.
  virtual bool OpenFileDialog(const TFileDialogOptions& options, std::vector<std::string>& fileNames) = 0;
  virtual bool SaveFileDialog(const TFileDialogOptions& options, std::string& fileName) = 0;
  // color is a TColor (0x00BBGGRR); holds the start colour on entry.
  virtual bool ColorDialog(uint32_t& color) = 0;
};

// The prompter in use: the Qt one unless a test installed another.
Prompter& CurrentPrompter();
// Installs p (nullptr = back to the Qt prompter) and returns the previous one.
Prompter* SetCurrentPrompter(Prompter* p);

// Installs a prompter for the lifetime of the object.
class TScopedPrompter {
 public:
  explicit TScopedPrompter(Prompter& p) : FPrevious(SetCurrentPrompter(&p)) {}
  ~TScopedPrompter() { SetCurrentPrompter(FPrevious); }
  TScopedPrompter(const TScopedPrompter&) = delete;
  TScopedPrompter& operator=(const TScopedPrompter&) = delete;

 private:
  Prompter* FPrevious;
};

// The application's title, the caption of plain messages and of the error box.
const std::string& ApplicationTitle();
void SetApplicationTitle(const std::string& title);

// Short forms through the current prompter.
int MessageBox(const std::string& caption, const std::string& text, TMsgButtons buttons = TMsgButtons::OK,
               TMsgIcon icon = TMsgIcon::None);
// A box captioned with the application title, OK button.
void ShowMessage(const std::string& text);
// Returns the typed text, or defaultValue when cancelled.
std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultValue);
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
