// The two ends of every decoder: random-access packed bytes in, decoded bytes out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace lzcodec {

// Random-access bytes: an archive file, or memory for tests and fuzzing.
class TByteSource {
 public:
  virtual ~TByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads up to n bytes at offset; returns the count read (short only at the end), or -1.
  virtual ptrdiff_t ReadAt(uint64_t offset, void* buffer, size_t n) const = 0;
};

class TMemorySource final : public TByteSource {
 public:
  explicit TMemorySource(std::span<const uint8_t> bytes) : FBytes(bytes) {}
  uint64_t Size() const override { return FBytes.size(); }
  ptrdiff_t ReadAt(uint64_t offset, void* buffer, size_t n) const override;

 private:
  std::span<const uint8_t> FBytes;
};

// Receives decoded data in order.
class TSink {
 public:
  virtual ~TSink() = default;
  // False stops decoding (a write failure or a cancel).
  virtual bool Put(const uint8_t* data, size_t n) = 0;
};

}  // namespace lzcodec
