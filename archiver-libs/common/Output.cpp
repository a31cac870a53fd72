#include "Output.h"

#include <cstring>

namespace arclib {

TOutput::TOutput(char* buffer, uint32_t size) : FBuffer(size ? buffer : nullptr), FSize(buffer ? size : 0) {
  if (FBuffer) FBuffer[0] = '\0';
}

void TOutput::Write(std::string_view text) {
  if (!FBuffer) {
    FTruncated = FTruncated || !text.empty();
    return;
  }
  size_t room = FSize - 1 - FLength;
  size_t n = text.size();
  if (n > room) {
    n = room;
    // Never cut a UTF-8 sequence: step back over continuation bytes.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    FTruncated = true;
  }
  std::memcpy(FBuffer + FLength, text.data(), n);
  FLength += n;
  FBuffer[FLength] = '\0';
}

void TOutput::Line(std::string_view text) {
  Write(text);
  Write("\n");
}

}  // namespace arclib
