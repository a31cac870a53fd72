// The LMZIP dialect of "Zip":  -ru [-o] [-j] [user options] "<archive>" ["<name>" | "@<file>"]...
// Names are taken as given (relative ones from the current folder); folders bring everything
// below them.
#pragma once
#include "Output.h"

namespace zipfmt {

int RunLmzip(const char* cmdLine, arclib::TOutput& out);

}  // namespace zipfmt
