#pragma once
// Windows icons through Qt's image reader, for the picture loader.
#include <string>

#include "platform/Bitmap.h"

// Reads the largest image of an .ico file into a pf24bit bitmap (transparent parts white).
// Raises EInvalidGraphic when Qt cannot read it.
TBitmap LoadIconFromFile(const std::string& fileName);
// Installs the Qt-backed readers (icons) into the picture loader; call once at start-up.
void RegisterQtPictureReaders();
