// The stb_image decoder, compiled once into our own library so that no build needs another DLL. Only the
// formats texture files come in are built, decoding works from memory alone, and images larger than the
// renderer accepts are refused before their pixels are allocated.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 8192
#include <stb_image.h>
