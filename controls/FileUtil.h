#pragma once
// File-name rules of the file-name edit, apart from any widget.
#include <string>

// Not empty and none of < > " [ ] | anywhere in it. (A backslash separates folders here as a
// slash does, so the file part never holds one.)
bool ValidFileName(const std::string& fileName);
// The path names an existing folder (Windows paths are mapped to Linux ones first).
bool DirExists(const std::string& path);

// How a file name is written into the edit: a name with a blank that does not begin with a
// double quote goes between double quotes; every other name stands as it is.
std::string QuotedFileName(const std::string& fileName);
// The file name an edit text stands for: the text itself when it names an existing file,
// otherwise its first word (see ExtractFirstWord).
std::string UnquotedFileName(const std::string& text);
