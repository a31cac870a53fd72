#include "NamedStreams.h"

#include <sys/xattr.h>

#include <cerrno>

namespace platform {

namespace {
constexpr std::string_view kUserPrefix = "user.";
}

bool VolumeHasNamedStreams(std::string_view path) {
  // Asking for an attribute that is not there tells "no such attribute" on file systems that
  // keep user attributes and "not supported" on the others, without writing anything.
  char probe;
  if (getxattr(std::string(path).c_str(), "user.tidekeep.probe", &probe, 0) >= 0) return true;
  return errno == ENODATA;
}

std::vector<std::string> ListNamedStreams(std::string_view path) {
  std::vector<std::string> names;
  const std::string file(path);
  for (;;) {
    const ssize_t size = llistxattr(file.c_str(), nullptr, 0);
    if (size <= 0) return names;
    std::string buffer(static_cast<size_t>(size), '\0');
    const ssize_t got = llistxattr(file.c_str(), buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == ERANGE) continue;  // the list grew between the two calls
      return names;
    }
    buffer.resize(static_cast<size_t>(got));
    std::string_view rest(buffer);
    while (!rest.empty()) {
      const auto end = rest.find('\0');
      std::string_view name = rest.substr(0, end);
      if (name.starts_with(kUserPrefix) && name.size() > kUserPrefix.size())
        names.emplace_back(name.substr(kUserPrefix.size()));
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
    return names;
  }
}

std::optional<std::string> ReadNamedStream(std::string_view path, std::string_view name) {
  const std::string file(path);
  const std::string attr = std::string(kUserPrefix) + std::string(name);
  for (;;) {
    const ssize_t size = lgetxattr(file.c_str(), attr.c_str(), nullptr, 0);
    if (size < 0) return std::nullopt;
    std::string value(static_cast<size_t>(size), '\0');
    const ssize_t got = lgetxattr(file.c_str(), attr.c_str(), value.data(), value.size());
    if (got < 0) {
      if (errno == ERANGE) continue;
      return std::nullopt;
    }
    value.resize(static_cast<size_t>(got));
    return value;
  }
}

int CreateNamedStream(std::string_view path, std::string_view name, std::span<const char> data) {
  const std::string attr = std::string(kUserPrefix) + std::string(name);
  if (lsetxattr(std::string(path).c_str(), attr.c_str(), data.data(), data.size(), XATTR_CREATE) == 0) return 0;
  return errno;
}

}  // namespace platform
