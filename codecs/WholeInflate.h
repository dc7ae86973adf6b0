// An inflater for one whole zlib stream held in memory whose decoded size is known, as a TIFF
// strip is. It takes only what it can decode whole: anything else (a damaged or truncated
// stream, a wrong checksum, a stream longer or shorter than the room, a preset dictionary, an
// incomplete Huffman code) is declined, and the caller hands the stream to a general inflater,
// whose verdict stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class TWholeInflater {
 public:
  // One stream and its room. Done when source begins with a valid zlib stream that decodes to
  // exactly OutSize bytes, now in Out, and whose Adler-32 matches; Used is then the stream's
  // length. Otherwise Out is left in any state.
  struct TJob {
    const uint8_t* Source = nullptr;
    size_t SourceSize = 0;
    uint8_t* Out = nullptr;
    size_t OutSize = 0;
    size_t Used = 0;
    bool Done = false;
    // Set by a caller that sums the output on a pass of its own: Done then leaves out the
    // Adler-32, which the stream holds as Sum.
    bool CallerSums = false;
    uint32_t Sum = 0;
  };

  // Bmi2: use the processor's BMI2 instructions where it has them; false takes the plain path
  // that processors without them run.
  explicit TWholeInflater(bool Bmi2 = true);
  ~TWholeInflater();
  TWholeInflater(const TWholeInflater&) = delete;
  TWholeInflater& operator=(const TWholeInflater&) = delete;

  // One stream alone; no faster than libdeflate, kept for the checks of the pair.
  bool Inflate(TJob& job);
  // Two independent streams, into rooms of their own, decoded side by side: about a third
  // faster than one after the other on literal-heavy data.
  void InflatePair(TJob& a, TJob& b);

  struct TTables;

 private:
  std::unique_ptr<TTables[]> FTables;
  bool FBmi2;
};
