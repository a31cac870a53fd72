// An LHA archive file opened for reading: its bytes and the member headers found in it.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "LhaHeader.h"

namespace unlha {

// A header checksum or header CRC that does not match: the one return code only LHA headers give.
inline constexpr int kErrHeaderCrc = 0x8016;

using lzcodec::TFileSource;

// The member headers of a source, read one after another and not kept: a command that goes
// through the members once holds only the ones it is working on.
class TMemberScan {
 public:
  explicit TMemberScan(const TByteSource& src);

  // False when the source holds no LHA header at all (then Next finds nothing).
  bool Found() const { return FOffset.has_value(); }
  // The next member; false at the end or at a broken header (Error() tells which).
  bool Next(TLhaMember& m);
  // 0, or the code of the broken header that ended the member list early.
  int Error() const { return FError; }
  uint64_t ErrorOffset() const { return FErrorOffset; }

 private:
  const TByteSource& FSrc;
  std::optional<uint64_t> FOffset;  // of the next header; none once the list has ended
  int FError = 0;
  uint64_t FErrorOffset = 0;
};

class TArchive {
 public:
  // 0 and the archive, or kErrArcFileOpen / kErrNotArcFile. An archive whose header chain
  // breaks after some members opens with those members and ScanError() set. Without
  // listMembers the member list stays empty, for a caller that reads it with a TMemberScan.
  static int Open(const std::string& path, std::unique_ptr<TArchive>& out, bool listMembers = true);

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
