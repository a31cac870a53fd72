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
// The same; error is 0, or why the folder could not be listed (whole). Without withTimes the
// entries' Times stay empty and the kinds come from the listing itself, so that a folder of a
// thousand files costs no thousand status calls (one entry is still asked, to learn whether the
// folder's entries can be reached at all).
std::vector<TSearchRec> FindFiles(std::string_view dir, std::string_view mask, int& error, bool withTimes = true);

bool FileExists(std::string_view path);       // any entry, links not followed
bool DirectoryExists(std::string_view path);  // a real folder, not a link to one
bool DeleteFile(std::string_view path);
// 0 when Path is a folder (links followed) that can be listed, else the error number.
int CheckFolder(std::string_view path);

// Creates Path as a new file holding Data, with the permission bits Mode; an existing entry is
// never replaced. 0 on success, else the error number (EEXIST when the name was taken).
int WriteNewFile(std::string_view path, std::span<const char> data, unsigned mode = 0644);
std::optional<std::string> ReadWholeFile(std::string_view path);
// The content of a regular file of at most MaxSize bytes, never through a link; none otherwise.
std::optional<std::string> ReadSmallFile(std::string_view path, size_t maxSize);
// True when Path lies below Folder (lexically, no ".." component) and no component of it
// below Folder is a symbolic link, so that acting on Path acts inside Folder.
bool IsPlainPathBelow(std::string_view folder, std::string_view path);

}  // namespace platform
