// 7-Zip's switch dialect of the command entry "SevenZip":
//   <x|e|u|a|d|l> [-ao{a|s|u}] [-ms=...] [-hide] [-r|-r-] ["-w<folder>/"] [-y] ["-x!<name>"]...
//       ["-o<folder>/"] [-mx=N] [user options] "<archive>" ["<name>" | "@<file>"]...
#pragma once
#include "Output.h"

namespace sevenzip {

int RunSevenZip(const char* cmdLine, arclib::TOutput& out);

}  // namespace sevenzip
