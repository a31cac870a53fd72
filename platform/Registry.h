// The one registry read of the archiver component. Linux has no registry, so no key is ever
// found and the value reads as empty; the caller then takes its default search order.
#pragma once
#include <string>
#include <string_view>

namespace platform {

// The string value Value of Key under the local-machine root; "" when the key or value is missing.
std::string ReadLocalMachineString(std::string_view key, std::string_view value);

}  // namespace platform
