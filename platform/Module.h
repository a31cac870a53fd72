// Loading the archiver libraries: a library file name as the program knows it ("UNLHA32.DLL")
// maps to a shared object (libunlha32.so), searched in the program's own places first.
#pragma once
#include <string>
#include <string_view>

namespace platform {

using HMODULE = void*;  // null when nothing is loaded

// Lower case, ".dll" dropped, "lib" in front, ".so" behind: "UNLHA32.DLL" -> "libunlha32.so".
std::string SharedObjectName(std::string_view libraryName);

// Searches each folder of $TIDEKEEP_ARCHIVERS (colon-separated), archivers/ beside the
// executable, ../lib/tidekeep/archivers/ from the executable's folder, then the system
// loader's default. Null when the library is found nowhere or cannot be loaded.
HMODULE LoadLibrary(std::string_view libraryName);
// Exact, case-sensitive export lookup; null when missing.
void* GetProcAddress(HMODULE module, const char* name);
// The loaded object's real path; a null module stands for the program itself ("" when the path
// cannot be told).
std::string GetModuleFileName(HMODULE module);
void FreeLibrary(HMODULE module);

// Where a library's support file (a self-extractor stub) is looked for: Folder first when one is
// given, then the executable's folder, the archiver folders LoadLibrary searches, then each
// folder of $PATH. The full path of the first regular file of that name, "" when none.
std::string SearchPath(std::string_view fileName, std::string_view folder = {});

}  // namespace platform
