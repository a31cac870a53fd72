#include "ExtStrms.h"

#include <optional>

#include "FileSearch.h"
#include "NamedStreams.h"
#include "Paths.h"

namespace {
constexpr char kPropertySetLead = '\x05';  // first character of property-set stream names
constexpr std::string_view kDataSuffix = "$DATA";
// The largest value a user extended attribute can hold; a larger member is no stream of ours.
constexpr size_t kMaxStreamSize = 64 * 1024;
// Staged copies hold a file's private attributes: readable by their owner only.
constexpr unsigned kStagedMode = 0600;
}  // namespace

std::string StreamNameToMemberSuffix(std::string_view streamName, std::string_view separator) {
  if (separator.size() != 2) return std::string(streamName);
  std::string result;
  bool afterColon = false;
  for (char ch : streamName) {
    if (ch == ':') {
      result += separator[0];
      afterColon = true;
      continue;
    }
    result += (afterColon && ch == kPropertySetLead) ? separator[1] : ch;
    afterColon = false;
  }
  return result;
}

void StageStreams(TNameList& selection, TStagedFiles& staged, std::string_view fullName,
                  const platform::TSearchRec& rec, std::string_view separator, std::string_view storedName) {
  // A volume without named streams lists none: no need to ask it first, file by file.
  if (rec.IsLink) return;
  // The search record may come without times; the file's own are read once it has a stream.
  std::optional<platform::TFileTimes> times;
  for (const std::string& name : platform::ListNamedStreams(fullName)) {
    // A name with a delimiter would put the staged file somewhere else than beside its file.
    if (name.find(platform::PathDelim) != std::string::npos) continue;
    const auto data = platform::ReadNamedStream(fullName, name);
    if (!data) continue;
    const std::string suffix = StreamNameToMemberSuffix(":" + name + ":" + std::string(kDataSuffix), separator);
    const std::string destination = std::string(fullName) + suffix;
    // Never over a file of the user's; a folder that cannot be written just means no streams.
    if (platform::WriteNewFile(destination, *data, kStagedMode) != 0) continue;
    staged.Add(destination);  // exactly the path created: the current folder stays as it is
    if (!times) times = platform::GetFileTimes(fullName).value_or(rec.Times);
    platform::SetFileTimes(destination, *times);
    selection.Add(std::string(storedName) + suffix);
  }
}

namespace {

char streamMark(std::string_view separator) { return separator.size() == 2 ? separator[0] : ':'; }

// The position of the mark before the stream name in Name, once the mark and "$DATA" are cut off
// its end; npos when Name is no stream member.
size_t streamSplit(std::string_view& name, std::string_view separator) {
  const char mark = streamMark(separator);
  const std::string tail = std::string(1, mark) + std::string(kDataSuffix);
  if (!name.ends_with(tail)) return std::string_view::npos;
  name.remove_suffix(tail.size());
  const size_t split = name.rfind(mark);
  if (split == std::string_view::npos || split == 0 || split + 1 == name.size()) return std::string_view::npos;
  return split;
}

}  // namespace

bool IsStreamMemberName(std::string_view name, std::string_view separator) {
  return streamSplit(name, separator) != std::string_view::npos;
}

bool RestoreStreamMember(std::string_view destDir, std::string_view path, std::string_view separator) {
  if (!platform::IsPlainPathBelow(destDir, path)) return false;
  const std::string folder = platform::ExtractFilePath(path);
  const std::string fileName = platform::ExtractFileName(path);
  std::string_view name = fileName;
  const size_t split = streamSplit(name, separator);
  if (split == std::string_view::npos) return false;
  const std::string file = folder + std::string(name.substr(0, split));
  std::string stream(name.substr(split + 1));
  if (separator.size() == 2 && stream.front() == separator[1]) stream.front() = kPropertySetLead;
  const auto data = platform::ReadSmallFile(path, kMaxStreamSize);
  if (!data || !platform::IsPlainPathBelow(destDir, file)) return false;
  const int error = platform::CreateNamedStream(file, stream, *data);
  // An existing stream is never replaced; the member file goes only when its bytes are kept.
  if (error != 0 && platform::ReadNamedStream(file, stream) != data) return false;
  platform::DeleteFile(path);
  return true;
}
