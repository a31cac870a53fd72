// Mac LHA stores a file in MacBinary form: a 128-byte header, the data fork padded with zeros
// to a multiple of 128 bytes, then the resource fork (padded likewise). Extraction keeps the
// data fork as the file and the resource fork as a named stream.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "Decoder.h"

namespace unlha {

// The extended attribute that holds a resource fork (the named stream "com.apple.ResourceFork").
inline constexpr char kResourceForkXattr[] = "user.com.apple.ResourceFork";

// The fork lengths of a MacBinary header, when header (128 bytes) is one and the forks it
// announces account for exactly total bytes of member data.
struct TMacBinaryForks {
  uint32_t data = 0;
  uint32_t resource = 0;
};
bool ParseMacBinaryHeader(std::span<const uint8_t> header, uint64_t total, TMacBinaryForks& forks);

// Passes a member's data on to out: unchanged, unless its first 128 bytes are a MacBinary
// header that fits the member, in which case only the data fork goes to out and the resource
// fork is kept in memory (up to the size a named stream can take).
class TMacBinarySink final : public TSink {
 public:
  static constexpr size_t kHeader = 128;
  static constexpr size_t kMaxResourceFork = 64 * 1024;  // the most one extended attribute holds

  TMacBinarySink(TSink& out, uint64_t total) : FOut(out), FTotal(total) {}
  bool Put(const uint8_t* data, size_t n) override;
  // Hands on what is still held back (data shorter than a header); call once at the end.
  bool Finish();

  bool IsMacBinary() const { return FMacBinary; }
  uint32_t ResourceForkSize() const { return FForks.resource; }
  // The resource fork, complete only when ResourceForkSize() <= kMaxResourceFork.
  const std::string& ResourceFork() const { return FResource; }

 private:
  TSink& FOut;
  uint64_t FTotal;
  std::string FHeader;
  bool FDecided = false;
  bool FMacBinary = false;
  TMacBinaryForks FForks;
  uint64_t FPos = 0;  // bytes after the header
  std::string FResource;
};

}  // namespace unlha
