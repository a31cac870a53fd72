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

void TOutput::PrintableLine(std::string_view text) { Line(Printable(text)); }

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t Utf8Length(std::string_view s, size_t i) {
  auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = at(i);
  size_t len = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
  if (len == 0 || i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k)
    if ((at(i + k) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points above U+10FFFF.
  if ((c == 0xE0 && at(i + 1) < 0xA0) || (c == 0xED && at(i + 1) >= 0xA0) || (c == 0xF0 && at(i + 1) < 0x90) ||
      (c == 0xF4 && at(i + 1) >= 0x90))
    return 0;
  return len;
}

}  // namespace

std::string Printable(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  auto escape = [&](unsigned char c) {
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t len = Utf8Length(text, i);
    if (len == 0 || c < 0x20 || c == 0x7F) {
      escape(c);
      ++i;
    } else if (len == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      escape(c);  // U+0080 to U+009F, the C1 controls
      escape(static_cast<unsigned char>(text[i + 1]));
      i += 2;
    } else {
      out.append(text.substr(i, len));
      i += len;
    }
  }
  return out;
}

}  // namespace arclib
