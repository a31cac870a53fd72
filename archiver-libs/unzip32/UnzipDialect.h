// The unzip dialect of the command entry ("UnZip" of UNZIP32, "Unzip" of LMZIP32):
//   -x [-o] [--i] [-j] [user options] "<archive>" ["<folder>/"] ["<name>" | "@<file>"]...
#pragma once
#include <cstdint>

#include "Output.h"

namespace zipfmt {

int RunUnzip(const char* cmdLine, arclib::TOutput& out);
// The memory form: the same switches without a command, then the archive and one name.
int RunUnzipToMemory(const char* cmdLine, uint8_t* buffer, uint32_t size, uint32_t* written, void* time, void* attr);

}  // namespace zipfmt
