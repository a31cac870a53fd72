// Whether an independent tool the tests compare against is installed: a test that needs a
// missing one skips with the reason instead of failing.
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

inline bool HavePeer(std::string_view name) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/bin:/bin";
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    const std::string candidate = std::string(dir.empty() ? "." : dir) + "/" + std::string(name);
    if (::access(candidate.c_str(), X_OK) == 0) return true;
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
  }
  return false;
}

// Skips the test that needs the peer when it is missing.
#define REQUIRE_PEER(name)                                                       \
  do {                                                                           \
    if (!HavePeer(name)) GTEST_SKIP() << "the peer " << (name) << " is not installed"; \
  } while (0)
