#include "FILTERS.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "ExtStrms.h"
#include "FileSearch.h"
#include "Paths.h"

namespace {

// Letter case ignored first (each byte folded as std::tolower folds it), then the bytes, so the
// order is total and only identical names tie. The folding is looked up once per sort.
class TNameOrder {
 public:
  TNameOrder() {
    for (int c = 0; c < 256; ++c) FFold[static_cast<size_t>(c)] = static_cast<unsigned char>(std::tolower(c));
  }
  bool operator()(std::string_view x, std::string_view y) const {
    const size_t n = std::min(x.size(), y.size());
    for (size_t k = 0; k < n; ++k) {
      const unsigned char cx = FFold[static_cast<unsigned char>(x[k])];
      const unsigned char cy = FFold[static_cast<unsigned char>(y[k])];
      if (cx != cy) return cx < cy;
    }
    if (x.size() != y.size()) return x.size() < y.size();
    return x < y;
  }

 private:
  std::array<unsigned char, 256> FFold{};
};

size_t hashOf(std::string_view name) { return std::hash<std::string_view>{}(name); }

struct TSelectionContext {
  const TArchiverOptions& Options;
  std::string BaseDir;
  bool& Cancel;
  TStagedFiles& Staged;
  const TNameList* Exclusions;
  const TSelectionProgress* Progress;
  bool AllAttributes;  // a >= 1: dot-files too
  std::optional<long long> Earliest, Latest;  // last-write bounds, Unix seconds
  std::vector<std::string>* Unreadable;       // folders that could not be read, or none
  TNameList Result;
  EXTRACTINGINFOEX Record{};

  void ReportUnreadable(std::string_view stored, int error) {
    if (Unreadable == nullptr) return;
    Unreadable->push_back((stored.empty() ? std::string(".") : std::string(stored)) +
                          ": cannot read the folder: " + std::strerror(error));
  }

  // Where a stored folder or name lies: relative ones below the base folder.
  std::string PhysicalPath(std::string_view stored) const {
    if (!stored.empty() && stored.front() == platform::PathDelim) return std::string(stored);
    if (stored.empty()) return BaseDir;
    return platform::JoinPath(BaseDir, stored);
  }

  std::string StoredNameOf(const platform::TSearchRec& entry, std::string_view dir) const {
    // There are no short 8.3 names here, so ji changes nothing.
    std::string name = platform::JoinPath(dir, entry.Name);
    if (Options.jf == -2 && !BaseDir.empty()) {
      const std::string base = platform::IncludeTrailingPathDelimiter(platform::ExpandFileName(BaseDir));
      const std::string full = platform::ExpandFileName(PhysicalPath(name));
      if (full.starts_with(base)) name = full.substr(base.size());
    }
    return name;
  }

  void AddSelected(const std::string& storedName, const std::string& fullName, const platform::TSearchRec& rec,
                   bool includeStreams) {
    if (Exclusions != nullptr && Exclusions->Contains(storedName)) return;
    const bool added = Result.Add(storedName);
    if (includeStreams) StageStreams(Result, Staged, fullName, rec, Options.StreamSeparator, storedName);
    if (added && Progress != nullptr && *Progress) {
      std::memset(Record.szSourceFileName, 0, sizeof Record.szSourceFileName);
      std::strncpy(Record.szSourceFileName, storedName.c_str(), FNAME_MAX32);
      bool abort = false;
      (*Progress)(kSelectedState, &Record, abort);
      if (abort) Cancel = true;
    }
  }

  // The files of one folder that match Mask, then, when the scan recurses, its subfolders. The
  // folder is listed once, and its entries carry everything the selection asks of them.
  void ScanFolder(const std::string& dir, std::string_view mask, bool includeStreams) {
    const std::string folder = PhysicalPath(dir);
    int error = 0;
    std::vector<platform::TSearchRec> entries = platform::FindFiles(folder, "*", error, NeedsTimes());
    if (error != 0) ReportUnreadable(dir, error);
    ScanEntries(dir, folder, std::move(entries), mask, includeStreams);
  }

  void ScanEntries(const std::string& dir, const std::string& folder, std::vector<platform::TSearchRec> entries,
                   std::string_view mask, bool includeStreams) {
    std::sort(entries.begin(), entries.end(),
              [](const platform::TSearchRec& x, const platform::TSearchRec& y) { return x.Name < y.Name; });
    for (const platform::TSearchRec& entry : entries) {
      if (Cancel) return;
      if (entry.IsDir || !platform::MatchesMask(entry.Name, mask) || !Selectable(entry)) continue;
      AddSelected(StoredNameOf(entry, dir), platform::JoinPath(folder, entry.Name), entry, includeStreams);
    }
    const bool wildcard = mask.find_first_of("*?") != std::string_view::npos;
    const bool everything = mask == "*.*" || mask == "*";
    if (Options.r < 1 || (Options.p > 0 && !wildcard)) return;
    // Every real folder, dot-folders included whatever a says; linked folders are never
    // entered, so a link loop cannot trap the scan.
    for (platform::TSearchRec& sub : entries) {
      if (Cancel) return;
      if (!sub.IsDir || sub.IsLink) continue;
      const std::string path = platform::JoinPath(folder, sub.Name);
      const std::string stored = StoredNameOf(sub, dir);
      int error = 0;
      std::vector<platform::TSearchRec> inner = platform::FindFiles(path, "*", error, NeedsTimes());
      // Unreadable: reported, never stored as if it were empty.
      if (error != 0) {
        ReportUnreadable(stored, error);
        continue;
      }
      // A folder from which nothing is selected (it is empty, or holds only what the selection
      // leaves out) would leave no trace in the archive and be lost on restore: it is selected
      // under its own name, which the library stores as a folder member.
      const size_t before = Result.Size();
      if (!inner.empty()) ScanEntries(stored, path, std::move(inner), mask, includeStreams);
      if (everything && Selectable(sub) && Result.Size() == before && !Cancel) AddSelected(stored, path, sub, false);
    }
  }

  // Only a date window asks for the entries' times.
  bool NeedsTimes() const { return Earliest.has_value() || Latest.has_value(); }

  // The attribute set and the date window.
  bool Selectable(const platform::TSearchRec& entry) const {
    if (entry.Hidden && !AllAttributes) return false;
    const long long written = platform::FileTimeToUnix(entry.Times.LastWrite);
    return !((Earliest && written < *Earliest) || (Latest && written > *Latest));
  }
};

std::optional<long long> boundOf(std::string_view text, std::string_view defaultTime) {
  auto t = ParseDateSwitch(text, defaultTime);
  if (!t) return std::nullopt;
  return platform::ToUnixTime(*t);
}

}  // namespace

std::vector<std::string> TSelection::Strings() const {
  return {FNames.begin(), FNames.begin() + static_cast<ptrdiff_t>(size())};
}

std::string_view TNameList::NameAt(size_t i) const {
  const uint64_t from = i == 0 ? 0 : FEnds[i - 1];
  return std::string_view(FBytes).substr(from, FEnds[i] - from);
}

size_t TNameList::SlotOf(std::string_view name) const {
  const size_t mask = FSlots.size() - 1;
  for (size_t slot = hashOf(name) & mask;; slot = (slot + 1) & mask) {
    const uint32_t at = FSlots[slot];
    if (at == 0 || NameAt(at - 1) == name) return slot;
  }
}

void TNameList::Grow() {
  // At most half full, so a search meets a free slot soon.
  FSlots.assign(std::max<size_t>(64, FSlots.size() * 2), 0);
  const size_t mask = FSlots.size() - 1;
  for (size_t i = 0; i < FEnds.size(); ++i) {
    size_t slot = hashOf(NameAt(i)) & mask;
    while (FSlots[slot] != 0) slot = (slot + 1) & mask;
    FSlots[slot] = static_cast<uint32_t>(i + 1);
  }
}

bool TNameList::Add(std::string_view name) {
  if (2 * (FEnds.size() + 1) > FSlots.size()) Grow();
  const size_t slot = SlotOf(name);
  if (FSlots[slot] != 0) return false;
  FBytes += name;
  FEnds.push_back(FBytes.size());
  FSlots[slot] = static_cast<uint32_t>(FEnds.size());
  return true;
}

bool TNameList::Contains(std::string_view name) const { return !FSlots.empty() && FSlots[SlotOf(name)] != 0; }

TSelection TNameList::Take() {
  FSlots = {};
  std::vector<uint32_t> order(FEnds.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
  const TNameOrder less;
  std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) { return less(NameAt(x), NameAt(y)); });
  TSelection selection;
  selection.FBytes.reserve(FBytes.size() + order.size());
  for (uint32_t i : order) {
    const std::string_view name = NameAt(i);
    selection.FBytes.insert(selection.FBytes.end(), name.begin(), name.end());
    selection.FBytes.push_back('\0');
  }
  FBytes = {};
  FEnds = {};
  selection.FNames.reserve(order.size() + 1);
  for (size_t at = 0; at < selection.FBytes.size(); at += std::strlen(selection.FBytes.data() + at) + 1)
    selection.FNames.push_back(selection.FBytes.data() + at);
  selection.FNames.push_back(nullptr);
  return selection;
}

TStagedFiles::~TStagedFiles() {
  for (const std::string& path : FPaths) platform::DeleteFile(path);
}

std::optional<platform::LocalDateTime> ParseDateSwitch(std::string_view text, std::string_view defaultTime) {
  if (text.size() > 1 && text.front() == 'l') text.remove_prefix(1);
  const size_t len = text.size();
  if (len != 6 && len != 8 && len != 12 && len != 14) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
    throw platform::EConvertError("'" + std::string(text) + "' is not a valid date");
  auto number = [&](size_t from, size_t count) { return platform::StrToInt(text.substr(from, count)); };
  const bool longYear = len == 8 || len == 14;
  platform::LocalDateTime t;
  size_t at = 0;
  if (longYear) {
    t.year = number(0, 4);
    at = 4;
  } else {
    const int current = platform::NowLocal().year;
    const int pivot = current - 50;
    t.year = number(0, 2) + (pivot / 100) * 100;
    if (t.year < pivot) t.year += 100;
    at = 2;
  }
  t.month = number(at, 2);
  t.day = number(at + 2, 2);
  at += 4;
  std::string_view timeText = (len == 12 || len == 14) ? text.substr(at, 6) : defaultTime;
  t.hour = platform::StrToInt(timeText.substr(0, 2));
  t.minute = platform::StrToInt(timeText.substr(2, 2));
  t.second = platform::StrToInt(timeText.substr(4, 2));
  if (!platform::IsValidDate(t.year, t.month, t.day) || t.hour > 23 || t.minute > 59 || t.second > 59)
    throw platform::EConvertError("'" + std::string(text) + "' is not a valid date");
  return t;
}

TNameList ScanFiles(TStagedFiles& staged, const TArchiverOptions& options, std::string_view baseDir, bool& cancel,
                    const TSelectionProgress* progress, const TNameList* exclusions,
                    const std::vector<std::string>& patterns, bool scanAllWhenEmpty,
                    std::vector<std::string>* unreadable) {
  TSelectionContext context{options,
                            std::string(baseDir),
                            cancel,
                            staged,
                            exclusions,
                            progress,
                            options.a >= 1,
                            boundOf(options.jo, "000000"),
                            boundOf(options.job, "235959"),
                            unreadable,
                            {},
                            {}};
  if (!patterns.empty()) {
    for (const std::string& pattern : patterns) {
      if (cancel) break;
      if (pattern.empty()) continue;  // never the base folder itself
      if (options.r > 1 && platform::DirectoryExists(context.PhysicalPath(pattern)))
        context.ScanFolder(pattern, "*.*", options.IncludeExtraStreams);
      else
        context.ScanFolder(platform::ExtractFilePath(pattern), platform::ExtractFileName(pattern),
                           options.IncludeExtraStreams);
    }
  } else if (scanAllWhenEmpty) {
    context.ScanFolder("", "*.*", options.IncludeExtraStreams);
  }
  return std::move(context.Result);
}

TSelection CollectFiles(TStagedFiles& staged, TArchiverOptions& options, std::string_view baseDir,
                                      bool& cancel, const TFileArgs& files, const TSelectionProgress& progress,
                                      std::vector<std::string>* unreadable) {
  const std::vector<std::string> patterns = FlattenArgs(files, true);
  if (!baseDir.empty()) {
    if (int error = platform::CheckFolder(baseDir); error != 0)
      throw std::system_error(error, std::generic_category(), std::string(baseDir));
  }
  const TNameList exclusions = ScanFiles(staged, options, baseDir, cancel, nullptr, nullptr, options.jx, false);
  TNameList selection =
      ScanFiles(staged, options, baseDir, cancel, &progress, &exclusions, patterns, true, unreadable);
  options.r = -1;
  options.jo = kUnsetText;
  options.job = kUnsetText;
  options.p = 1;
  return selection.Take();
}
