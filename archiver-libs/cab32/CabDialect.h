// The command entry "Cab" of CAB32:
//   -x|-a|-f|-l [-o] [-i] [-r] ["-h<folder>/"] [-j] [-q] [-m0] [user options] "<archive>" ["<folder>/"] [names]
// and the memory form of "CabExtractMem": the same switches without a command, the archive and
// one name.
#pragma once
#include <cstdint>

#include "Output.h"

namespace cabfmt {

int RunCab(const char* cmdLine, arclib::TOutput& out);
int RunCabToMemory(const char* cmdLine, uint8_t* buffer, uint32_t size, uint32_t* written, void* time, void* attr);

}  // namespace cabfmt
