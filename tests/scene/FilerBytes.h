#pragma once
// Builds the expected bytes of a typed value stream: small integers and short strings.
#include <cstdint>
#include <cstring>
#include <string>

class FilerBytes {
 public:
  FilerBytes& Int8(int v) {
    FBytes.push_back('\x02');
    FBytes.push_back(static_cast<char>(v));
    return *this;
  }
  FilerBytes& Str(const char* text) {
    FBytes.push_back('\x06');
    FBytes.push_back(static_cast<char>(std::strlen(text)));
    FBytes.append(text);
    return *this;
  }
  const std::string& Bytes() const { return FBytes; }

 private:
  std::string FBytes;
};
