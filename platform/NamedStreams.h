// Named data streams: the extended attributes of a file in the "user." namespace. Other
// namespaces are never touched.
#pragma once
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// True when the file system holding Path accepts user extended attributes.
bool VolumeHasNamedStreams(std::string_view path);
// The stream names of Path (the attribute names without "user."), links not followed.
std::vector<std::string> ListNamedStreams(std::string_view path);
std::optional<std::string> ReadNamedStream(std::string_view path, std::string_view name);
// Adds a stream that must not replace an existing one: 0 on success, else the error number
// (EEXIST when the stream is already there).
int CreateNamedStream(std::string_view path, std::string_view name, std::span<const char> data);

}  // namespace platform
