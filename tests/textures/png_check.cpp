#include "png_check.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <unistd.h>

namespace tessaline::testing {

namespace {

struct MemoryReader {
  const std::vector<uint8_t>* file;
  size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t size) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (reader->position + size > reader->file->size()) png_error(png, "read past the end");
  std::copy_n(reader->file->data() + reader->position, size, out);
  reader->position += size;
}

void StoreError(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message;
  png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

// One libpng read; expand turns every file into 8-bit RGBA.
bool Read(const std::vector<uint8_t>& file, bool expand, DecodedPng& result, std::vector<uint8_t>& pixels) {
  std::string error;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, StoreError, IgnoreWarning);
  png_infop info = png_create_info_struct(png);
  MemoryReader reader{&file, 0};
  bool ok = false;
  // Held outside the jump target and not changed after setjmp, so that an error's longjmp frees it.
  const auto rows = std::make_unique<std::vector<png_bytep>>();
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_info(png, info);
    result.width = png_get_image_width(png, info);
    result.height = png_get_image_height(png, info);
    result.colorType = png_get_color_type(png, info);
    result.bitDepth = png_get_bit_depth(png, info);
    if (expand) {
      png_set_expand(png);
      png_set_strip_16(png);
      png_set_gray_to_rgb(png);
      png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    } else if (result.bitDepth < 8) {
      png_set_packing(png);
    }
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    pixels.assign(rowBytes * result.height, 0);
    rows->resize(result.height);
    for (uint32_t y = 0; y < result.height; ++y)
      (*rows)[y] = pixels.data() + y * rowBytes;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    ok = true;
  } else {
    result.error = error;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return ok;
}

uint32_t BigEndian(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

DecodedPng DecodeWithLibpng(const std::vector<uint8_t>& file) {
  DecodedPng result;
  result.ok = Read(file, false, result, result.pixels) && Read(file, true, result, result.rgba);
  return result;
}

bool SplitChunks(const std::vector<uint8_t>& file, std::vector<Chunk>& chunks) {
  static const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  if (file.size() < 8 || !std::equal(kSignature, kSignature + 8, file.begin())) return false;
  size_t at = 8;
  while (at < file.size()) {
    if (file.size() - at < 12) return false;
    const uint32_t length = BigEndian(file.data() + at);
    if (file.size() - at - 12 < length) return false;
    Chunk chunk;
    chunk.type.assign(file.begin() + at + 4, file.begin() + at + 8);
    chunk.data.assign(file.begin() + at + 8, file.begin() + at + 8 + length);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, file.data() + at + 4, length + 4));
    chunk.crcOk = crc == BigEndian(file.data() + at + 8 + length);
    chunks.push_back(std::move(chunk));
    at += 12 + length;
  }
  return true;
}

std::string RunPngcheck(const std::vector<uint8_t>& file) {
  if (std::system("command -v pngcheck > /dev/null 2>&1") != 0) {
    return "pngcheck is not installed (Debian package pngcheck, installed by scripts/setup)";
  }
  static int counter = 0;
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("tessaline-pngcheck-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".png");
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }
  const std::filesystem::path report = path.string() + ".txt";
  const std::string command = "pngcheck -v '" + path.string() + "' > '" + report.string() + "' 2>&1";
  const int status = std::system(command.c_str());
  std::string result;
  if (status != 0) {
    std::ifstream in(report);
    std::stringstream text;
    text << in.rdbuf();
    result = "pngcheck rejects the file:\n" + text.str();
    if (result.size() == 26) result += "(no output)";
  }
  std::filesystem::remove(path);
  std::filesystem::remove(report);
  return result;
}

}  // namespace tessaline::testing
