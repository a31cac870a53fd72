// Header parsing of every level and the decoders, on the hand-made fixtures and damaged copies.
#include <gtest/gtest.h>

#include <algorithm>

#include "Archive.h"
#include "Crc16.h"
#include "Decoder.h"
#include "ErrorCodes.h"
#include "LhaHeader.h"
#include "MacBinary.h"
#include "Output.h"
#include "TestSupport.h"
#include "WindowOutput.h"

using namespace unlha;
using unlha_test::Fixture;
using unlha_test::ReadBytes;

namespace {

std::vector<TLhaMember> ScanBytes(const std::vector<uint8_t>& bytes, int& code) {
  TMemorySource src(bytes);
  std::vector<TLhaMember> members;
  uint64_t at = 0;
  code = TArchive::Scan(src, members, at);
  return members;
}

class TCountingSink final : public TSink {
 public:
  bool Put(const uint8_t*, size_t n) override {
    total += n;
    return true;
  }
  uint64_t total = 0;
};

EDecode DecodeMember(const std::vector<uint8_t>& bytes, const TLhaMember& m, uint64_t& produced, uint16_t& crc) {
  TMemorySource src(bytes);
  TCountingSink sink;
  EDecode r = Decode(m.method, src, m.dataOffset, m.packedSize, m.originalSize, sink, crc);
  produced = sink.total;
  return r;
}

}  // namespace

TEST(LhaHeader, LevelThreeCarriesNamesModesOwnersAndTimes) {
  int code = -1;
  auto members = ScanBytes(ReadBytes(Fixture("level3.lzh")), code);
  ASSERT_EQ(code, 0);
  ASSERT_EQ(members.size(), 3u);
  EXPECT_EQ(members[0].name, "dir3");
  EXPECT_TRUE(members[0].IsDirectory());
  EXPECT_EQ(*members[0].unixMode, 040750);
  const TLhaMember& f = members[1];
  EXPECT_EQ(f.name, "dir3/file3.txt");
  EXPECT_EQ(f.level, 3);
  EXPECT_EQ(*f.unixMode, 0100640);
  EXPECT_EQ(*f.uid, 1000u);
  EXPECT_EQ(*f.gid, 100u);
  EXPECT_EQ(f.mtime, 1700000000);
  ASSERT_TRUE(f.atime.has_value());
  EXPECT_EQ(*f.atime, 1700000000 + 3600);
  EXPECT_EQ(members[2].name, "ユニコード.txt");  // the Unicode header wins over the plain name
}

TEST(LhaHeader, Cp932NamesSplitOnlyOnRealDelimiters) {
  int code = -1;
  auto members = ScanBytes(ReadBytes(Fixture("cp932.lzh")), code);
  ASSERT_EQ(code, 0);
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(members[0].name, "表/ソ.txt");
}

TEST(LhaHeader, UnixLinksAndUnsafeNamesAreRecognised) {
  int code = -1;
  auto unix = ScanBytes(ReadBytes(Fixture("unix.lzh")), code);
  ASSERT_EQ(unix.size(), 4u);
  EXPECT_EQ(unix[1].name, "link");
  EXPECT_EQ(unix[1].linkTarget, "target.txt");
  EXPECT_FALSE(unix[1].IsDirectory());
  auto unsafe = ScanBytes(ReadBytes(Fixture("unsafe.lzh")), code);
  ASSERT_EQ(unsafe.size(), 5u);
  EXPECT_EQ(unsafe[1].name, "../evil.txt");
  EXPECT_TRUE(unsafe[2].absolute);
  EXPECT_EQ(unsafe[3].linkTarget, "/tmp");
}

TEST(LhaHeader, FindsTheArchiveBehindASelfExtractorStub) {
  std::vector<uint8_t> bytes(70000, 0x90);
  // A false start: the method pattern without a valid header around it.
  const char fake[] = "xx-lh5-garbage";
  std::copy(fake, fake + sizeof fake, bytes.begin() + 100);
  auto archive = ReadBytes(Fixture("unix.lzh"));
  bytes.insert(bytes.end(), archive.begin(), archive.end());
  int code = -1;
  auto members = ScanBytes(bytes, code);
  EXPECT_EQ(code, 0);
  ASSERT_EQ(members.size(), 4u);
  EXPECT_EQ(members[0].headerOffset, 70000u);
}

TEST(LhaHeader, DamagedHeadersAreReportedNotTrusted) {
  auto bytes = ReadBytes(Fixture("unix.lzh"));
  int code = -1;
  auto members = ScanBytes(bytes, code);
  ASSERT_EQ(members.size(), 4u);
  // A changed name byte in the second header breaks its CRC: the list ends before it.
  auto bad = bytes;
  bad[members[1].headerOffset + 33] ^= 0x01;
  auto partial = ScanBytes(bad, code);
  EXPECT_EQ(code, kErrHeaderCrc);
  EXPECT_EQ(partial.size(), 1u);
  // A packed size running past the end of the file, under a header CRC made to match it, so
  // that the bounds check and not the CRC refuses it.
  bad = bytes;
  const size_t last = members[3].headerOffset;
  ASSERT_EQ(bad[last + 26], 0x00) << "the header-CRC extended header comes first";
  bad[last + 10] = 0x7F;
  bad[last + 27] = bad[last + 28] = 0;
  const uint16_t headerCrc = Crc16(0, std::span(bad).subspan(last, members[3].headerSize));
  bad[last + 27] = static_cast<uint8_t>(headerCrc & 0xFF);
  bad[last + 28] = static_cast<uint8_t>(headerCrc >> 8);
  partial = ScanBytes(bad, code);
  EXPECT_EQ(code, kErrHeaderBroken);
  EXPECT_EQ(partial.size(), 3u);
  // Level 0 checksum.
  auto lh1 = ReadBytes(Fixture("lh1.lzh"));
  lh1[8] ^= 0x40;
  ScanBytes(lh1, code);
  EXPECT_EQ(code, kErrNotArcFile);
}

TEST(Decoders, EveryMethodOfTheFixturesDecodesToItsCrc) {
  for (const char* name : {"lh1.lzh", "lh4.lzh", "lzs.lzh", "lz5.lzh", "level3.lzh", "cp932.lzh"}) {
    auto bytes = ReadBytes(Fixture(name));
    int code = -1;
    auto members = ScanBytes(bytes, code);
    ASSERT_EQ(code, 0) << name;
    ASSERT_FALSE(members.empty()) << name;
    if (std::string_view(name) == "lh4.lzh") {
      EXPECT_EQ(members[0].method, "-lh4-");
    }
    for (const TLhaMember& m : members) {
      uint64_t produced = 0;
      uint16_t crc = 0;
      EXPECT_EQ(DecodeMember(bytes, m, produced, crc), EDecode::Ok) << name;
      EXPECT_EQ(produced, m.IsDirectory() ? 0 : m.originalSize) << name;
      EXPECT_EQ(crc, m.crc) << name << " " << m.name;
    }
  }
}

TEST(Decoders, TruncatedOrBloatedDataEndsWithAnError) {
  for (const char* name : {"lh1.lzh", "lzs.lzh", "lz5.lzh"}) {
    auto bytes = ReadBytes(Fixture(name));
    int code = -1;
    TLhaMember m = ScanBytes(bytes, code).at(0);
    uint64_t produced = 0;
    uint16_t crc = 0;
    // Half the packed data: the decoder runs dry instead of inventing the rest.
    TLhaMember cut = m;
    cut.packedSize /= 2;
    EXPECT_EQ(DecodeMember(bytes, cut, produced, crc), EDecode::Broken) << name;
    // An absurd original size is not believed: decoding stops when the input is exhausted.
    TLhaMember huge = m;
    huge.originalSize = 0xFFFFFFFFu;
    EXPECT_EQ(DecodeMember(bytes, huge, produced, crc), EDecode::Broken) << name;
    EXPECT_LT(produced, 1u << 20) << name;
  }
  EXPECT_EQ(Decode("-lh9-", TMemorySource({}), 0, 0, 1, *std::make_unique<TCountingSink>(), *std::make_unique<uint16_t>()),
            EDecode::UnknownMethod);
}

TEST(Decoders, RandomDamageNeverBreaksTheReader) {
  // Every byte of every fixture flipped in turn: each result is an orderly code, and the damage
  // is noticed: the scan reports it or loses the member (a damaged first header is passed over
  // as a self-extractor's stub would be), or the decoder or the member's CRC does. Damage cannot
  // show in the data of a member whose method is unknown (never read).
  for (const char* name : {"lh1.lzh", "lzs.lzh", "lz5.lzh", "level3.lzh", "unix.lzh"}) {
    SCOPED_TRACE(name);
    auto bytes = ReadBytes(Fixture(name));
    int code = -1;
    const auto sound = ScanBytes(bytes, code);
    ASSERT_EQ(code, 0);
    auto unread = [&](size_t i) {
      return std::any_of(sound.begin(), sound.end(), [&](const TLhaMember& m) {
        return !IsSupportedMethod(m.method) && i >= m.dataOffset && i < m.dataOffset + m.packedSize;
      });
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
      auto bad = bytes;
      bad[i] ^= 0xA5;
      const auto members = ScanBytes(bad, code);
      EXPECT_TRUE(code == 0 || code == kErrHeaderCrc || code == kErrHeaderBroken || code == kErrNotArcFile)
          << "byte " << i << ": code " << code;
      bool noticed = code != 0 || members.size() != sound.size();
      for (const TLhaMember& m : members) {
        uint64_t produced = 0;
        uint16_t crc = 0;
        const EDecode r = DecodeMember(bad, m, produced, crc);
        EXPECT_TRUE(r == EDecode::Ok || r == EDecode::Broken || r == EDecode::UnknownMethod) << "byte " << i;
        EXPECT_LE(produced, m.originalSize);
        if (r == EDecode::Broken || (r == EDecode::Ok && crc != m.crc)) noticed = true;
      }
      EXPECT_TRUE(noticed || unread(i)) << "byte " << i << " changed without notice";
    }
  }
}

TEST(LhaHeader, DosStampsRoundTripThroughLocalTime) {
  int64_t t = 1700000000;  // an even second
  EXPECT_EQ(DosStampToUnix(UnixToDosStamp(t)), t);
  EXPECT_EQ(UnixToDosStamp(0), (1u << 5 | 1u) << 16);  // before 1980: clamped to 1980-01-01
}

TEST(LhaHeader, CraftedHeadersAreRefusedAndTheScanEnds) {
  struct TCase {
    const char* fixture;
    int code;
    size_t members;  // read before the refused header
  } cases[] = {
      {"crafted/nul-folder.lzh", kErrHeaderBroken, 1},   {"crafted/nul-dir-member.lzh", kErrNotArcFile, 0},
      {"crafted/nul-name.lzh", kErrNotArcFile, 0},       {"crafted/nul-unicode.lzh", kErrNotArcFile, 0},
      {"crafted/nul-link.lzh", kErrNotArcFile, 0},       {"crafted/wrap-size.lzh", kErrHeaderBroken, 1},
      {"crafted/huge-size.lzh", kErrHeaderBroken, 1},
      // Level-2 headers that cannot be checked: no header CRC, or its kind byte damaged.
      {"crafted/no-crc.lzh", kErrHeaderCrc, 1},          {"crafted/crc-kind.lzh", kErrHeaderCrc, 1},
  };
  for (const TCase& c : cases) {
    int code = -1;
    auto members = ScanBytes(ReadBytes(Fixture(c.fixture)), code);
    EXPECT_EQ(code, c.code) << c.fixture;
    EXPECT_EQ(members.size(), c.members) << c.fixture;
  }
}

TEST(LhaHeader, OtherToolsQuirksAreRead) {
  int code = -1;
  auto bytes = ReadBytes(Fixture("os9.lzh"));
  auto os9 = ScanBytes(bytes, code);
  ASSERT_EQ(code, 0);
  ASSERT_EQ(os9.size(), 2u);
  EXPECT_EQ(os9[0].osId, 'K');
  EXPECT_EQ(os9[1].name, "next.txt");
  EXPECT_EQ(os9[1].headerOffset, os9[0].dataOffset + os9[0].packedSize);
  auto amiga = ScanBytes(ReadBytes(Fixture("amiga.lzh")), code);
  ASSERT_EQ(amiga.size(), 2u);
  EXPECT_EQ(amiga[0].name, "empty");
  EXPECT_TRUE(amiga[0].IsDirectory());
  EXPECT_FALSE(amiga[1].IsDirectory());
  EXPECT_EQ(amiga[1].name, "full/f.txt");
}

TEST(Decoders, OverlappingCopiesRepeatTheirPeriod) {
  class TCollect final : public TSink {
   public:
    bool Put(const uint8_t* data, size_t n) override {
      bytes.insert(bytes.end(), data, data + n);
      return true;
    }
    std::vector<uint8_t> bytes;
  };
  for (size_t distance : {1u, 2u, 3u, 7u, 64u, 255u, 256u, 300u}) {
    TCollect sink;
    std::vector<uint8_t> want;
    const size_t total = 300000;  // more than one flush of the window
    TWindowOutput out(sink, total);
    for (size_t k = 0; k < distance; ++k) {
      uint8_t c = static_cast<uint8_t>(k * 37 + 1);
      ASSERT_TRUE(out.Literal(c));
      want.push_back(c);
    }
    while (want.size() < total) {
      size_t len = std::min<size_t>(3 + want.size() % 254, total - want.size());
      ASSERT_TRUE(out.Match(distance, len));
      for (size_t k = 0; k < len; ++k) want.push_back(want[want.size() - distance]);
    }
    ASSERT_TRUE(out.Flush());
    EXPECT_EQ(sink.bytes, want) << "distance " << distance;
  }
}

TEST(Output, PrintableEscapesControlsAndBytesThatAreNotUtf8) {
  struct TCase {
    std::string in, out;
  } cases[] = {
      {"plain/名前.txt", "plain/名前.txt"},
      {"a\x1b]0;x\x07", "a\\x1b]0;x\\x07"},
      {"tab\there\n", "tab\\x09here\\x0a"},
      {"del\x7f", "del\\x7f"},
      {"c1 \xc2\x9b", "c1 \\xc2\\x9b"},        // U+009B, the C1 CSI
      {"nbsp \xc2\xa0", "nbsp \xc2\xa0"},      // U+00A0 is printable
      {"raw \x9b\xff", "raw \\x9b\\xff"},      // not UTF-8
      {"cut \xe3\x81", "cut \\xe3\\x81"},      // a sequence cut short
  };
  for (const TCase& c : cases) EXPECT_EQ(Printable(c.in), c.out) << c.in;
}

TEST(MacBinary, OnlyAHeaderThatFitsTheMemberSplitsTheForks) {
  class TCollect final : public TSink {
   public:
    bool Put(const uint8_t* data, size_t n) override {
      bytes.append(reinterpret_cast<const char*>(data), n);
      return true;
    }
    std::string bytes;
  };
  auto bytes = ReadBytes(Fixture("mac.lzh"));
  int code = -1;
  auto members = ScanBytes(bytes, code);
  ASSERT_EQ(members.size(), 3u);
  const TLhaMember& both = members[0];
  std::vector<uint8_t> data(bytes.begin() + static_cast<ptrdiff_t>(both.dataOffset),
                            bytes.begin() + static_cast<ptrdiff_t>(both.dataOffset + both.packedSize));
  TMacBinaryForks forks;
  EXPECT_TRUE(ParseMacBinaryHeader(data, data.size(), forks));
  EXPECT_EQ(forks.data, 14u);
  EXPECT_FALSE(ParseMacBinaryHeader(data, data.size() + 128, forks));  // the forks would not fill it
  auto bad = data;
  bad[124] ^= 1;  // MacBinary II header CRC
  EXPECT_FALSE(ParseMacBinaryHeader(bad, bad.size(), forks));
  // Fed in small pieces, the forks still come apart.
  TCollect file;
  TMacBinarySink mac(file, data.size());
  for (size_t i = 0; i < data.size(); i += 7) ASSERT_TRUE(mac.Put(data.data() + i, std::min<size_t>(7, data.size() - i)));
  ASSERT_TRUE(mac.Finish());
  EXPECT_EQ(file.bytes, "the data fork\n");
  EXPECT_EQ(mac.ResourceFork().size(), 170u);
  // Anything else passes unchanged, also when shorter than a header.
  for (std::string text : {std::string(300, 'x'), std::string("short")}) {
    TCollect plain;
    TMacBinarySink pass(plain, text.size());
    ASSERT_TRUE(pass.Put(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    ASSERT_TRUE(pass.Finish());
    EXPECT_EQ(plain.bytes, text);
    EXPECT_FALSE(pass.IsMacBinary());
  }
}

// The CRC takes long runs through carry-less multiplication where the processor has it: every
// length around the fold's steps, every alignment and running value, against the bit-by-bit
// definition.
TEST(Crc16, AgreesWithTheDefinitionAtEveryLengthAlignmentAndStart) {
  auto bitwise = [](uint16_t crc, const uint8_t* p, size_t n) {
    unsigned c = crc;
    for (size_t i = 0; i < n; ++i) {
      c ^= p[i];
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
    }
    return static_cast<uint16_t>(c);
  };
  std::vector<uint8_t> data(5000);
  uint32_t x = 12345;
  for (auto& b : data) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  for (const size_t offset : {0, 1, 7}) {
    for (size_t n = 0; n + offset <= 700; ++n) {
      for (const uint16_t start : {uint16_t{0}, uint16_t{0xBEEF}}) {
        ASSERT_EQ(Crc16(start, std::span(data).subspan(offset, n)), bitwise(start, data.data() + offset, n))
            << "offset " << offset << ", length " << n << ", start " << start;
      }
    }
  }
  EXPECT_EQ(Crc16(0, data), bitwise(0, data.data(), data.size()));
  // A known value: CRC-16/ARC of "123456789".
  const std::string check = "123456789";
  EXPECT_EQ(Crc16(0, std::span(reinterpret_cast<const uint8_t*>(check.data()), check.size())), 0xBB3D);
}
