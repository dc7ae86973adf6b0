#include "controls/FileUtil.h"

#include "controls/CtrlUtils.h"
#include "platform/Paths.h"

bool ValidFileName(const std::string& fileName) {
  return !fileName.empty() && fileName.find_first_of("<>\"[]|") == std::string::npos;
}

bool DirExists(const std::string& path) { return DirectoryExists(ToNativePath(path)); }

std::string QuotedFileName(const std::string& fileName) {
  if (fileName.find(' ') != std::string::npos && fileName.front() != '"') return '"' + fileName + '"';
  return fileName;
}

std::string UnquotedFileName(const std::string& text) {
  if (FileExists(ToNativePath(text))) return text;
  return ExtractFirstWord(text);
}
