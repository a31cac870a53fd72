// The one form in which any name travels from a driver to our archiver libraries: "@=" and the
// name, with "%XX" (two hex digits) for the bytes that cannot stand in a double-quoted argument
// or a response-file line (control characters, '"') and for '%' itself. A library takes such a
// name literally and as an exact member name (see the LHA library's README).
#pragma once
#include <string>
#include <string_view>

inline constexpr std::string_view kEscapedNamePrefix = "@=";

inline bool IsEscapedNameByte(unsigned char c) { return c < 0x20 || c == 0x7F || c == '"' || c == '%'; }

inline std::string EncodeEscapedName(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out(kEscapedNamePrefix);
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsEscapedNameByte(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}
