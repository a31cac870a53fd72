// Member names as stored (bytes in UTF-8, CP932 or UTF-16) to the program's UTF-8 names, and
// the name patterns of the command lines.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace arclib {

bool IsValidUtf8(std::string_view s);
// UTF-8 as is, else CP932 converted; "\" (outside double-byte characters) and 0xFF become "/".
// Names written on Unix (unixBytes) keep their bytes: only 0xFF, the LHA format's own folder
// separator, becomes "/", and "\" is an ordinary character there.
std::string DecodeStoredName(std::string_view raw, bool unixBytes = false);
// UTF-16LE bytes; the separators 0xFFFF and "\" become "/". Unpaired surrogates become U+FFFD.
std::string DecodeUtf16Name(std::span<const uint8_t> raw);

// Matches a member name against a wildcard pattern: "*" any run (also across "/"), "?" one
// character; "*.*" matches every name, as on the systems the archives come from.
bool WildMatch(std::string_view pattern, std::string_view name);

// A name argument of a command line. An exact one (the escaped form "@=...", EscapedName.h) is
// taken literally and names one member, never a pattern.
struct TNameArg {
  TNameArg(std::string t = {}, bool e = false) : text(std::move(t)), exact(e) {}
  TNameArg(const char* t, bool e = false) : text(t), exact(e) {}
  std::string text;
  bool exact = false;
  bool operator==(const TNameArg&) const = default;
};

// True when patterns is empty, or one of them names the member: a wildcard match on the full
// name, on the last component when the pattern has no "/", or a folder the member lies in. An
// exact name matches only the member of exactly that name.
bool Selected(std::string_view name, const std::vector<std::string>& patterns);
bool Selected(std::string_view name, std::span<const TNameArg> patterns);

}  // namespace arclib
