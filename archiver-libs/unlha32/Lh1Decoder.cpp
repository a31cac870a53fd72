// -lh1-: LZ77 over a 4 KB window. Literals and match lengths share one adaptive Huffman tree
// of 314 symbols that is updated after every symbol (and halved when the root's count reaches
// 0x8000); a distance is a fixed-code 6-bit high part followed by 6 plain bits.
#include <array>
#include <cstring>

#include "Methods.h"

namespace unlha {
namespace {

constexpr int kMaxLen = 60;
constexpr int kThreshold = 2;
constexpr int kNChar = 256 - kThreshold + kMaxLen;  // 314
constexpr int kT = kNChar * 2 - 1;                  // nodes
constexpr int kRoot = kT - 1;
constexpr uint32_t kMaxFreq = 0x8000;

// The fixed code of the distance's high 6 bits: 1 value of 3 bits, 3 of 4, 8 of 5, 12 of 6,
// 24 of 7 and 16 of 8, assigned in order. Indexed by the next 8 input bits.
struct TPositionCode {
  std::array<uint8_t, 256> value{};
  std::array<uint8_t, 256> length{};
};

constexpr TPositionCode MakePositionCode() {
  TPositionCode t{};
  constexpr int counts[] = {1, 3, 8, 12, 24, 16};
  int v = 0;
  int code = 0;  // left-aligned 8-bit code
  for (int g = 0; g < 6; ++g) {
    int len = 3 + g;
    for (int k = 0; k < counts[g]; ++k, ++v) {
      int span = 1 << (8 - len);
      for (int s = 0; s < span; ++s) {
        t.value[static_cast<size_t>(code + s)] = static_cast<uint8_t>(v);
        t.length[static_cast<size_t>(code + s)] = static_cast<uint8_t>(len);
      }
      code += span;
    }
  }
  return t;
}

constexpr TPositionCode kPosition = MakePositionCode();

class TAdaptiveTree {
 public:
  TAdaptiveTree() {
    for (int i = 0; i < kNChar; ++i) {
      FFreq[i] = 1;
      FSon[i] = i + kT;
      FParent[i + kT] = i;
    }
    for (int i = 0, j = kNChar; j <= kRoot; i += 2, ++j) {
      FFreq[j] = FFreq[i] + FFreq[i + 1];
      FSon[j] = i;
      FParent[i] = FParent[i + 1] = j;
    }
    FFreq[kT] = 0xFFFF;
    FParent[kRoot] = 0;
  }

  int Decode(TBitReader& in) {
    int c = FSon[kRoot];
    while (c < kT) c = FSon[c + static_cast<int>(in.Bits(1))];
    c -= kT;
    Update(c);
    return c;
  }

 private:
  void Rebuild() {
    int j = 0;
    for (int i = 0; i < kT; ++i) {
      if (FSon[i] >= kT) {
        FFreq[j] = (FFreq[i] + 1) / 2;
        FSon[j] = FSon[i];
        ++j;
      }
    }
    for (int i = 0, n = kNChar; n < kT; i += 2, ++n) {
      uint32_t f = FFreq[i] + FFreq[i + 1];
      FFreq[n] = f;
      int k = n - 1;
      while (f < FFreq[k]) --k;
      ++k;
      size_t moved = static_cast<size_t>(n - k);
      std::memmove(&FFreq[k + 1], &FFreq[k], moved * sizeof FFreq[0]);
      FFreq[k] = f;
      std::memmove(&FSon[k + 1], &FSon[k], moved * sizeof FSon[0]);
      FSon[k] = i;
    }
    for (int i = 0; i < kT; ++i) {
      int k = FSon[i];
      if (k >= kT) {
        FParent[k] = i;
      } else {
        FParent[k] = FParent[k + 1] = i;
      }
    }
  }

  void Update(int symbol) {
    if (FFreq[kRoot] == kMaxFreq) Rebuild();
    int c = FParent[symbol + kT];
    do {
      uint32_t k = ++FFreq[c];
      int l = c + 1;
      if (k > FFreq[l]) {
        while (k > FFreq[++l]) {
        }
        --l;
        FFreq[c] = FFreq[l];
        FFreq[l] = k;
        int i = FSon[c];
        FParent[i] = l;
        if (i < kT) FParent[i + 1] = l;
        int j = FSon[l];
        FSon[l] = i;
        FParent[j] = c;
        if (j < kT) FParent[j + 1] = c;
        FSon[c] = j;
        c = l;
      }
      c = FParent[c];
    } while (c != 0);
  }

  std::array<uint32_t, kT + 1> FFreq{};
  std::array<int, kT + kNChar> FParent{};
  std::array<int, kT> FSon{};
};

}  // namespace

EDecode DecodeLh1(TBitReader& in, TWindowOutput& out) {
  TAdaptiveTree tree;
  while (!out.Done()) {
    int c = tree.Decode(in);
    if (c < 256) {
      if (!out.Literal(static_cast<uint8_t>(c))) return EDecode::SinkFailed;
    } else {
      uint32_t top = in.Peek(8);
      in.Skip(kPosition.length[top]);
      size_t dist = ((static_cast<size_t>(kPosition.value[top]) << 6) | in.Bits(6)) + 1;
      if (!out.Match(dist, static_cast<size_t>(c - 256 + kThreshold + 1))) return EDecode::SinkFailed;
    }
    if (in.Overrun() > kMaxOverrun) return in.Failed() ? EDecode::ReadFailed : EDecode::Broken;
  }
  return out.Flush() ? EDecode::Ok : EDecode::SinkFailed;
}

}  // namespace unlha
