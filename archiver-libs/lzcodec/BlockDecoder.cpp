// LZ77 with static Huffman codes sent per block (LHA -lh4- to -lh7-, ARJ methods 1 to 3). Each
// block starts with its symbol count (16 bits), then the code of the code lengths, the
// literal/length code and the distance code.
#include "BlockDecoder.h"

#include <array>

#include "Huffman.h"

namespace lzcodec {
namespace {

constexpr int kNC = 510;  // 256 literals + lengths 3..256
constexpr int kNT = 19;   // code-length symbols
constexpr int kTBit = 5;
constexpr int kCBit = 9;

class TLhDecoder {
 public:
  TLhDecoder(TBitReader& in, int np, int pbit) : FIn(in), FNp(np), FPbit(pbit) {}

  EDecode Run(TWindowOutput& out) {
    uint32_t blockLeft = 0;
    while (!out.Done()) {
      if (blockLeft == 0) {
        blockLeft = FIn.Bits(16);
        if (blockLeft == 0 || !ReadPtLen(kNT, kTBit, 3, FPt) || !ReadCLen() || !ReadPtLen(FNp, FPbit, -1, FP))
          return EDecode::Broken;
      }
      --blockLeft;
      int c = FC.Decode(FIn);
      if (c < 0) return EDecode::Broken;
      if (c < 256) {
        if (!out.Literal(static_cast<uint8_t>(c))) return EDecode::SinkFailed;
      } else {
        int j = FP.Decode(FIn);
        if (j < 0) return EDecode::Broken;
        size_t dist = j == 0 ? 1 : (size_t{1} << (j - 1)) + FIn.Bits(j - 1) + 1;
        if (dist > out.History()) return EDecode::Broken;
        if (!out.Match(dist, static_cast<size_t>(c - 253))) return EDecode::SinkFailed;
      }
      if (FIn.Overrun() > kMaxOverrun) return FIn.Failed() ? EDecode::ReadFailed : EDecode::Broken;
    }
    return out.Flush() ? EDecode::Ok : EDecode::SinkFailed;
  }

 private:
  bool ReadPtLen(int nn, int nbit, int special, THuffman& table) {
    int n = static_cast<int>(FIn.Bits(nbit));
    if (n == 0) {
      int c = static_cast<int>(FIn.Bits(nbit));
      if (c >= nn) return false;
      table.Single(c);
      return true;
    }
    if (n > nn) return false;
    std::array<uint8_t, 32> len{};
    int i = 0;
    while (i < n) {
      int c = static_cast<int>(FIn.Peek(3));
      FIn.Skip(3);
      if (c == 7) {
        while (FIn.Bits(1) == 1) {
          if (++c > 16) return false;
        }
      }
      len[static_cast<size_t>(i++)] = static_cast<uint8_t>(c);
      if (i == special) {
        int zeros = static_cast<int>(FIn.Bits(2));
        while (zeros-- > 0 && i < nn) len[static_cast<size_t>(i++)] = 0;
      }
    }
    return table.Build(len.data(), nn);
  }

  bool ReadCLen() {
    int n = static_cast<int>(FIn.Bits(kCBit));
    if (n == 0) {
      int c = static_cast<int>(FIn.Bits(kCBit));
      if (c >= kNC) return false;
      FC.Single(c);
      return true;
    }
    if (n > kNC) return false;
    std::array<uint8_t, kNC> len{};
    int i = 0;
    while (i < n) {
      int c = FPt.Decode(FIn);
      if (c < 0) return false;
      if (c <= 2) {
        int run = c == 0 ? 1 : c == 1 ? static_cast<int>(FIn.Bits(4)) + 3 : static_cast<int>(FIn.Bits(kCBit)) + 20;
        if (i + run > kNC) return false;
        while (run-- > 0) len[static_cast<size_t>(i++)] = 0;
      } else {
        len[static_cast<size_t>(i++)] = static_cast<uint8_t>(c - 2);
      }
    }
    return FC.Build(len.data(), kNC);
  }

  TBitReader& FIn;
  int FNp;
  int FPbit;
  THuffman FPt{8};
  THuffman FC{12};
  THuffman FP{8};
};

}  // namespace

EDecode DecodeBlocks(int np, int pbit, TBitReader& in, TWindowOutput& out) {
  TLhDecoder decoder(in, np, pbit);
  return decoder.Run(out);
}

}  // namespace lzcodec
