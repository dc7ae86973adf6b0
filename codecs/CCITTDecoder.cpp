// CCITT modified Huffman decoding (ITU-T T.4 one-dimensional coding): group 3 fax rows with
// end-of-line codes, and the modified Huffman rows of TIFF compression 2 and 32771.
#include <algorithm>
#include <cstring>
#include <span>

#include "codecs/GraphicCompression.h"
#include "codecs/ImageFormats.h"

namespace {

struct TCodeText {
  int Value;
  const char* Bits;
};

// Terminating codes (0..63) and make-up codes (64..1728) of the white runs.
const TCodeText kWhiteCodes[] = {
    {0, "00110101"},     {1, "000111"},       {2, "0111"},         {3, "1000"},         {4, "1011"},
    {5, "1100"},         {6, "1110"},         {7, "1111"},         {8, "10011"},        {9, "10100"},
    {10, "00111"},       {11, "01000"},       {12, "001000"},      {13, "000011"},      {14, "110100"},
    {15, "110101"},      {16, "101010"},      {17, "101011"},      {18, "0100111"},     {19, "0001100"},
    {20, "0001000"},     {21, "0010111"},     {22, "0000011"},     {23, "0000100"},     {24, "0101000"},
    {25, "0101011"},     {26, "0010011"},     {27, "0100100"},     {28, "0011000"},     {29, "00000010"},
    {30, "00000011"},    {31, "00011010"},    {32, "00011011"},    {33, "00010010"},    {34, "00010011"},
    {35, "00010100"},    {36, "00010101"},    {37, "00010110"},    {38, "00010111"},    {39, "00101000"},
    {40, "00101001"},    {41, "00101010"},    {42, "00101011"},    {43, "00101100"},    {44, "00101101"},
    {45, "00000100"},    {46, "00000101"},    {47, "00001010"},    {48, "00001011"},    {49, "01010010"},
    {50, "01010011"},    {51, "01010100"},    {52, "01010101"},    {53, "00100100"},    {54, "00100101"},
    {55, "01011000"},    {56, "01011001"},    {57, "01011010"},    {58, "01011011"},    {59, "01001010"},
    {60, "01001011"},    {61, "00110010"},    {62, "00110011"},    {63, "00110100"},    {64, "11011"},
    {128, "10010"},      {192, "010111"},     {256, "0110111"},    {320, "00110110"},   {384, "00110111"},
    {448, "01100100"},   {512, "01100101"},   {576, "01101000"},   {640, "01100111"},   {704, "011001100"},
    {768, "011001101"},  {832, "011010010"},  {896, "011010011"},  {960, "011010100"},  {1024, "011010101"},
    {1088, "011010110"}, {1152, "011010111"}, {1216, "011011000"}, {1280, "011011001"}, {1344, "011011010"},
    {1408, "011011011"}, {1472, "010011000"}, {1536, "010011001"}, {1600, "010011010"}, {1664, "011000"},
    {1728, "010011011"},
};

const TCodeText kBlackCodes[] = {
    {0, "0000110111"},
    {1, "010"},
    {2, "11"},
    {3, "10"},
    {4, "011"},
    {5, "0011"},
    {6, "0010"},
    {7, "00011"},
    {8, "000101"},
    {9, "000100"},
    {10, "0000100"},
    {11, "0000101"},
    {12, "0000111"},
    {13, "00000100"},
    {14, "00000111"},
    {15, "000011000"},
    {16, "0000010111"},
    {17, "0000011000"},
    {18, "0000001000"},
    {19, "00001100111"},
    {20, "00001101000"},
    {21, "00001101100"},
    {22, "00000110111"},
    {23, "00000101000"},
    {24, "00000010111"},
    {25, "00000011000"},
    {26, "000011001010"},
    {27, "000011001011"},
    {28, "000011001100"},
    {29, "000011001101"},
    {30, "000001101000"},
    {31, "000001101001"},
    {32, "000001101010"},
    {33, "000001101011"},
    {34, "000011010010"},
    {35, "000011010011"},
    {36, "000011010100"},
    {37, "000011010101"},
    {38, "000011010110"},
    {39, "000011010111"},
    {40, "000001101100"},
    {41, "000001101101"},
    {42, "000011011010"},
    {43, "000011011011"},
    {44, "000001010100"},
    {45, "000001010101"},
    {46, "000001010110"},
    {47, "000001010111"},
    {48, "000001100100"},
    {49, "000001100101"},
    {50, "000001010010"},
    {51, "000001010011"},
    {52, "000000100100"},
    {53, "000000110111"},
    {54, "000000111000"},
    {55, "000000100111"},
    {56, "000000101000"},
    {57, "000001011000"},
    {58, "000001011001"},
    {59, "000000101011"},
    {60, "000000101100"},
    {61, "000001011010"},
    {62, "000001100110"},
    {63, "000001100111"},
    {64, "0000001111"},
    {128, "000011001000"},
    {192, "000011001001"},
    {256, "000001011011"},
    {320, "000000110011"},
    {384, "000000110100"},
    {448, "000000110101"},
    {512, "0000001101100"},
    {576, "0000001101101"},
    {640, "0000001001010"},
    {704, "0000001001011"},
    {768, "0000001001100"},
    {832, "0000001001101"},
    {896, "0000001110010"},
    {960, "0000001110011"},
    {1024, "0000001110100"},
    {1088, "0000001110101"},
    {1152, "0000001110110"},
    {1216, "0000001110111"},
    {1280, "0000001010010"},
    {1344, "0000001010011"},
    {1408, "0000001010100"},
    {1472, "0000001010101"},
    {1536, "0000001011010"},
    {1600, "0000001011011"},
    {1664, "0000001100100"},
    {1728, "0000001100101"},
};

// Shared by both colours: the extended make-up codes, end of line and the invalid codes.
const TCodeText kCommonCodes[] = {
    {1792, "00000001000"},  {1856, "00000001100"},  {1920, "00000001101"},  {1984, "000000010010"},
    {2048, "000000010011"}, {2112, "000000010100"}, {2176, "000000010101"}, {2240, "000000010110"},
    {2304, "000000010111"}, {2368, "000000011100"}, {2432, "000000011101"}, {2496, "000000011110"},
    {2560, "000000011111"}, {-1, "000000000001"},   {-2, "000000001"},      {-2, "0000000001"},
    {-2, "00000000001"},    {-2, "000000000000"},
};

constexpr int kEndOfLine = -1;
constexpr int kInvalid = -2;
constexpr int kNoData = -3;

}  // namespace

TCCITTDecoder::TCCITTDecoder(uint32_t options, uint32_t width, bool wordAligned, bool swapBits)
    : FOptions(options), FWidth(width), FWordAligned(wordAligned), FSwapBits(swapBits) {
  auto add = [](std::vector<TNode>& tree, const TCodeText& c) {
    int node = 0;
    for (const char* b = c.Bits; *b; ++b) {
      const int bit = *b - '0';
      if (tree[static_cast<size_t>(node)].Child[bit] < 0) {
        tree[static_cast<size_t>(node)].Child[bit] = static_cast<int>(tree.size());
        tree.emplace_back();
      }
      node = tree[static_cast<size_t>(node)].Child[bit];
    }
    tree[static_cast<size_t>(node)].Leaf = true;
    tree[static_cast<size_t>(node)].Value = c.Value;
  };
  for (int colour = 0; colour < 2; ++colour) {
    FTree[colour].emplace_back();
    for (const TCodeText& c :
         colour ? std::span<const TCodeText>(kBlackCodes) : std::span<const TCodeText>(kWhiteCodes))
      add(FTree[colour], c);
    for (const TCodeText& c : kCommonCodes) add(FTree[colour], c);
  }
}

void TCCITTDecoder::Start(const uint8_t* source, uint8_t* dest, size_t packedSize, size_t unpackedSize) {
  FSource = source;
  FPacked = packedSize;
  FBytePos = 0;
  FBitPos = 0;
  FTarget = dest;
  FUnpacked = unpackedSize;
  FOutBit = 0;
  FRestWidth = FWidth;
  FRowDone = false;
  if (unpackedSize) std::memset(dest, 0, unpackedSize);
}

bool TCCITTDecoder::NextBit(int& bit) {
  if (FBytePos >= FPacked) return false;
  uint8_t b = FSource[FBytePos];
  if (FSwapBits) b = ReverseBits(b);
  bit = (b >> (7 - FBitPos)) & 1;
  if (++FBitPos == 8) FBitPos = 0, ++FBytePos;
  return true;
}

int TCCITTDecoder::ReadCode(bool black) {
  const std::vector<TNode>& tree = FTree[black ? 1 : 0];
  int node = 0;
  for (;;) {
    int bit;
    if (!NextBit(bit)) return kNoData;
    node = tree[static_cast<size_t>(node)].Child[bit];
    // Thirteen or more bits that lead nowhere are no code of this colour.
    if (node < 0) return kInvalid;
    if (tree[static_cast<size_t>(node)].Leaf) return tree[static_cast<size_t>(node)].Value;
  }
}

int TCCITTDecoder::ReadRun(bool black, int& length) {
  length = 0;
  for (;;) {
    const int v = ReadCode(black);
    if (v < 0) return v;
    length += v;
    if (v < 64) return 0;
  }
}

void TCCITTDecoder::WriteRun(bool black, int length) {
  const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(length), FRestWidth);
  if (black) {
    for (uint32_t i = 0; i < n; ++i) {
      const size_t bit = FOutBit + i;
      if (bit / 8 >= FUnpacked) break;
      FTarget[bit / 8] |= static_cast<uint8_t>(0x80u >> (bit & 7));
    }
  }
  FOutBit += n;
  FRestWidth -= n;
  if (FRestWidth == 0) FRowDone = true;
}

void TCCITTDecoder::EndRow() {
  FOutBit = (FOutBit + 7) / 8 * 8;
  FRestWidth = FWidth;
  FRowDone = false;
}

void TCCITTFax3Decoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  // Two-dimensional coding is a different code; decoding it as one-dimensional would give noise.
  if (FOptions & 1) throw EGraphicCompression("Two-dimensional group 3 fax coding is not supported.");
  Start(source, dest, packedSize, unpackedSize);
  bool afterEndOfLine = false;
  while (FBytePos < FPacked && FOutBit / 8 < FUnpacked && FWidth > 0) {
    if (!afterEndOfLine) {
      // Find the end-of-line code: eleven or more 0 bits, then a 1.
      int zeros = 0, bit = 0;
      bool found = false;
      while (NextBit(bit)) {
        if (bit == 0) {
          ++zeros;
        } else if (zeros >= 11) {
          found = true;
          break;
        } else {
          zeros = 0;
        }
      }
      if (!found) break;
    }
    afterEndOfLine = false;
    bool black = false;
    for (;;) {
      int length;
      const int end = ReadRun(black, length);
      if (end == kEndOfLine) {
        afterEndOfLine = true;
        break;
      }
      if (end == kInvalid || end == kNoData) break;
      if (length > 0) WriteRun(black, length);
      black = !black;
      if (FRowDone) break;
    }
    EndRow();
  }
  LastInput = FBytePos;
  LastOutput = std::min(FOutBit / 8, FUnpacked);
}

void TCCITTMHDecoder::Decode(const uint8_t*& source, uint8_t*& dest, size_t packedSize, size_t unpackedSize) {
  Start(source, dest, packedSize, unpackedSize);
  bool black = false;
  while (FBytePos < FPacked && FOutBit / 8 < FUnpacked && FWidth > 0) {
    int length;
    const int end = ReadRun(black, length);
    if (end == kNoData) break;
    if (end < 0) continue;  // an end-of-line or invalid code carries no run
    WriteRun(black, length);
    black = !black;
    if (FRowDone) {
      EndRow();
      black = false;
      // Each coded row begins on a byte boundary, or on a 16-bit word boundary when word aligned.
      if (FBitPos != 0) FBitPos = 0, ++FBytePos;
      if (FWordAligned && (FBytePos & 1)) ++FBytePos;
    }
  }
  LastInput = std::min(FBytePos, FPacked);
  LastOutput = std::min(FOutBit / 8, FUnpacked);
}
