#pragma once
// Small text helpers on byte strings. Letter case is ASCII only: names are UTF-8 bytes and
// the files we read compare names the way the Windows programs that wrote them did for ASCII.
#include <string>

std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
bool SameText(const std::string& a, const std::string& b);
// Compares without letter case: <0, 0, >0.
int CompareText(const std::string& a, const std::string& b);
// Removes leading and trailing blanks and control characters (bytes up to ' ').
std::string Trim(const std::string& s);
bool StartsText(const std::string& prefix, const std::string& s);
