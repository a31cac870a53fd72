#include "Names.h"

#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>

namespace arclib {
namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;

bool IsCp932Lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The CP932 converter, or null when the system has none.
iconv_t OpenCp932() {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  return cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd;
}

// Converts one CP932 piece (no separators) with iconv; an unconvertible byte becomes U+FFFD.
void AppendCp932(std::string& out, std::string_view piece) {
  static std::mutex lock;
  // Closed when the library is unloaded; left open, each load of the library would leak one.
  static const std::unique_ptr<std::remove_pointer_t<iconv_t>, decltype(&iconv_close)> converter(OpenCp932(),
                                                                                                 &iconv_close);
  iconv_t cd = converter.get();
  if (cd == nullptr) {
    for (unsigned char c : piece) AppendUtf8(out, c < 0x80 ? c : kReplacement);
    return;
  }
  std::lock_guard guard(lock);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  size_t i = 0;
  while (i < piece.size()) {
    char buf[256];
    char* in = const_cast<char*>(piece.data() + i);
    size_t inLeft = piece.size() - i;
    char* o = buf;
    size_t oLeft = sizeof buf;
    size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, static_cast<size_t>(o - buf));
    i = static_cast<size_t>(in - piece.data());
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // Invalid or incomplete sequence: skip one character's worth of bytes.
      unsigned char c = static_cast<unsigned char>(piece[i]);
      i += (IsCp932Lead(c) && i + 1 < piece.size()) ? 2 : 1;
      AppendUtf8(out, kReplacement);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

// Decodes one UTF-8 character at s[i]; advances i. Returns false on an invalid sequence.
bool NextUtf8(std::string_view s, size_t& i, uint32_t& cp) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + static_cast<size_t>(len) > s.size()) return false;
  cp = len == 1 ? c : len == 2 ? (c & 0x1Fu) : len == 3 ? (c & 0x0Fu) : (c & 0x07u);
  for (int k = 1; k < len; ++k) {
    unsigned char d = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if ((d & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (d & 0x3Fu);
  }
  static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  i += static_cast<size_t>(len);
  return true;
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  uint32_t cp = 0;
  while (i < s.size())
    if (!NextUtf8(s, i, cp)) return false;
  return true;
}

std::string DecodeStoredName(std::string_view raw, bool unixBytes) {
  std::string out;
  out.reserve(raw.size());
  std::string withoutFF;
  withoutFF.reserve(raw.size());
  for (char c : raw) withoutFF += (static_cast<unsigned char>(c) == 0xFF) ? '/' : c;
  if (unixBytes) return withoutFF;
  if (IsValidUtf8(withoutFF)) {
    for (char c : withoutFF) out += c == '\\' ? '/' : c;
    return out;
  }
  size_t start = 0;
  size_t i = 0;
  while (i < withoutFF.size()) {
    unsigned char c = static_cast<unsigned char>(withoutFF[i]);
    if (IsCp932Lead(c) && i + 1 < withoutFF.size()) {
      i += 2;  // a trail byte may be 0x5C and is no separator
    } else if (c == '\\' || c == '/') {
      AppendCp932(out, std::string_view(withoutFF).substr(start, i - start));
      out += '/';
      start = ++i;
    } else {
      ++i;
    }
  }
  AppendCp932(out, std::string_view(withoutFF).substr(start));
  return out;
}

std::string DecodeUtf16Name(std::span<const uint8_t> raw) {
  std::string out;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    uint32_t u = raw[i] | (static_cast<uint32_t>(raw[i + 1]) << 8);
    if (u == 0xFFFF || u == '\\') {
      out += '/';
    } else if (u >= 0xD800 && u <= 0xDBFF && i + 3 < raw.size()) {
      uint32_t lo = raw[i + 2] | (static_cast<uint32_t>(raw[i + 3]) << 8);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        i += 2;
      } else {
        AppendUtf8(out, kReplacement);
      }
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else if (u != 0) {
      AppendUtf8(out, u);
    }
  }
  return out;
}

bool WildMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*" || pattern == "*") return true;
  // Iterative matcher with one backtrack point; "?" consumes a whole UTF-8 character.
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  auto charLen = [](std::string_view s, size_t i) {
    size_t k = i + 1;
    while (k < s.size() && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80) ++k;
    return k - i;
  };
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += charLen(name, n);
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      starN += charLen(name, starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

namespace {

// An exact name selects only the member of exactly that name; a pattern matches the full name,
// the last component when it has no "/", or a folder the member lies in.
bool NameMatches(std::string_view name, std::string_view base, std::string_view pattern, bool exact) {
  while (pattern.size() > 1 && pattern.back() == '/') pattern.remove_suffix(1);
  if (exact) return pattern == name;
  if (WildMatch(pattern, name)) return true;
  if (pattern.find('/') == std::string_view::npos && WildMatch(pattern, base)) return true;
  return name.size() > pattern.size() && name.substr(0, pattern.size()) == pattern && name[pattern.size()] == '/';
}

std::string_view LastComponent(std::string_view name) {
  const size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

}  // namespace

bool Selected(std::string_view name, const std::vector<std::string>& patterns) {
  if (patterns.empty()) return true;
  const std::string_view base = LastComponent(name);
  return std::any_of(patterns.begin(), patterns.end(),
                     [&](std::string_view p) { return NameMatches(name, base, p, false); });
}

bool Selected(std::string_view name, std::span<const TNameArg> patterns) {
  if (patterns.empty()) return true;
  const std::string_view base = LastComponent(name);
  return std::any_of(patterns.begin(), patterns.end(),
                     [&](const TNameArg& p) { return NameMatches(name, base, p.text, p.exact); });
}

}  // namespace arclib
