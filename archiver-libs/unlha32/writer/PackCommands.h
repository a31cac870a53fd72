// The writing commands of the command entry: "u" (add, replacing members older than their
// files), "a" (add, always replacing), "f" (freshen members that exist) and "d" (delete
// members). "s" and "m" are known and answered as not supported.
#pragma once
#include <string_view>

#include "Command.h"
#include "Output.h"

namespace unlha {

bool IsWriteCommand(std::string_view letter);
// 0 when every named file was stored (or every named member deleted); otherwise an error code,
// with the reasons in out. The archive is replaced only by a complete new one.
int RunWriteCommand(const TCommand& cmd, TOutput& out);

} // namespace unlha
