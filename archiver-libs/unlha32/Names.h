// Member names as stored (bytes in UTF-8, CP932 or UTF-16) to the program's UTF-8 names.
#pragma once
#include <span>
#include <string>
#include <string_view>

namespace unlha {

bool IsValidUtf8(std::string_view s);
// UTF-8 as is, else CP932 converted; "\" (outside double-byte characters) and 0xFF become "/".
// Names written on Unix (unixBytes) keep their bytes: only 0xFF, the format's own folder
// separator, becomes "/", and "\" is an ordinary character there.
std::string DecodeStoredName(std::string_view raw, bool unixBytes = false);
// UTF-16LE bytes; the separators 0xFFFF and "\" become "/". Unpaired surrogates become U+FFFD.
std::string DecodeUtf16Name(std::span<const uint8_t> raw);

// Matches a member name against a wildcard pattern: "*" any run (also across "/"), "?" one
// character; "*.*" matches every name, as on the systems the archives come from.
bool WildMatch(std::string_view pattern, std::string_view name);

}  // namespace unlha
