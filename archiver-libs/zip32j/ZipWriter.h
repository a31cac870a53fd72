// Writing ZIP archives through libarchive, and the packing work the two writing dialects (ZIP32J
// and LMZIP) share.
#pragma once
#include <string>
#include <vector>

#include "LibarchiveWriter.h"
#include "Output.h"

struct archive;

namespace zipfmt {

// Deflate at the given level (-1 the default), stored at level 0; names in UTF-8 with the UTF-8
// flag; Zip64 records wherever sizes or counts need them.
void SetupZipWriter(archive* a, int level);

// Adds the named files to the archive, replacing members of the same name; an archive that
// exists keeps its other members.
int PackFiles(const arclib::TPackRequest& request, arclib::TOutput& out);

}  // namespace zipfmt
