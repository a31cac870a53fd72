#include "Registry.h"

namespace platform {

std::string ReadLocalMachineString(std::string_view, std::string_view) { return {}; }

}  // namespace platform
