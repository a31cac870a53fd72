// An LHA archive file opened for reading: its bytes and the member headers found in it.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "LhaHeader.h"

namespace unlha {

// A header checksum or header CRC that does not match: the one return code only LHA headers give.
inline constexpr int kErrHeaderCrc = 0x8016;

// A read-only file as a byte source.
class TFileSource final : public TByteSource {
 public:
  static std::unique_ptr<TFileSource> Open(const std::string& path);
  ~TFileSource() override;
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;
  uint64_t Size() const override { return FSize; }
  ptrdiff_t ReadAt(uint64_t offset, void* buffer, size_t n) const override;

 private:
  TFileSource(int fd, uint64_t size) : FFd(fd), FSize(size) {}
  ptrdiff_t ReadDirect(uint64_t offset, void* buffer, size_t n) const;

  // Headers are small and lie close together: small reads are served from one read-ahead
  // window, so a listing costs a read per window instead of two per member.
  static constexpr size_t kWindow = 64 * 1024;
  int FFd;
  uint64_t FSize;
  mutable std::vector<char> FWindow;
  mutable uint64_t FWindowOffset = 0;
};

class TArchive {
 public:
  // 0 and the archive, or kErrArcFileOpen / kErrNotArcFile. An archive whose header chain
  // breaks after some members opens with those members and ScanError() set.
  static int Open(const std::string& path, std::unique_ptr<TArchive>& out);

  const std::vector<TLhaMember>& Members() const { return FMembers; }
  const TByteSource& Source() const { return *FSource; }
  // 0, or the code of the broken header that ended the member list early.
  int ScanError() const { return FScanError; }
  uint64_t ScanErrorOffset() const { return FScanErrorOffset; }

  // Reads one member list from any source (used by Open, the tests and the fuzzers).
  static int Scan(const TByteSource& src, std::vector<TLhaMember>& members, uint64_t& errorOffset);

 private:
  std::unique_ptr<TFileSource> FSource;
  std::vector<TLhaMember> FMembers;
  int FScanError = 0;
  uint64_t FScanErrorOffset = 0;
};

// A member as the shared records, progress, listing and selection describe it.
TMemberInfo MemberInfoOf(const TLhaMember& m);
// The owner and the time and mode stamp an extracted member gets.
TStamp StampOf(const TLhaMember& m);
// The member list of the listing handles (TScanFn): 0, or kErrArcFileOpen / kErrNotArcFile. An
// archive whose header chain breaks lists the members before the break.
int ScanMembers(const std::string& path, std::vector<TMemberInfo>& members);

// How far into a file the first header is looked for (self-extractor stubs come first).
inline constexpr uint64_t kMaxStubSize = 4 << 20;

}  // namespace unlha
