// The ZIP32J dialect of "Zip":
//   [-d | -f] [-S] [-D] [-v] [-q] [-r] [-o] [-u] [-j] [-FF] [-k] [-<digit>] [-J] [user options]
//   "<archive>" ["<folder>/"] ["<name>" | "@<file>"]...
// and the self-extractor adjustment "-A <file>".
#pragma once
#include "Output.h"

namespace zipfmt {

int RunZip32j(const char* cmdLine, arclib::TOutput& out);

}  // namespace zipfmt
