// Streaming encoder for the LHA compression methods -lh5-, -lh6- and -lh7-: LZSS over the
// method's window, coded in blocks of static Huffman trees. Memory is bounded by the window,
// whatever the input size; the compressed bytes go to a sink as each block is completed.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

namespace unlha {

enum class TLhMethod { lh0, lh5, lh6, lh7 };

// "-lh5-" and so on; the directory and link members use "-lhd-".
std::string_view MethodId(TLhMethod method);

// Receives compressed bytes, in order.
using TByteSink = std::function<void(std::span<const uint8_t>)>;

class TLhEncoder {
public:
  TLhEncoder(TLhMethod method, TByteSink sink); // method is lh5, lh6 or lh7
  ~TLhEncoder();
  TLhEncoder(const TLhEncoder&) = delete;
  TLhEncoder& operator=(const TLhEncoder&) = delete;

  // Any amount in all: window positions are moved down before their 32 bits run out.
  void Write(std::span<const uint8_t> data);
  // Codes what is left and pads the last byte; the encoder is done afterwards.
  void Finish();
  // Compressed bytes handed to the sink so far.
  uint64_t OutputSize() const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

} // namespace unlha
