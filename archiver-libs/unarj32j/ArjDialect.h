// The command entry "Unarj" of UNARJ32J: the LHA driver's command line (README.md)
//   <command> -+ <switches> [user options] "<archive>" ["<folder>/"] ["<name>" | "@<file>"]...
// and the memory form of "UnarjExtractMem" (no command letter, the archive and one name).
#pragma once
#include <cstdint>

#include "Output.h"

namespace unarj {

int RunUnarj(const char* cmdLine, arclib::TOutput& out);
int RunUnarjToMemory(const char* cmdLine, uint8_t* buffer, uint32_t size, uint32_t* written, void* time, void* attr);

}  // namespace unarj
