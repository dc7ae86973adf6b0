#include "platform/FileTimes.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "platform/Exceptions.h"

namespace fs = std::filesystem;

int64_t FileAge(const std::string& fileName) {
  std::error_code ec;
  if (!fs::exists(fileName, ec) || ec) return -1;
  auto t = fs::last_write_time(fileName, ec);
  if (ec) return -1;
  // Counted from the Unix epoch: the file clock's own epoch makes current times negative,
  // which would collide with -1.
  auto sys = std::chrono::file_clock::to_sys(t);
  return std::chrono::duration_cast<std::chrono::nanoseconds>(sys.time_since_epoch()).count();
}

void SetFileAge(const std::string& fileName, int64_t age) {
  std::error_code ec;
  std::chrono::sys_time<std::chrono::nanoseconds> sys{std::chrono::nanoseconds(age)};
  fs::file_time_type t = std::chrono::file_clock::from_sys(sys);
  fs::last_write_time(fileName, t, ec);
  if (ec) throw EInOutError("Cannot set the time of " + fileName + ": " + ec.message(), ec.value());
}
