// ARJ method 1: LZ77 over ARJ's window (the shared match finder, lazy parse) coded in blocks of
// static Huffman codes, the block format the ARJ and LHA decoders share. Memory is bounded by
// the window whatever the input size.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

namespace unarj {

class TArjEncoder {
 public:
  using TByteSink = std::function<bool(std::span<const uint8_t>)>;
  // Sink receives the packed bytes in order; false from it stops the encoder.
  explicit TArjEncoder(TByteSink sink);
  ~TArjEncoder();
  TArjEncoder(const TArjEncoder&) = delete;
  TArjEncoder& operator=(const TArjEncoder&) = delete;

  bool Write(std::span<const uint8_t> data);
  // Codes what is left and pads the last byte.
  bool Finish();
  uint64_t PackedSize() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace unarj
