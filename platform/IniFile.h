#pragma once
// INI files with the private-profile rules the program's files were written under:
// section and key names compare without letter case or the blanks around them, and the first
// match wins; values are trimmed and lose one pair of surrounding quotes; a write replaces the
// value in place and leaves every other byte of the file as it was. Lines may end in LF or CRLF and the file may
// start with a UTF-8 byte order mark; lines we add end in CRLF.
//
// A missing file reads as empty. Every write goes to disk at once (through a temporary file
// and a rename), so a failed write raises and leaves the old file untouched.
#include <functional>
#include <memory>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TIniFile {
 public:
  // Reads fileName when it is a regular file; one that cannot be read raises EInOutError
  // naming it.
  explicit TIniFile(std::string fileName);

  const std::string& FileName() const { return FFileName; }

  std::string ReadString(const std::string& section, const std::string& ident, const std::string& defaultValue) const;
  // Decimal (optionally signed) or hexadecimal ("0x1F", "$1F"); anything else gives the default.
  int ReadInteger(const std::string& section, const std::string& ident, int defaultValue) const;
  // A point or a comma as decimal separator; empty or malformed values give the default.
  double ReadFloat(const std::string& section, const std::string& ident, double defaultValue) const;
  bool ReadBool(const std::string& section, const std::string& ident, bool defaultValue) const;

  // Section and key names may not hold line breaks, a key no '=' and a section no ']';
  // values may not hold line breaks (the file could not be read back): EConvertError.
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& ident, int value);
  // decimals < 0: shortest text that reads back as the same value; otherwise fixed decimals.
  void WriteFloat(const std::string& section, const std::string& ident, double value, int decimals = -1);
  void WriteBool(const std::string& section, const std::string& ident, bool value);

  // Appends the key names of the section (each once, in file order).
  void ReadSection(const std::string& section, std::vector<std::string>& idents) const;
  // Appends the section names (each once, in file order).
  void ReadSections(std::vector<std::string>& sections) const;
  // Appends "key=value" for every key of the section, values as ReadString gives them.
  void ReadSectionValues(const std::string& section, std::vector<std::string>& values) const;
  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& ident) const;

  // Removes every section of that name with its lines.
  void EraseSection(const std::string& section);
  // Removes the key's line from the first section of that name.
  void DeleteKey(const std::string& section, const std::string& ident);
  // Adds an empty section when none of that name exists.
  void AddSection(const std::string& section);

  // Writes the current content to the file through a temporary file and a rename.
  void UpdateFile();
  // The content as UpdateFile would write it.
  std::string Text() const { return Serialise(); }

  // True (the default): every write and erase updates the file at once. False: changes stay
  // in memory until UpdateFile(), for callers that write many keys in one go.
  bool AutoUpdate = true;

 private:
  struct TLine {
    std::string Text;  // without its line end
    std::string Eol;   // "\r\n", "\n", "\r" or "" for a last line without one
  };
  // A section's lines, its header first. The lines before the first header are kept as a
  // section without a header or name (FSections[0]), which no lookup finds.
  struct TSection {
    std::vector<TLine> Lines;
    // Lower-case key -> line of its first occurrence, built when a long section is first
    // searched and kept up to date as keys are added: a project's [Groups] gains one key per
    // skin, and a line-by-line search for each would make saving quadratic.
    mutable std::unique_ptr<std::unordered_map<std::string, size_t>> Keys;
  };
  void Changed();
  // The first section of that name (its index in FSections), or -1.
  int FindSection(const std::string& section) const;
  int FindSection(std::string_view trimmedName) const;
  // The name its header gives a section (not the first, which has none).
  std::string_view NameOf(size_t section) const;
  // The line of the first key of that name in the section, or -1.
  int FindKey(const TSection& sec, const std::string& ident) const;
  // Calls visit with the first line of each key of the first section of that name.
  void ForEachKey(const std::string& section,
                  const std::function<void(const std::string& key, const std::string& line, size_t eq)>& visit) const;
  // Appends a section header after a blank line (a new section's place in the file).
  void AppendSection(const std::string& section);
  void IndexSections();
  void IndexSection(size_t section, uint32_t hash);
  void Parse(const std::string& data);
  std::string Serialise() const;

  std::string FFileName;
  std::string FBom;
  std::vector<TSection> FSections;
  // The first section of each name, by the hash of its name without letter case: open
  // addressing over a flat table, so tens of thousands of sections cost no node and no copy
  // of their name each. Section 0 (no name) marks an empty slot.
  struct TSlot {
    uint32_t Hash = 0;
    uint32_t Section = 0;
  };
  std::vector<TSlot> FSlots;
  size_t FSlotsUsed = 0;
  bool FUnwritten = false;  // changed since the file was read or last written
};
