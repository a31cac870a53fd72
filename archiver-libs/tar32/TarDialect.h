// The TAR32 dialect of the command entry "Tar" and of "TarExtractMem":
//   <x|c|l|t> [-AH|-I] [--display-dialog=N] [-g] [--check-all-path=N] [--use-directory=N]
//       [-z[N]|-B[N]] [user options] -f "<archive>" [-o "<folder>/"] ["<name>" | "@<file>"]...
// The memory form has no command letter and one name.
#pragma once
#include <cstdint>

#include "Output.h"

namespace tarfmt {

int RunTar(const char* cmdLine, arclib::TOutput& out);
int RunTarToMemory(const char* cmdLine, uint8_t* buffer, uint32_t size, uint32_t* written, void* time, void* attr);

}  // namespace tarfmt
