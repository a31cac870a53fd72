// Member names as stored (bytes in UTF-8, CP932 or UTF-16) to the program's UTF-8 names, and
// the name patterns of the command lines.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace arclib {

bool IsValidUtf8(std::string_view s);
// UTF-8 as is, else CP932 converted; "\" (outside double-byte characters) and 0xFF become "/".
std::string DecodeStoredName(std::string_view raw);
// UTF-16LE bytes; the separators 0xFFFF and "\" become "/". Unpaired surrogates become U+FFFD.
std::string DecodeUtf16Name(std::span<const uint8_t> raw);

// Matches a member name against a wildcard pattern: "*" any run (also across "/"), "?" one
// character; "*.*" matches every name, as on the systems the archives come from.
bool WildMatch(std::string_view pattern, std::string_view name);

// True when patterns is empty, or one of them names the member: a wildcard match on the full
// name, on the last component when the pattern has no "/", or a folder the member lies in.
bool Selected(std::string_view name, const std::vector<std::string>& patterns);

}  // namespace arclib
