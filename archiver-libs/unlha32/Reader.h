// The reading commands of the command entry (x, e, l, v, t) and memory extraction.
#pragma once
#include <cstdint>
#include <string_view>

#include "Command.h"
#include "Output.h"

namespace unlha {

bool IsReadCommand(std::string_view letter);
int RunReadCommand(const TCommand& cmd, TOutput& out);
// The member named by the first file argument (or the first file member) into buffer.
// time (a time_t) and attr (a 32-bit MS-DOS attribute word) are filled when not null.
int ExtractToMemory(const TCommand& cmd, uint8_t* buffer, uint32_t size, uint32_t* written, void* time,
                    void* attr);

}  // namespace unlha
