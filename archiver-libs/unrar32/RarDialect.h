// The command entry "Unrar" of UNRAR32:
//   -x|-e|-l [-u] [-y] [-s] [user options] "<archive>" ["<folder>/"] ["<name>" | "@<file>"]...
// and the memory form of "UnrarExtractMem": the same switches without a command, the archive
// and one name. RAR archives are only read: packing commands answer kErrNotSupport.
#pragma once
#include <cstdint>

#include "Output.h"

namespace rarfmt {

int RunUnrar(const char* cmdLine, arclib::TOutput& out);
int RunUnrarToMemory(const char* cmdLine, uint8_t* buffer, uint32_t size, uint32_t* written, void* time, void* attr);

}  // namespace rarfmt
