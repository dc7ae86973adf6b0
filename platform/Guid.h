#pragma once
// A new random (version 4) GUID in its in-memory byte order: a 32-bit, two 16-bit fields
// little-endian, then eight bytes, as packages store it.
#include <array>
#include <cstdint>
#include <string>

using TGUIDBytes = std::array<uint8_t, 16>;

TGUIDBytes CreateGUID();
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in the registry's form.
std::string GUIDToString(const TGUIDBytes& g);
