// File-system paths as the rest of the program sees them: "/" is the one delimiter, there are
// no drives, and the program's own places (its folder, the temporary folder, backup.db) are
// found here.
#pragma once
#include <string>
#include <string_view>

namespace platform {

inline constexpr char PathDelim = '/';

// Folder of the running executable, from /proc/self/exe, without a trailing delimiter.
std::string ExeDir();
// $TMPDIR, else /tmp, always ending in the delimiter.
std::string TempDir();

// Everything up to and including the last delimiter ("" when there is none).
std::string ExtractFilePath(std::string_view path);
// Everything after the last delimiter.
std::string ExtractFileName(std::string_view path);
// From the last "." of the file-name part, "." included; "" when there is none.
std::string ExtractFileExt(std::string_view path);
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);
// Joins folder and name with exactly the delimiters they need ("" folder gives the name).
std::string JoinPath(std::string_view folder, std::string_view name);
// An absolute, lexically normalised path against the current folder; links are not resolved.
std::string ExpandFileName(std::string_view path);

// The file whose presence beside the executable marks a portable copy (the build tree carries
// one): such a copy keeps its database beside itself. An installed copy has none.
inline constexpr char PortableMarkerName[] = "tidekeep.portable";
// True when `folder` holds the portable marker and this user may write there.
bool IsPortableFolder(std::string_view folder);
// $XDG_DATA_HOME/tidekeep (default ~/.local/share/tidekeep), created on demand.
std::string UserDataDir();

// Where backup.db lives. Resolution order: the override set from --db, the environment
// variable TIDEKEEP_DB, the executable's folder for a portable copy, else UserDataDir(), also
// for root (an installed program's folder is writable to root but is no place for data).
std::string DatabasePath();
void SetDatabasePathOverride(std::string path);

}  // namespace platform
