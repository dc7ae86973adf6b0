#pragma once
// File names. The program keeps Windows-style names in its data (relative paths with
// backslashes, game folders like "C:\UnrealTournament"); every routine here accepts both
// separators, and ToNativePath gives the Linux name to open.
#include <string>
#include <vector>

// The running program file (its real path), or $CORVANE_HOME + "/corvane" when that is set.
std::string ProgramFileName();
// The program folder with its trailing '/': $CORVANE_HOME when set, else the executable's folder.
std::string ProgramFolder();

// Backslashes become slashes; "X:\..." maps through $WINEPREFIX/dosdevices/x: (default
// prefix ~/.wine), the drive link resolved when it exists, so "C:\UnrealTournament" becomes
// ~/.wine/drive_c/UnrealTournament.
std::string ToNativePath(const std::string& path);
// The path itself when it exists; otherwise each missing component is looked up ignoring
// letter case (of several, the first in byte order). When no match exists, the path as given.
std::string ResolveCaseInsensitive(const std::string& path);

// Names (not paths) of the regular files of folder whose names match mask ('*' and '?',
// letter case ignored), sorted by name without letter case. A missing folder gives none.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& mask = "*");
bool MatchesMask(const std::string& name, const std::string& mask);

bool IsPathDelimiter(char c);
// Up to and including the last '/' or '\'.
std::string ExtractFilePath(const std::string& fileName);
// After the last '/' or '\'.
std::string ExtractFileName(const std::string& fileName);
// From the last '.' of the file name on (with the point); "" when the name has none.
std::string ExtractFileExt(const std::string& fileName);
// Replaces (or adds) the extension; ext includes its point, or is empty to remove it.
std::string ChangeFileExt(const std::string& fileName, const std::string& ext);
// Adds '/' unless the path already ends in '/' or '\'.
std::string IncludeTrailingPathDelimiter(const std::string& path);

bool FileExists(const std::string& fileName);
bool DirectoryExists(const std::string& folder);
// Creates the folder and its missing parents; raises EInOutError when it cannot.
void ForceDirectories(const std::string& folder);
