#pragma once
// File modification times. An age is a count of nanoseconds since 1970-01-01 UTC, so a file
// changed twice within a second still gives two different ages; -1 means no such file.
#include <cstdint>
#include <string>

int64_t FileAge(const std::string& fileName);
// Sets the file's modification time; raises EInOutError when it cannot (tests use it).
void SetFileAge(const std::string& fileName, int64_t age);
