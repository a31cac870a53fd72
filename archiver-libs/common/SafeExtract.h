// Extraction below one destination folder: every path is walked through folder handles that
// refuse symbolic links, member names that leave the folder are refused, and every file is
// written under a temporary name and renamed into place only when it is complete.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace arclib {

// An owned file descriptor (-1 when none).
class TFd {
 public:
  explicit TFd(int fd = -1) : FFd(fd) {}
  ~TFd();
  TFd(TFd&& o) noexcept : FFd(o.FFd) { o.FFd = -1; }
  TFd& operator=(TFd&& o) noexcept;
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }

 private:
  int FFd;
};

struct TFailure {
  int code = 0;
  std::string message;
};

// The components of a "/"-separated name, empty ones and "." dropped.
std::vector<std::string> SplitName(std::string_view name);
// Why a member name may not be extracted ("" when it may): absolute, or with a ".." component.
std::string UnsafeNameReason(std::string_view name);

bool IsRoot();

// The owner an archive records for a member; given back only when running as root.
struct TOwner {
  std::optional<uint32_t> uid;
  std::optional<uint32_t> gid;
  std::string user;   // by name where this system knows it, else by id
  std::string group;

  bool Empty() const { return !uid && !gid && user.empty() && group.empty(); }
};

// What a written file, link or folder gets once its content is in place.
struct TStamp {
  int64_t mtime = 0;
  std::optional<int64_t> atime;
  // Permission bits. The set-user-id bit stays only when the owner was restored, the
  // set-group-id bit only with the group: never a set-id file of whoever extracts.
  std::optional<uint32_t> mode;
  bool readOnly = false;  // without a mode: the default mode less its write bits
  TOwner owner;
};

class TDestination {
 public:
  // Opens (creating it and its parents when missing) the destination folder; "" = current.
  bool Open(const std::string& dir, TFailure& f);

  // The folder made of the first count components, created when missing. A component that
  // exists as anything but a real folder (a link above all) is refused.
  TFd Folder(const std::vector<std::string>& comps, size_t count, bool create, TFailure& f) const;

  // Writes a file: Fill gets the descriptor of a temporary file beside the final name and
  // answers false (with f set) on failure; the file is renamed into place only on success.
  void WriteFile(const std::vector<std::string>& comps, const TStamp& stamp,
                 const std::function<bool(int fd, TFailure& f)>& fill, TFailure& f) const;
  void WriteLink(const std::vector<std::string>& comps, const std::string& target, const TStamp& stamp,
                 TFailure& f) const;
  // A hard link to the file Target (written earlier below the destination); Target's folders
  // are walked as every other path, and a link at Target itself is linked, never followed.
  void WriteHardLink(const std::vector<std::string>& comps, const std::vector<std::string>& target,
                     TFailure& f) const;
  // Whether anything (file, folder or link) exists under the name.
  bool Exists(const std::vector<std::string>& comps) const;
  // Creates the folder; its mode and times are set by FinishFolders, after its contents.
  void MakeFolder(const std::vector<std::string>& comps, const TStamp& stamp, TFailure& f);
  void FinishFolders();

 private:
  TFd FRoot;
  std::vector<std::pair<std::vector<std::string>, TStamp>> FFolders;
};

}  // namespace arclib
