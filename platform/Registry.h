#pragma once
// The part of the system registry the program uses (HKEY_CLASSES_ROOT), kept in an INI file:
// one section per key path ("unreal\Shell\open\command"), one line per value, "@" for the
// key's default value. The file is $CORVANE_REGISTRY when set, else
// $XDG_CONFIG_HOME/corvane/registry.ini (~/.config when XDG_CONFIG_HOME is unset).
// Key paths compare without letter case; a leading backslash means the root.
#include <memory>
#include <string>

class TIniFile;

class TRegistry {
 public:
  TRegistry();
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  static std::string StoreFileName();

  // Opens key (relative to the open key unless it starts with '\'). With canCreate a missing
  // key is created; without it a missing key gives false and the open key stays as it was.
  bool OpenKey(const std::string& key, bool canCreate);
  void CloseKey();
  const std::string& CurrentPath() const { return FCurrentPath; }
  bool KeyExists(const std::string& key) const;

  // Values of the open key; name "" is the default value. A missing value reads as "".
  std::string ReadString(const std::string& name) const;
  // Raises EInOutError when the store cannot be written, EConvertError when no key is open.
  void WriteString(const std::string& name, const std::string& value);
  bool ValueExists(const std::string& name) const;

 private:
  std::string Absolute(const std::string& key) const;
  // The store's section that holds the key's values: the first whose name, with stray
  // backslashes removed, is the key's path; the path itself when the key has no section yet.
  std::string SectionOf(const std::string& path) const;
  std::string FCurrentPath;
  std::string FSection;
  bool FOpen = false;
  std::unique_ptr<TIniFile> FStore;
};
