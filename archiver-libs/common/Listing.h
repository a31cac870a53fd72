// The listing entries every library offers (OpenArchive, FindFirst, FindNext, CloseArchive and
// the time and size queries) over any format that can describe its members. Handles are checked
// against a table, so a stale or made-up handle is refused, not used.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ArchiverApi.h"
#include "Output.h"
#include "Records.h"

namespace arclib {

// Reads an archive's members: 0, or an error code of ErrorCodes.h.
using TScanFn = int (*)(const std::string& path, std::vector<TMemberInfo>& members);

HARC ListingOpen(const char* fileName, TScanFn scan);
int ListingClose(HARC arc);
int ListingFindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info);
int ListingFindNext(HARC arc, INDIVIDUALINFO* info);
// Of the member found last; non-zero when filled.
int ListingWriteTime(HARC arc, uint64_t* fileTime);
int ListingAccessTime(HARC arc, uint64_t* fileTime);
int ListingCreateTime(HARC arc, uint64_t* fileTime);
int ListingOriginalSize(HARC arc, uint64_t* size);
int ListingCompressedSize(HARC arc, uint64_t* size);

// "YYYY-MM-DD hh:mm:ss" in local time, as the listings show a member's time.
std::string LocalTimeText(int64_t t);

// The list command's text: a heading, then one line per member the names select (all when
// none), each reported as progress. 0, kErrNoMatch when names select nothing, or kErrUserCancel.
int WriteListing(const std::vector<TMemberInfo>& members, const std::vector<std::string>& names, TOutput& out);

}  // namespace arclib
