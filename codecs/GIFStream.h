#pragma once
// The GIF codec's stream pieces: colour bits of a table, single bytes, exact reads and the
// data sub-blocks (a count byte 1..255, then the bytes; a zero count ends the run).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TStream;

// Bits needed to index N colours: 0 for 0, 1 for 1 or 2, else the smallest n with 2^n >= N.
int GIFColorBits(unsigned N);

void GIFWriteByte(TStream& Stream, uint8_t B);
// Reads one byte; a failed read gives 0 and is not reported.
uint8_t GIFReadByte(TStream& Stream);
// Reads exactly Count bytes, else GIFError("Premature end of data").
void GIFReadBuffer(TStream& Stream, void* Buffer, size_t Count);
// Each line as data sub-blocks (count byte 1..255, then the bytes), then a zero count byte.
void GIFWriteStrings(TStream& Stream, const std::vector<std::string>& Strings);
// Empties Strings, then adds one line per sub-block until a zero count byte or a failed read;
// a line ends at its first zero byte.
void GIFReadStrings(TStream& Stream, std::vector<std::string>& Strings);
