// What the user reads when an archiver library fails: one Japanese sentence from the library's
// return code (what failed, on which file, what to do), then the library's own text as detail.
#pragma once
#include <string>
#include <string_view>

namespace platform {

// The Japanese sentence for a library return code about file; an unknown code still names it.
std::string LibraryErrorSentence(int code, std::string_view file);

// The sentence, then the library's output (when there is any) below it.
std::string LibraryErrorText(int code, std::string_view file, std::string_view libraryText);

}  // namespace platform
