#include "platform/IniFile.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "platform/Exceptions.h"
#include "platform/Numbers.h"
#include "platform/Streams.h"
#include "platform/StrUtils.h"

namespace {

const char* const kNewLine = "\r\n";

// Without the control characters and blanks at either end, as Trim.
std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

// "[name]" with optional blanks around; name is what lies between '[' and the first ']',
// trimmed.
bool SectionHeader(std::string_view text, std::string_view& name) {
  size_t b = 0;
  while (b < text.size() && (text[b] == ' ' || text[b] == '\t')) ++b;
  if (b >= text.size() || text[b] != '[') return false;
  size_t e = text.find(']', b + 1);
  name = Trimmed(text.substr(b + 1, (e == std::string_view::npos ? text.size() : e) - b - 1));
  return true;
}

// Section names compare as SameText does: ASCII letters without case.
char Folded(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Folded(a[i]) != Folded(b[i])) return false;
  return true;
}

uint32_t NameHash(std::string_view name) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (char c : name) h = (h ^ static_cast<unsigned char>(Folded(c))) * 16777619u;
  return h;
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
  FSections.emplace_back();  // the lines before the first header
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
  std::string_view name;
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
    if (SectionHeader(line.Text, name)) FSections.emplace_back();
    FSections.back().Lines.push_back(std::move(line));
  }
  IndexSections();
}

std::string TIniFile::Serialise() const {
  size_t size = FBom.size();
  for (const TSection& sec : FSections)
    for (const TLine& l : sec.Lines) size += l.Text.size() + l.Eol.size();
  std::string out;
  out.reserve(size);
  out += FBom;
  for (const TSection& sec : FSections)
    for (const TLine& l : sec.Lines) {
      out += l.Text;
      out += l.Eol;
    }
  return out;
}

std::string_view TIniFile::NameOf(size_t section) const {
  std::string_view name;
  SectionHeader(FSections[section].Lines.front().Text, name);
  return name;
}

void TIniFile::IndexSections() {
  FSlots.assign(16, TSlot());
  FSlotsUsed = 0;
  for (size_t i = 1; i < FSections.size(); ++i) {
    const std::string_view name = NameOf(i);
    if (FindSection(name) < 0) IndexSection(i, NameHash(name));
  }
}

void TIniFile::IndexSection(size_t section, uint32_t hash) {
  auto place = [this](TSlot slot) {
    size_t i = slot.Hash & (FSlots.size() - 1);
    while (FSlots[i].Section) i = (i + 1) & (FSlots.size() - 1);
    FSlots[i] = slot;
  };
  // At most half full, so a search meets an empty slot soon.
  if (2 * (FSlotsUsed + 1) > FSlots.size()) {
    std::vector<TSlot> old(std::max<size_t>(16, 2 * FSlots.size()));
    old.swap(FSlots);
    for (const TSlot& slot : old)
      if (slot.Section) place(slot);
  }
  place({hash, static_cast<uint32_t>(section)});
  ++FSlotsUsed;
}

int TIniFile::FindSection(std::string_view name) const {
  if (FSlots.empty()) return -1;
  const uint32_t hash = NameHash(name);
  for (size_t i = hash & (FSlots.size() - 1); FSlots[i].Section; i = (i + 1) & (FSlots.size() - 1))
    if (FSlots[i].Hash == hash && SameName(NameOf(FSlots[i].Section), name)) return static_cast<int>(FSlots[i].Section);
  return -1;
}

// Names are looked up trimmed, as a header gives them when the file is read again: a section
// or key written with blanks around its name is then found by the next write instead of being
// added once more.
int TIniFile::FindSection(const std::string& section) const { return FindSection(Trimmed(section)); }

int TIniFile::FindKey(const TSection& sec, const std::string& ident) const {
  // A few lines are searched faster than hashed; a long section is indexed once.
  constexpr size_t kScanLines = 16;
  std::string key;
  size_t eq;
  if (sec.Lines.size() <= kScanLines && !sec.Keys) {
    const std::string wanted = Trim(ident);
    for (size_t i = 1; i < sec.Lines.size(); ++i)
      if (KeyLine(sec.Lines[i].Text, key, eq) && SameText(key, wanted)) return static_cast<int>(i);
    return -1;
  }
  if (!sec.Keys) {
    sec.Keys = std::make_unique<std::unordered_map<std::string, size_t>>();
    for (size_t i = 1; i < sec.Lines.size(); ++i)
      if (KeyLine(sec.Lines[i].Text, key, eq)) sec.Keys->emplace(LowerCase(key), i);
  }
  auto it = sec.Keys->find(LowerCase(Trim(ident)));
  return it == sec.Keys->end() ? -1 : static_cast<int>(it->second);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) const {
  int s = FindSection(section);
  if (s < 0) return defaultValue;
  int k = FindKey(FSections[s], ident);
  if (k < 0) return defaultValue;
  const std::string& text = FSections[s].Lines[k].Text;
  return ValueOf(text, text.find('='));
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

void TIniFile::AppendSection(const std::string& section) {
  // The last line of the file: every section but the first holds at least its header.
  TLine* last = FSections.back().Lines.empty() ? nullptr : &FSections.back().Lines.back();
  if (last) {
    if (last->Eol.empty()) last->Eol = kNewLine;
    if (!Trim(last->Text).empty()) FSections.back().Lines.push_back({"", kNewLine});
  }
  FSections.emplace_back();
  FSections.back().Lines.push_back({"[" + section + "]", kNewLine});
  IndexSection(FSections.size() - 1, NameHash(Trimmed(section)));
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  if (HasLineBreak(section) || section.find(']') != std::string::npos || Trim(section).empty())
    throw EConvertError("Invalid INI section name '" + section + "'");
  if (HasLineBreak(ident) || ident.find('=') != std::string::npos || Trim(ident).empty() || Trim(ident)[0] == ';' ||
      Trim(ident)[0] == '[')
    throw EConvertError("Invalid INI key name '" + ident + "'");
  if (HasLineBreak(value)) throw EConvertError("INI value of '" + ident + "' contains a line break");

  int s = FindSection(section);
  if (s < 0) {
    AppendSection(section);
    FSections.back().Lines.push_back({ident + "=" + value, kNewLine});
    Changed();
    return;
  }
  TSection& sec = FSections[s];
  int k = FindKey(sec, ident);
  if (k >= 0) {
    // Keep the key as written and the blanks after '='; replace only the value.
    std::string& text = sec.Lines[k].Text;
    size_t p = text.find('=') + 1;
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
    // Writing the value the line already holds leaves the file alone: the registry writes its
    // file type on every start, and rewriting (with its sync to disk) would cost each start. A
    // change that could not be written yet is written again.
    if (!FUnwritten && text.compare(p, std::string::npos, value) == 0) return;
    text.replace(p, std::string::npos, value);
    Changed();
    return;
  }
  // A new key goes after the section's last non-blank line. Only blank lines follow it, so the
  // lines of the keys already indexed do not move.
  size_t at = sec.Lines.size();
  while (at - 1 > 0 && Trim(sec.Lines[at - 1].Text).empty()) --at;
  if (sec.Lines[at - 1].Eol.empty()) sec.Lines[at - 1].Eol = kNewLine;
  sec.Lines.insert(sec.Lines.begin() + static_cast<std::ptrdiff_t>(at), TLine{ident + "=" + value, kNewLine});
  if (sec.Keys) sec.Keys->emplace(LowerCase(Trim(ident)), at);
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

void TIniFile::ForEachKey(
    const std::string& section,
    const std::function<void(const std::string& key, const std::string& line, size_t eq)>& visit) const {
  int s = FindSection(section);
  if (s < 0) return;
  std::unordered_set<std::string> seen;
  std::string key;
  size_t eq;
  for (const TLine& l : FSections[s].Lines)
    if (KeyLine(l.Text, key, eq) && seen.insert(LowerCase(key)).second) visit(key, l.Text, eq);
}

void TIniFile::ReadSection(const std::string& section, std::vector<std::string>& idents) const {
  ForEachKey(section, [&](const std::string& key, const std::string&, size_t) { idents.push_back(key); });
}

void TIniFile::ReadSections(std::vector<std::string>& sections) const {
  // Each name once: the section that a search of its name finds.
  for (size_t i = 1; i < FSections.size(); ++i) {
    const std::string_view name = NameOf(i);
    if (FindSection(name) == static_cast<int>(i)) sections.emplace_back(name);
  }
}

void TIniFile::ReadSectionValues(const std::string& section, std::vector<std::string>& values) const {
  // One pass: the first line of each key gives its value, as ReadString would.
  ForEachKey(section, [&](const std::string& key, const std::string& line, size_t eq) {
    values.push_back(key + "=" + ValueOf(line, eq));
  });
}

bool TIniFile::SectionExists(const std::string& section) const { return FindSection(section) >= 0; }

bool TIniFile::ValueExists(const std::string& section, const std::string& ident) const {
  int s = FindSection(section);
  return s >= 0 && FindKey(FSections[s], ident) >= 0;
}

void TIniFile::EraseSection(const std::string& section) {
  if (FindSection(section) < 0) return;
  const std::string_view name = Trimmed(section);
  size_t kept = 1;
  for (size_t i = 1; i < FSections.size(); ++i)
    if (!SameName(NameOf(i), name)) {
      if (kept != i) FSections[kept] = std::move(FSections[i]);
      ++kept;
    }
  FSections.resize(kept);
  IndexSections();
  Changed();
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  int s = FindSection(section);
  if (s < 0) return;
  TSection& sec = FSections[s];
  int k = FindKey(sec, ident);
  if (k < 0) return;
  sec.Lines.erase(sec.Lines.begin() + k);
  sec.Keys.reset();  // the lines after it moved
  Changed();
}

void TIniFile::AddSection(const std::string& section) {
  if (HasLineBreak(section) || section.find(']') != std::string::npos || Trim(section).empty())
    throw EConvertError("Invalid INI section name '" + section + "'");
  if (FindSection(section) >= 0) return;
  AppendSection(section);
  Changed();
}

void TIniFile::UpdateFile() {
  WriteFileAtomically(FFileName, Serialise());
  FUnwritten = false;
}
