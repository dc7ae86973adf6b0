#pragma once
// Separable filtered resampling of 24-bit bitmaps: rows first into an intermediate bitmap,
// then columns into the destination. The first and last pixels of source and destination are
// aligned (the scale is (D - 1) / (S - 1)), so corners keep their colour.
#include "platform/Bitmap.h"

// A filter takes a distance in source pixels and returns its weight.
using TFilterProc = float (*)(float);

float BoxFilter(float Value);
float TriangleFilter(float Value);
float HermiteFilter(float Value);
float BellFilter(float Value);
float SplineFilter(float Value);
float Lanczos3Filter(float Value);
float MitchellFilter(float Value);

struct TFilterRec {
  const char* Name;
  TFilterProc Filter;
  float Width;  // support in source pixels
};

// "Box", "Triangle", "Hermite", "Bell", "B-Spline", "Lanczos3", "Mitchell", in that order.
inline constexpr int ResampleFilterCount = 7;
extern const TFilterRec ResampleFilters[ResampleFilterCount];

// Fills Destination, whose size the caller has set, with the filtered image of Source. Source
// and Destination are converted to 24 bits per pixel in place. Raises EInvalidGraphic with
// "Source bitmap too small" for an empty source, "Destination bitmap too small" for an empty
// destination and "Invalid filter width" for a support that is negative or not finite, and
// EOutOfResources when the intermediate image (destination width by source height) or the
// contributor lists are too large; a refusal leaves both bitmaps unchanged.
void Stretch(TBitmap& Source, TBitmap& Destination, TFilterProc Filter, float Width);

// The editor's call: Lanczos3 with its support of 3.
inline void Stretch(TBitmap& Source, TBitmap& Destination) { Stretch(Source, Destination, Lanczos3Filter, 3.0f); }

// Resamples Source into Destination at the given size with a row of the filter table.
void StretchTo(TBitmap& Source, TBitmap& Destination, int Width, int Height,
               const TFilterRec& Filter = ResampleFilters[5]);
