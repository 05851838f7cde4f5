#include "ui/jpeg_decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace tarvex {

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;  // first, so libjpeg's pointer is ours too
  std::jmp_buf jump;
  bool warned;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (premature end of data, corrupt entropy data) mean the picture is
// damaged; remember them and print nothing.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) reinterpret_cast<ErrorManager*>(cinfo->err)->warned = true;
}

void OutputMessage(j_common_ptr) {}

struct RawPicture {
  unsigned char* pixels;  // malloc'd RGB rows, 3 bytes a pixel
  int width;
  int height;
};

// Plain C-style on purpose: nothing with a destructor lives between setjmp
// and a longjmp out of libjpeg.
bool DecodeRaw(const unsigned char* data, std::size_t size, RawPicture* out) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  std::memset(&cinfo, 0, sizeof cinfo);
  std::memset(&err, 0, sizeof err);
  unsigned char* volatile pixels = nullptr;

  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
  err.warned = false;

  if (setjmp(err.jump) != 0) {
    std::free(pixels);
    jpeg_destroy_decompress(&cinfo);
    return false;
  }

  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);

  const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) * 3;
  // A header claiming a huge picture is damage, not a logo.
  if (cinfo.output_components != 3 || cinfo.output_width == 0 || cinfo.output_height == 0 ||
      cinfo.output_width > 8192 || cinfo.output_height > 8192) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  pixels = static_cast<unsigned char*>(std::malloc(stride * cinfo.output_height));
  if (pixels == nullptr) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = pixels + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  const bool clean = !err.warned;
  out->pixels = pixels;
  out->width = static_cast<int>(cinfo.output_width);
  out->height = static_cast<int>(cinfo.output_height);
  jpeg_destroy_decompress(&cinfo);
  if (!clean) {
    std::free(pixels);
    out->pixels = nullptr;
    return false;
  }
  return true;
}

}  // namespace

std::optional<RgbPicture> DecodeJpegRgb(const unsigned char* data, std::size_t size) {
  if (data == nullptr || size == 0) return std::nullopt;
  RawPicture raw{nullptr, 0, 0};
  if (!DecodeRaw(data, size, &raw)) return std::nullopt;
  RgbPicture picture;
  picture.width = raw.width;
  picture.height = raw.height;
  picture.rgb.assign(raw.pixels, raw.pixels + static_cast<std::size_t>(raw.width) * 3 *
                                                 static_cast<std::size_t>(raw.height));
  std::free(raw.pixels);
  return picture;
}

}  // namespace tarvex
