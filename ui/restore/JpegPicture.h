// The program's pictures are JPEG files decoded with libjpeg (not Qt's image plug-ins, which an
// installation may lack). Damaged or missing data give a null image, never a crash or an exit.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include <QImage>

// RGB image of a whole, sound JPEG; null when the data are truncated, damaged or not a JPEG.
QImage DecodeJpeg(std::span<const std::uint8_t> data);
// The same for a file; null when it cannot be read.
QImage LoadJpegFile(const std::string& path);
// The program icon shipped inside the program.
QImage ProgramIconImage();
