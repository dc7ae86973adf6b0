#pragma once
// Routines that take delimited texts apart: model keys ("file|section"), comma-separated
// section descriptions, semicolon-separated presets, "Package.Object" names, "256X128" sizes.
// Positions are 1-based, field and occurrence numbers 0-based, texts are bytes.
//
// PosNth, and through it GetToken and GetTokenRest, call ProcessMessages() once for every
// occurrence they look for, so long loops built on them keep the window painted.
#include <string>
#include <vector>

// Position of the first character of occurrence n (0-based, not overlapping) of sub in s, or
// 0. Pumps messages n + 1 times, also when the search fails; n < 0 gives 0 without pumping.
int PosNth(int n, const std::string& sub, const std::string& s);
// Field index of s split at separator; a negative index gives the whole of s.
std::string GetToken(const std::string& s, char separator, int index);
// Everything after separator number index; empty when there are not that many separators.
std::string GetTokenRest(const std::string& s, char separator, int index);
// Appends every field of s (empty ones too) to strings; an empty separator adds nothing.
void SplitString(const std::string& s, const std::string& separator, std::vector<std::string>& strings);
// base raised to exponent; 0 for a zero base, NaN for a negative one.
double Power(double base, double exponent);
