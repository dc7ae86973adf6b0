// Loads an Unreal texture package with DevIL and reports what it read: the first line holds
// width, height, format and bytes per pixel; the pixel data (in DevIL's layout, first row at
// the top) is written raw to the output file. Exit code 2 when DevIL cannot load the file.
#include <IL/il.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: devil_utx_probe PACKAGE.utx PIXELS.out\n");
    return 1;
  }
  ilInit();
  ilEnable(IL_ORIGIN_SET);
  ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
  ILuint image = 0;
  ilGenImages(1, &image);
  ilBindImage(image);
  if (!ilLoad(IL_UTX, argv[1])) {
    std::fprintf(stderr, "DevIL could not load %s (error 0x%04X)\n", argv[1], ilGetError());
    return 2;
  }
  const ILint w = ilGetInteger(IL_IMAGE_WIDTH), h = ilGetInteger(IL_IMAGE_HEIGHT);
  const ILint format = ilGetInteger(IL_IMAGE_FORMAT), bpp = ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL);
  const ILint origin = ilGetInteger(IL_IMAGE_ORIGIN);
  std::printf("%d %d 0x%04X %d %s\n", w, h, format, bpp, origin == IL_ORIGIN_LOWER_LEFT ? "lower" : "upper");
  FILE* out = std::fopen(argv[2], "wb");
  if (!out) return 1;
  const size_t size = static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(bpp);
  std::fwrite(ilGetData(), 1, size, out);
  std::fclose(out);
  ilDeleteImages(1, &image);
  return 0;
}
