#include "platform/IniFile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_set>

#include "platform/Exceptions.h"
#include "platform/Numbers.h"
#include "platform/Streams.h"
#include "platform/StrUtils.h"

namespace {

const char* const kNewLine = "\r\n";

// "[name]" with optional blanks around; name is what lies between '[' and the first ']'.
bool SectionHeader(const std::string& text, std::string& name) {
  size_t b = 0;
  while (b < text.size() && (text[b] == ' ' || text[b] == '\t')) ++b;
  if (b >= text.size() || text[b] != '[') return false;
  size_t e = text.find(']', b + 1);
  name = Trim(text.substr(b + 1, (e == std::string::npos ? text.size() : e) - b - 1));
  return true;
}

// "key=value"; comment lines (';') and lines without '=' hold no key.
bool KeyLine(const std::string& text, std::string& key, size_t& eq) {
  size_t b = 0;
  while (b < text.size() && (text[b] == ' ' || text[b] == '\t')) ++b;
  if (b >= text.size() || text[b] == ';' || text[b] == '[') return false;
  eq = text.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(text.substr(0, eq));
  return !key.empty();
}

std::string ValueOf(const std::string& text, size_t eq) {
  std::string v = Trim(text.substr(eq + 1));
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return v;
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {
  // Only regular files are read: a folder, a pipe or a device of that name reads as empty
  // (a pipe would block the program).
  std::error_code ec;
  if (!std::filesystem::is_regular_file(FFileName, ec)) return;
  // Settings files are small; a huge file named like one is not read into memory.
  constexpr uintmax_t kMaxIniSize = 64u << 20;
  uintmax_t size = std::filesystem::file_size(FFileName, ec);
  if (!ec && size > kMaxIniSize)
    throw EInOutError("Cannot read " + FFileName + ": the file is too large for a settings file");
  std::vector<uint8_t> data;
  try {
    data = ReadWholeFile(FFileName);
  } catch (const EInOutError& e) {
    throw EInOutError("Cannot read " + FFileName + ": " + e.Message, e.ErrorCode);
  }
  Parse(std::string(data.begin(), data.end()));
}

void TIniFile::Parse(const std::string& data) {
  size_t pos = 0;
  if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    FBom = data.substr(0, 3);
    pos = 3;
  }
  while (pos < data.size()) {
    size_t nl = data.find('\n', pos);
    TLine line;
    if (nl == std::string::npos) {
      line.Text = data.substr(pos);
      pos = data.size();
    } else {
      line.Text = data.substr(pos, nl - pos);
      pos = nl + 1;
    }
    // The line end is built with append: assigning short literals here makes GCC 12 at -O3
    // report a false overlap of the copied bytes.
    if (!line.Text.empty() && line.Text.back() == '\r') {
      line.Text.pop_back();
      line.Eol.push_back('\r');
    }
    if (nl != std::string::npos) line.Eol.push_back('\n');
    FLines.push_back(std::move(line));
  }
}

std::string TIniFile::Serialise() const {
  std::string out = FBom;
  for (const TLine& l : FLines) {
    out += l.Text;
    out += l.Eol;
  }
  return out;
}

void TIniFile::BuildIndex() const {
  FHeaders.clear();
  FFirstHeader.clear();
  std::string name;
  for (size_t i = 0; i < FLines.size(); ++i)
    if (SectionHeader(FLines[i].Text, name)) {
      FFirstHeader.emplace(LowerCase(name), FHeaders.size());
      FHeaders.push_back(static_cast<int>(i));
    }
  FIndexed = true;
}

void TIniFile::LineInserted(int at, bool isHeader, const std::string& name) {
  if (!FIndexed) return;
  auto first = std::lower_bound(FHeaders.begin(), FHeaders.end(), at);
  for (auto it = first; it != FHeaders.end(); ++it) ++*it;
  if (isHeader) {
    // Only appended headers keep the name map's positions valid; anything else re-indexes.
    if (first != FHeaders.end()) {
      InvalidateIndex();
      return;
    }
    FFirstHeader.emplace(LowerCase(name), FHeaders.size());
    FHeaders.push_back(at);
  }
}

int TIniFile::FindSection(const std::string& section) const {
  if (!FIndexed) BuildIndex();
  auto it = FFirstHeader.find(LowerCase(section));
  return it == FFirstHeader.end() ? -1 : FHeaders[it->second];
}

int TIniFile::SectionEnd(int header) const {
  if (!FIndexed) BuildIndex();
  auto next = std::upper_bound(FHeaders.begin(), FHeaders.end(), header);
  return next == FHeaders.end() ? static_cast<int>(FLines.size()) : *next;
}

int TIniFile::FindKey(int header, const std::string& ident) const {
  int end = SectionEnd(header);
  std::string key;
  size_t eq;
  for (int i = header + 1; i < end; ++i)
    if (KeyLine(FLines[i].Text, key, eq) && SameText(key, ident)) return i;
  return -1;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) const {
  int h = FindSection(section);
  if (h < 0) return defaultValue;
  int k = FindKey(h, ident);
  if (k < 0) return defaultValue;
  std::string key;
  size_t eq = 0;
  KeyLine(FLines[k].Text, key, eq);
  return ValueOf(FLines[k].Text, eq);
}

int TIniFile::ReadInteger(const std::string& section, const std::string& ident, int defaultValue) const {
  return StrToIntDef(ReadString(section, ident, ""), defaultValue);
}

double TIniFile::ReadFloat(const std::string& section, const std::string& ident, double defaultValue) const {
  double v;
  return TryStrToFloat(ReadString(section, ident, ""), v) ? v : defaultValue;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident, bool defaultValue) const {
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TIniFile::Changed() {
  FUnwritten = true;
  if (AutoUpdate) UpdateFile();
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  if (HasLineBreak(section) || section.find(']') != std::string::npos || Trim(section).empty())
    throw EConvertError("Invalid INI section name '" + section + "'");
  if (HasLineBreak(ident) || ident.find('=') != std::string::npos || Trim(ident).empty() || Trim(ident)[0] == ';' ||
      Trim(ident)[0] == '[')
    throw EConvertError("Invalid INI key name '" + ident + "'");
  if (HasLineBreak(value)) throw EConvertError("INI value of '" + ident + "' contains a line break");

  int h = FindSection(section);
  if (h < 0) {
    if (!FLines.empty()) {
      if (FLines.back().Eol.empty()) FLines.back().Eol = kNewLine;
      if (!Trim(FLines.back().Text).empty()) FLines.push_back({"", kNewLine});
    }
    FLines.push_back({"[" + section + "]", kNewLine});
    LineInserted(static_cast<int>(FLines.size()) - 1, true, section);
    FLines.push_back({ident + "=" + value, kNewLine});
    Changed();
    return;
  }
  int k = FindKey(h, ident);
  if (k >= 0) {
    // Keep the key as written and the blanks after '='; replace only the value.
    std::string& text = FLines[k].Text;
    size_t p = text.find('=') + 1;
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
    // Writing the value the line already holds leaves the file alone: the registry writes its
    // file type on every start, and rewriting (with its sync to disk) would cost each start. A
    // change that could not be written yet is written again.
    if (!FUnwritten && text.compare(p, std::string::npos, value) == 0) return;
    text = text.substr(0, p) + value;
    Changed();
    return;
  }
  // A new key goes after the section's last non-blank line.
  int end = SectionEnd(h);
  int at = end;
  while (at - 1 > h && Trim(FLines[at - 1].Text).empty()) --at;
  if (FLines[at - 1].Eol.empty()) FLines[at - 1].Eol = kNewLine;
  FLines.insert(FLines.begin() + at, TLine{ident + "=" + value, kNewLine});
  LineInserted(at, false, {});
  Changed();
}

void TIniFile::WriteInteger(const std::string& section, const std::string& ident, int value) {
  WriteString(section, ident, std::to_string(value));
}

void TIniFile::WriteFloat(const std::string& section, const std::string& ident, double value, int decimals) {
  WriteString(section, ident, decimals < 0 ? FormatShortest(value) : FormatFixed(value, decimals));
}

void TIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void TIniFile::ForEachKey(const std::string& section,
                          const std::function<void(const std::string& key, int line, size_t eq)>& visit) const {
  int h = FindSection(section);
  if (h < 0) return;
  int end = SectionEnd(h);
  std::unordered_set<std::string> seen;
  std::string key;
  size_t eq;
  for (int i = h + 1; i < end; ++i)
    if (KeyLine(FLines[i].Text, key, eq) && seen.insert(LowerCase(key)).second) visit(key, i, eq);
}

void TIniFile::ReadSection(const std::string& section, std::vector<std::string>& idents) const {
  ForEachKey(section, [&](const std::string& key, int, size_t) { idents.push_back(key); });
}

void TIniFile::ReadSections(std::vector<std::string>& sections) const {
  std::unordered_set<std::string> seen;
  std::string name;
  for (const TLine& l : FLines)
    if (SectionHeader(l.Text, name) && seen.insert(LowerCase(name)).second) sections.push_back(name);
}

void TIniFile::ReadSectionValues(const std::string& section, std::vector<std::string>& values) const {
  // One pass: the first line of each key gives its value, as ReadString would.
  ForEachKey(section, [&](const std::string& key, int line, size_t eq) {
    values.push_back(key + "=" + ValueOf(FLines[static_cast<size_t>(line)].Text, eq));
  });
}

bool TIniFile::SectionExists(const std::string& section) const { return FindSection(section) >= 0; }

bool TIniFile::ValueExists(const std::string& section, const std::string& ident) const {
  int h = FindSection(section);
  return h >= 0 && FindKey(h, ident) >= 0;
}

void TIniFile::EraseSection(const std::string& section) {
  bool any = false;
  for (int h = FindSection(section); h >= 0; h = FindSection(section)) {
    FLines.erase(FLines.begin() + h, FLines.begin() + SectionEnd(h));
    InvalidateIndex();
    any = true;
  }
  if (any) Changed();
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  int h = FindSection(section);
  if (h < 0) return;
  int k = FindKey(h, ident);
  if (k < 0) return;
  FLines.erase(FLines.begin() + k);
  InvalidateIndex();
  Changed();
}

void TIniFile::AddSection(const std::string& section) {
  if (HasLineBreak(section) || section.find(']') != std::string::npos || Trim(section).empty())
    throw EConvertError("Invalid INI section name '" + section + "'");
  if (FindSection(section) >= 0) return;
  if (!FLines.empty()) {
    if (FLines.back().Eol.empty()) FLines.back().Eol = kNewLine;
    if (!Trim(FLines.back().Text).empty()) FLines.push_back({"", kNewLine});
  }
  FLines.push_back({"[" + section + "]", kNewLine});
  LineInserted(static_cast<int>(FLines.size()) - 1, true, section);
  Changed();
}

void TIniFile::UpdateFile() {
  WriteFileAtomically(FFileName, Serialise());
  FUnwritten = false;
}
