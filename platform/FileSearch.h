// Searching folders and the few plain file operations the archiver component needs.
#pragma once
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "FileTimes.h"

namespace platform {

// One entry of a folder. Hidden = the name begins with "."; a symbolic link is reported as a
// link, never as the folder or file it points to.
struct TSearchRec {
  std::string Name;
  bool IsDir = false;
  bool IsLink = false;
  bool Hidden = false;
  TFileTimes Times;
};

// The "*"/"?" wildcards of the archiver patterns; "*.*" matches every name, with or without a
// dot. Letter case counts, as it does in the file system.
bool MatchesMask(std::string_view name, std::string_view mask);

// Every entry of Dir ("" = the current folder) whose name matches Mask, "." and ".." left out,
// in no particular order; an unreadable or missing folder gives none.
std::vector<TSearchRec> FindFiles(std::string_view dir, std::string_view mask);

bool FileExists(std::string_view path);       // any entry, links not followed
bool DirectoryExists(std::string_view path);  // a real folder, not a link to one
bool DeleteFile(std::string_view path);
// 0 when Path is a folder (links followed) that can be listed, else the error number.
int CheckFolder(std::string_view path);

// Creates Path as a new file holding Data; an existing entry is never replaced. 0 on success,
// else the error number (EEXIST when the name was taken).
int WriteNewFile(std::string_view path, std::span<const char> data);
std::optional<std::string> ReadWholeFile(std::string_view path);

}  // namespace platform
