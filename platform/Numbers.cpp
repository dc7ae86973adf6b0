#include "platform/Numbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

#include "platform/StrUtils.h"

bool TryStrToFloat(const std::string& text, double& value) {
  std::string t = Trim(text);
  // Normalise to the grammar from_chars reads: [-]digits[.digits][e[-]digits].
  std::string n;
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    if (t[i] == '-') n += '-';
    ++i;
  }
  int digits = 0;
  bool point = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c >= '0' && c <= '9') {
      n += c;
      ++digits;
    } else if ((c == '.' || c == ',') && !point) {
      n += '.';
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    n += 'e';
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
      if (t[i] == '-') n += '-';
      ++i;
    }
    int expDigits = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, ++expDigits) n += t[i];
    if (expDigits == 0) return false;
  }
  if (i != t.size()) return false;
  double v = 0;
  auto [ptr, ec] = std::from_chars(n.data(), n.data() + n.size(), v);
  if (ptr != n.data() + n.size()) return false;
  if (ec == std::errc::result_out_of_range) return false;
  if (ec != std::errc()) return false;
  value = v;
  return true;
}

bool TryStrToInt(const std::string& text, int& value) {
  std::string t = Trim(text);
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    neg = t[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < t.size() && t[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size()) return false;
  uint64_t v = 0;
  auto [ptr, ec] = std::from_chars(t.data() + i, t.data() + t.size(), v, base);
  if (ec != std::errc() || ptr != t.data() + t.size()) return false;
  if (base == 16 && !neg) {
    // Hexadecimal covers the whole 32-bit pattern, like the platform's reader.
    if (v > 0xFFFFFFFFull) return false;
    value = static_cast<int>(static_cast<uint32_t>(v));
    return true;
  }
  if (neg) {
    if (v > 2147483648ull) return false;
    value = static_cast<int>(-static_cast<int64_t>(v));
  } else {
    if (v > 2147483647ull) return false;
    value = static_cast<int>(v);
  }
  return true;
}

int StrToIntDef(const std::string& text, int defaultValue) {
  int v;
  return TryStrToInt(text, v) ? v : defaultValue;
}

std::string FormatFixed(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
  char buf[400];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return "0";
  std::string s(buf, ptr);
  // A value that rounds to zero prints without its sign.
  if (!s.empty() && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

std::string FormatShortest(double value) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
  if (ec != std::errc()) return "0";
  return std::string(buf, ptr);
}
