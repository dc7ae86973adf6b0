#include "model/system2.h"

#include <cmath>
#include <limits>

#include "platform/MessagePump.h"

int PosNth(int n, const std::string& sub, const std::string& s) {
  if (n < 0) return 0;
  // Searching from an offset is the same as deleting the matched head of a working copy.
  size_t from = 0;
  long long result = 0;
  for (int k = n; k >= 0; --k) {
    ProcessMessages();
    size_t p = sub.empty() ? std::string::npos : s.find(sub, from);
    if (p != std::string::npos) {
      from = p + sub.size();
      result = static_cast<long long>(p) + 1;
    } else {
      // Every later pass misses as well; keep pumping as many times as asked.
      result = 0;
      from = std::string::npos;
      for (int rest = k - 1; rest >= 0; --rest) ProcessMessages();
      break;
    }
  }
  return static_cast<int>(result);
}

std::string GetToken(const std::string& s, char separator, int index) {
  // A negative index gives the whole text (neither search below would find anything); leaving
  // early also keeps index - 1 from overflowing.
  if (index < 0) return s;
  const std::string sep(1, separator);
  int start = PosNth(index - 1, sep, s);
  if (start > 0) {
    ++start;
  } else {
    start = 1;
    if (index > 0) return "";
  }
  int stop = PosNth(index, sep, s);
  if (stop == 0) stop = static_cast<int>(s.size()) + 1;
  --stop;
  if (stop < start) return "";
  return s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(stop - start + 1));
}

std::string GetTokenRest(const std::string& s, char separator, int index) {
  int p = PosNth(index, std::string(1, separator), s);
  if (p == 0) p = static_cast<int>(s.size()) + 1;
  if (static_cast<size_t>(p) >= s.size()) return "";
  return s.substr(static_cast<size_t>(p));
}

void SplitString(const std::string& s, const std::string& separator, std::vector<std::string>& strings) {
  if (separator.empty()) return;
  const std::string work = s + separator;
  size_t from = 0;
  for (size_t p = work.find(separator, from); p != std::string::npos; p = work.find(separator, from)) {
    strings.push_back(work.substr(from, p - from));
    from = p + separator.size();
  }
}

double Power(double base, double exponent) {
  if (base == 0) return 0;
  if (base < 0) return std::numeric_limits<double>::quiet_NaN();
  return static_cast<double>(std::exp(static_cast<long double>(exponent) * std::log(static_cast<long double>(base))));
}
