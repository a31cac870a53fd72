// A member as the entries' records and the progress notifications describe it.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "ArchiverApi.h"
#include "Command.h"
#include "LhaHeader.h"
#include "Notifier.h"

namespace unlha {

// Five letters "rhsda" for read-only, hidden, system, directory, archive; "-" where unset.
std::string AttributeText(const TLhaMember& m);
// The MS-DOS attribute word, with the directory bit set for folders.
uint32_t DosAttributes(const TLhaMember& m);
// The name as listed: folders end in "/".
std::string DisplayName(const TLhaMember& m);
// Fills a member record (558 bytes).
void FillIndividualInfo(const TLhaMember& m, INDIVIDUALINFO& info);
// The progress description of a member; attribute must outlive the result.
TMemberProgress ProgressOf(const TLhaMember& m, std::string_view dest, const std::string& attribute);

// True when patterns is empty, or one of them names the member: a wildcard match on the full
// name, on the last component when the pattern has no "/", or a folder the member lies in. An
// exact name matches only the member of exactly that name.
bool Selected(const TLhaMember& m, const std::vector<TNameArg>& patterns);

// 100 ns units since 1601-01-01 UTC.
uint64_t UnixToFileTime(int64_t t);

}  // namespace unlha
