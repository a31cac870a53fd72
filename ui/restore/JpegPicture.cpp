#include "JpegPicture.h"

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include <QFile>

#include <jpeglib.h>

namespace {

// libjpeg's own error handler ends the process; ours jumps back to the decoder instead.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::longjmp(err->jump, 1);
}

void OutputMessage(j_common_ptr) {}

// Pictures larger than this are refused rather than allocated.
constexpr JDIMENSION MaxSide = 4096;

// Only trivially destructible locals live in this frame, so the jump back skips no destructor;
// the image belongs to the caller and is thrown away on failure.
bool Decode(jpeg_decompress_struct& cinfo, ErrorManager& err, std::span<const std::uint8_t> data, QImage& image) {
  if (setjmp(err.jump) != 0) return false;
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_width == 0 || cinfo.output_height == 0 || cinfo.output_width > MaxSide ||
      cinfo.output_height > MaxSide || cinfo.output_components != 3) {
    return false;
  }
  image = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), QImage::Format_RGB888);
  if (image.isNull()) return false;
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = image.scanLine(static_cast<int>(cinfo.output_scanline));
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  // A truncated or corrupt stream is only warned about and padded with grey: treat it as damage.
  return err.pub.num_warnings == 0;
}

}  // namespace

QImage DecodeJpeg(std::span<const std::uint8_t> data) {
  if (data.empty()) return {};
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.output_message = OutputMessage;
  QImage image;
  bool ok = Decode(cinfo, err, data, image);
  jpeg_destroy_decompress(&cinfo);
  return ok ? image : QImage();
}

QImage LoadJpegFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return DecodeJpeg(bytes);
}

QImage ProgramIconImage() {
  QFile file(":/tidekeep/ProgramIcon.jpg");
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray bytes = file.readAll();
  return DecodeJpeg({reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())});
}
