#include "ArcModel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "Paths.h"

namespace {

constexpr std::size_t NameOffset = 26;
constexpr std::size_t NameCapacity = 513;

template <typename T>
T readField(const std::array<std::byte, MemberRecordSize>& bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

unsigned char upper(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; }

int sign(long long v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int compareStamps(const TMemberBlock& a, const TMemberBlock& b) {
  auto da = DecodeDosDateTime(a.DosDate(), a.DosTime());
  auto db = DecodeDosDateTime(b.DosDate(), b.DosTime());
  if (!da || !db) return (da ? 1 : 0) - (db ? 1 : 0);
  auto key = [](const platform::LocalDateTime& t) {
    return std::array{t.year, t.month, t.day, t.hour, t.minute, t.second};
  };
  auto ka = key(*da), kb = key(*db);
  return ka < kb ? -1 : (kb < ka ? 1 : 0);
}

}  // namespace

TMemberBlock::TMemberBlock(std::span<const std::byte, MemberRecordSize> record) {
  std::copy(record.begin(), record.end(), FBytes.begin());
}

std::uint32_t TMemberBlock::OriginalSize() const { return readField<std::uint32_t>(FBytes, 0); }
std::uint32_t TMemberBlock::CompressedSize() const { return readField<std::uint32_t>(FBytes, 4); }
std::uint16_t TMemberBlock::Ratio() const { return readField<std::uint16_t>(FBytes, 20); }
std::uint16_t TMemberBlock::DosDate() const { return readField<std::uint16_t>(FBytes, 22); }
std::uint16_t TMemberBlock::DosTime() const { return readField<std::uint16_t>(FBytes, 24); }

std::string_view TMemberBlock::Name() const {
  const char* name = reinterpret_cast<const char*>(FBytes.data() + NameOffset);
  return {name, strnlen(name, NameCapacity)};
}

int CompareText(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char ca = upper(static_cast<unsigned char>(a[i]));
    unsigned char cb = upper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return sign(static_cast<long long>(a.size()) - static_cast<long long>(b.size()));
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(upper(static_cast<unsigned char>(c)));
  return out;
}

std::string RatioText(std::uint16_t perMille) {
  std::string text = std::to_string(perMille / 10);
  if (perMille % 10 != 0) text += "." + std::to_string(perMille % 10);
  return text + "%";
}

std::optional<platform::LocalDateTime> DecodeDosDateTime(std::uint16_t date, std::uint16_t time) {
  platform::LocalDateTime t{1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F,
                            time >> 11,         (time >> 5) & 0x3F, (time & 0x1F) * 2};
  if (!platform::IsValidDate(t.year, t.month, t.day) || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  return t;
}

std::string DateTimeText(std::uint16_t date, std::uint16_t time) {
  auto t = DecodeDosDateTime(date, time);
  if (!t) return {};
  char clock[16];
  std::snprintf(clock, sizeof clock, " %02d:%02d:%02d", t->hour, t->minute, t->second);
  return platform::FormatShortDate(*t) + clock;
}

std::vector<TFolderNode> BuildFolderTree(std::span<const TMemberBlock> members) {
  std::vector<std::string_view> names;
  names.reserve(members.size());
  for (const auto& m : members) names.push_back(m.Name());
  std::stable_sort(names.begin(), names.end(),
                   [](std::string_view a, std::string_view b) { return CompareText(a, b) < 0; });

  std::vector<TFolderNode> nodes;
  // Node of each folder met so far, by its full path up to and including its "/".
  std::unordered_map<std::string_view, int> byPath;
  for (std::string_view name : names) {
    int parent = -1;
    for (std::size_t start = 0, slash; (slash = name.find('/', start)) != std::string_view::npos;
         start = slash + 1) {
      auto [it, added] = byPath.try_emplace(name.substr(0, slash + 1), static_cast<int>(nodes.size()));
      if (added) nodes.push_back({std::string(name.substr(start, slash - start)), parent});
      parent = it->second;
    }
  }
  return nodes;
}

std::string AllMembersPath(std::string_view archiveName) { return platform::ExtractFileName(archiveName) + "/"; }

std::vector<TListRow> ListRowsForPath(std::string_view path, std::string_view archiveName,
                                      std::span<const TMemberBlock> members, bool showFolder) {
  std::vector<TListRow> rows;
  if (path == AllMembersPath(archiveName)) {
    for (const auto& m : members) {
      std::string_view name = m.Name();
      if (!name.empty() && name.back() == '/') continue;
      auto slash = name.rfind('/');
      rows.push_back({std::string(slash == std::string_view::npos ? name : name.substr(slash + 1)), &m, {}});
    }
    return rows;
  }
  constexpr std::string_view rootPath = "Root/";
  if (!path.starts_with(rootPath)) return rows;
  std::string_view prefix = path.substr(rootPath.size());
  // Captions held so far, letter case folded, so a folder is listed once beside its files.
  std::unordered_set<std::string> captions;
  for (const auto& m : members) {
    std::string_view name = m.Name();
    if (!name.starts_with(prefix)) continue;
    std::string_view rest = name.substr(prefix.size());
    auto slash = rest.find('/');
    if (slash != std::string_view::npos) {
      if (showFolder) {
        std::string_view folder = rest.substr(0, slash);
        if (captions.insert(UpperAscii(folder)).second) rows.push_back({std::string(folder), nullptr, {}});
      }
      continue;
    }
    if (rest.empty()) continue;
    if (showFolder) captions.insert(UpperAscii(rest));
    rows.push_back({std::string(rest), &m, {}});
  }
  return rows;
}

int CompareRows(const TListRow& a, const TListRow& b, int column) {
  if (column == 0) return CompareText(a.Caption, b.Caption);
  if (a.IsFolder() || b.IsFolder()) {
    if (a.IsFolder() && b.IsFolder()) return CompareText(a.Caption, b.Caption);
    return a.IsFolder() ? -1 : 1;
  }
  const TMemberBlock& ma = *a.Member;
  const TMemberBlock& mb = *b.Member;
  switch (column) {
    case 1: return CompareText(a.TypeName, b.TypeName);
    case 2: return sign(static_cast<long long>(ma.OriginalSize()) - mb.OriginalSize());
    case 3: return sign(static_cast<long long>(ma.CompressedSize()) - mb.CompressedSize());
    case 4: return sign(static_cast<long long>(ma.Ratio()) - mb.Ratio());
    case 5: return compareStamps(ma, mb);
    default: return 0;
  }
}

void SortRows(std::vector<TListRow>& rows, int column, int direction) {
  if (column < 0 || column >= ColumnCount) return;
  std::stable_sort(rows.begin(), rows.end(), [column, direction](const TListRow& a, const TListRow& b) {
    return CompareRows(a, b, column) * direction < 0;
  });
}

void TSortState::Click(int index) {
  SortDirection = (SortColumn != index || SortColumn == -1) ? 1 : -SortDirection;
  SortColumn = index;
}

std::array<std::string, 4> MemberColumnTexts(const TMemberBlock& member) {
  return {std::to_string(member.OriginalSize()), std::to_string(member.CompressedSize()), RatioText(member.Ratio()),
          DateTimeText(member.DosDate(), member.DosTime())};
}
