// A new archive under construction: members go to a temporary file beside the target, which
// replaces the target only when it is complete and on disk. Until then the previous archive is
// untouched, and a writer that is dropped (an error, a cancel) removes its temporary file.
#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "LhEncoder.h"
#include "LhaHeader.h"
#include "SafeExtract.h"
#include "Spool.h"

namespace unlha {

// Writing the new archive failed (disk full, I/O error): the pack cannot go on.
class EWriteFailed : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// What happened to one file-system object offered to the archive.
struct TAddResult {
  bool stored = false;
  std::string reason; // why it was not stored
  std::string note;   // stored, but worth telling (it changed while it was read)
  TLhaMember member;  // what was stored
};

// One file-system object made ready for the archive, apart from the archive: a worker thread
// can make it while the archive is written. The owner names are looked up by the writer.
struct TPackedMember {
  TAddResult result;          // stored = false with the reason when it cannot be stored
  bool wide = false;          // the 64-bit size header is written
  std::optional<TSpool> data; // the packed data of an encoded file
  arclib::TFd file;           // a file stored as it is: the writer copies it from here
  struct stat opened{};       // of the file copied, to notice a change while it is copied
};

// Where a pack keeps the packed data of members waiting for their turn.
struct TSpoolPlace {
  std::string folder; // the archive's folder
  size_t memoryLimit = 0; // per member; beyond it the data goes to an anonymous file
};

// Where an object to pack is: its path, and when the caller holds its folder open, that folder
// and the object's name in it, so that the path is not walked again for every call.
struct TObjectPlace {
  const std::string& path;
  int folder = -1;         // an open folder, or -1: path alone is used
  const char* name = nullptr; // the object's name inside folder
};

// Reads and encodes the object at place as storedName (see TArchiveWriter::Add); safe to run on
// several threads at once. Returns early, not stored, when stop becomes true. Known: the
// object's lstat when the caller has just taken it, so that it is not taken again: the stat
// after reading tells whether the file read is still that file, unchanged.
TPackedMember PackMember(const std::string& storedName, const TObjectPlace& place, TLhMethod method,
                         const TSpoolPlace& spool, const std::atomic<bool>* stop = nullptr,
                         const struct stat* known = nullptr);

// Holds the target's lock from before its old content is read until the new one is in place, so
// that two packs into one archive (two processes, or two packs of one process) take turns and
// neither loses the other's members. The lock is an open-file-description lock on
// ".<name>.tklock" beside the target, removed again when released. Throws EWriteFailed.
class TArchiveLock {
public:
  explicit TArchiveLock(const std::string& target);
  ~TArchiveLock();
  TArchiveLock(const TArchiveLock&) = delete;
  TArchiveLock& operator=(const TArchiveLock&) = delete;

private:
  std::string FPath;
  int FFd = -1;
};

class TArchiveWriter {
public:
  // Removes temporaries of target left by processes that no longer run, then creates this
  // process's own (".<name>.tk<pid>.tmp" in target's folder). Throws EWriteFailed.
  explicit TArchiveWriter(std::string target);
  ~TArchiveWriter();
  TArchiveWriter(const TArchiveWriter&) = delete;
  TArchiveWriter& operator=(const TArchiveWriter&) = delete;

  // Packs the object at path as storedName: a file's data with method (or stored when it would
  // not shrink), a folder, or a symbolic link as a link. A file that cannot be read leaves
  // nothing behind in the archive. Throws EWriteFailed.
  TAddResult Add(const std::string& storedName, const std::string& path, TLhMethod method);
  // Writes a member made by PackMember. Throws EWriteFailed.
  TAddResult Emit(TPackedMember& packed);
  // Appends bytes of an existing archive unchanged (a member's header and packed data).
  void CopyFrom(const TByteSource& src, uint64_t offset, uint64_t length);
  // Writes the end mark, flushes the file to disk and renames it over the target.
  void Commit();

  const std::string& TempPath() const { return FTempPath; }
  // The archive's folder, where packed data waiting for its turn goes.
  std::string Folder() const;
  // True for the temporary file itself and for the target, which a pack must not read.
  bool IsOwnFile(uint64_t dev, uint64_t ino) const;

private:
  uint64_t Offset() const { return FBufStart + FBuf.size(); }
  void Write(std::span<const uint8_t> bytes);
  void WriteAt(uint64_t offset, std::span<const uint8_t> bytes);
  void Truncate(uint64_t offset);
  void Flush();
  [[noreturn]] void Fail(const char* what, int err) const;
  std::string UserName(uint32_t uid);
  std::string GroupName(uint32_t gid);

  std::string FTarget;
  std::string FTempPath;
  int FFd = -1;
  bool FCommitted = false;
  uint64_t FTempDev = 0, FTempIno = 0;
  uint64_t FTargetDev = 0, FTargetIno = 0; // 0 when the target does not exist yet
  std::vector<uint8_t> FBuf; // bytes not yet written, from FBufStart on
  uint64_t FBufStart = 0;
  std::vector<uint8_t> FReadBuf;
  std::map<uint32_t, std::string> FUsers, FGroups;
};

} // namespace unlha
