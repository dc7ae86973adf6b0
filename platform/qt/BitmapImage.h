#pragma once
// Drawing a TBitmap with Qt: conversion to and from QImage. TBitmap keeps its own storage;
// QImage appears only where something is drawn.
#include <QImage>

#include "platform/Bitmap.h"

// An opaque RGB32 image with the bitmap's colours (palettes looked up, 15/16-bit widened).
// Raises EOutOfResources when Qt cannot make an image that large.
QImage BitmapToQImage(const TBitmap& bmp);
// A pf24bit bitmap from any QImage; transparent pixels are laid over white, as a picture drawn
// onto a fresh bitmap would be.
TBitmap QImageToBitmap(const QImage& image);
