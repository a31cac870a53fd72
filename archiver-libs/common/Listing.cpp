#include "Listing.h"

#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include "ErrorCodes.h"
#include "Guarded.h"
#include "Names.h"
#include "Notifier.h"

namespace arclib {
namespace {

struct TOpenArchive {
  std::vector<TMemberInfo> members;
  std::string wild;
  size_t cursor = 0;
  const TMemberInfo* last = nullptr;
  bool searching = false;
};

std::mutex gHandlesLock;
std::map<HARC, std::unique_ptr<TOpenArchive>> gHandles;

TOpenArchive* Lookup(HARC arc) {
  std::lock_guard guard(gHandlesLock);
  auto it = gHandles.find(arc);
  return it == gHandles.end() ? nullptr : it->second.get();
}

int FindFrom(TOpenArchive& a, INDIVIDUALINFO* info) {
  while (a.cursor < a.members.size()) {
    const TMemberInfo& m = a.members[a.cursor++];
    if (a.wild.empty() || Selected(m.name, {a.wild})) {
      a.last = &m;
      if (info != nullptr) FillIndividualInfo(m, *info);
      return 0;
    }
  }
  a.last = nullptr;
  return kFindEnd;
}

template <typename F>
int WithLast(HARC arc, uint64_t* out, F value) {
  return Guarded(0, [&] {
    TOpenArchive* a = Lookup(arc);
    if (a == nullptr || a->last == nullptr || out == nullptr) return 0;
    return value(*a->last, *out) ? 1 : 0;
  });
}

}  // namespace

std::string LocalTimeText(int64_t t) {
  const time_t tt = static_cast<time_t>(t);
  std::tm tm{};
  char buf[32] = "0000-00-00 00:00:00";
  if (localtime_r(&tt, &tm) != nullptr) std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

HARC ListingOpen(const char* fileName, TScanFn scan) {
  return Guarded(HARC{0}, [&]() -> HARC {
    if (fileName == nullptr) return 0;
    auto a = std::make_unique<TOpenArchive>();
    if (scan(fileName, a->members) != 0) return 0;
    const HARC h = reinterpret_cast<HARC>(a.get());
    std::lock_guard guard(gHandlesLock);
    gHandles[h] = std::move(a);
    return h;
  });
}

int ListingClose(HARC arc) {
  std::lock_guard guard(gHandlesLock);
  return gHandles.erase(arc) == 1 ? 0 : kErrHarcNotOpened;
}

int ListingFindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info) {
  return Guarded(kErrNoMemory, [&] {
    TOpenArchive* a = Lookup(arc);
    if (a == nullptr) return kErrHarcNotOpened;
    a->wild = wildName != nullptr ? wildName : "";
    a->cursor = 0;
    a->searching = true;
    return FindFrom(*a, info);
  });
}

int ListingFindNext(HARC arc, INDIVIDUALINFO* info) {
  return Guarded(kErrNoMemory, [&] {
    TOpenArchive* a = Lookup(arc);
    if (a == nullptr) return kErrHarcNotOpened;
    if (!a->searching) return kErrNotSearchMode;
    return FindFrom(*a, info);
  });
}

int ListingWriteTime(HARC arc, uint64_t* fileTime) {
  return WithLast(arc, fileTime, [](const TMemberInfo& m, uint64_t& out) {
    out = UnixToFileTime(m.mtime);
    return true;
  });
}

int ListingAccessTime(HARC arc, uint64_t* fileTime) {
  return WithLast(arc, fileTime, [](const TMemberInfo& m, uint64_t& out) {
    if (m.atime) out = UnixToFileTime(*m.atime);
    return m.atime.has_value();
  });
}

int ListingCreateTime(HARC arc, uint64_t* fileTime) {
  return WithLast(arc, fileTime, [](const TMemberInfo& m, uint64_t& out) {
    if (m.ctime) out = UnixToFileTime(*m.ctime);
    return m.ctime.has_value();
  });
}

int ListingOriginalSize(HARC arc, uint64_t* size) {
  return WithLast(arc, size, [](const TMemberInfo& m, uint64_t& out) {
    out = m.originalSize;
    return true;
  });
}

int ListingCompressedSize(HARC arc, uint64_t* size) {
  return WithLast(arc, size, [](const TMemberInfo& m, uint64_t& out) {
    out = m.compressedSize;
    return true;
  });
}

int WriteListing(const std::vector<TMemberInfo>& members, const std::vector<std::string>& names, TOutput& out) {
  out.Line("  Original     Packed Method  Stamp               Name");
  uint64_t count = 0;
  for (const TMemberInfo& m : members) {
    if (!Selected(m.name, names)) continue;
    const std::string attr = AttributeText(m);
    if (!TNotifier::Instance().Member(ProgressOf(m, "", attr))) return kErrUserCancel;
    char line[96];
    std::snprintf(line, sizeof line, "%10llu %10llu %-7s ", static_cast<unsigned long long>(m.originalSize),
                  static_cast<unsigned long long>(m.compressedSize), m.method.c_str());
    out.PrintableLine(line + LocalTimeText(m.mtime) + " " + DisplayName(m) + (m.encrypted ? "  (encrypted)" : ""));
    ++count;
  }
  return count == 0 && !names.empty() ? kErrNoMatch : 0;
}

}  // namespace arclib
