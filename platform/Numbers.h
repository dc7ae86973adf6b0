#pragma once
// Number texts as the program's files hold them, independent of the C locale. Files made on
// Windows machines may use a comma as decimal separator; we always write a point.
#include <string>

// Decimal real: optional blanks, sign, digits with at most one '.' or ',' (at least one digit),
// optional exponent, optional blanks. Returns false for anything else.
bool TryStrToFloat(const std::string& text, double& value);
// Decimal integer with optional sign (or "0x"/"$" hexadecimal) that fits in 32 bits.
bool TryStrToInt(const std::string& text, int& value);
int StrToIntDef(const std::string& text, int defaultValue);
// Fixed decimals with a point, like "%.*f" in the C locale ("-0.00" prints as "0.00").
std::string FormatFixed(double value, int decimals);
// Shortest text that reads back as the same double.
std::string FormatShortest(double value);
