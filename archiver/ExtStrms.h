// Named data streams in archives: a file's stream is packed as an extra member named after the
// file and the stream, staged as an ordinary file beside it, and merged back after extracting.
#pragma once
#include <string>
#include <string_view>

#include "FILTERS.h"
#include "FileSearch.h"

// ":foo:$DATA" -> ";foo;$DATA" with the separator ";#": every ":" becomes the separator's first
// character and a character 5 right after a colon its second. Other separator lengths leave the
// name as it is.
std::string StreamNameToMemberSuffix(std::string_view streamName, std::string_view separator);

// Copies every named stream of FullName into a new file beside it and adds it to Selection
// (stored as StoredName + suffix) and Staged. A stream that cannot be staged (the name is taken
// by a file of the user's, the folder is not writable, ...) is left out: the file is packed
// without it.
void StageStreams(TNameList& selection, TStagedFiles& staged, std::string_view fullName,
                  const platform::TSearchRec& rec, std::string_view separator, std::string_view storedName);

// Whether Name has the form of a stream member: "<file><c><stream><c>$DATA", where c is the
// separator's first character (the colon itself for separators not two characters long).
bool IsStreamMemberName(std::string_view name, std::string_view separator);

// Merges the extracted stream member at Path back into its file as a stream, never replacing
// an existing one, and deletes the member file once its content is in the stream. Only paths
// inside DestDir that run through no link are touched, and only member files small enough to
// be a stream are read. False when nothing was merged.
bool RestoreStreamMember(std::string_view destDir, std::string_view path, std::string_view separator);
