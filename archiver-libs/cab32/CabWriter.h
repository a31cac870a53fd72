// Writing CAB archives through libgcab (MSZIP or stored): the files gathered as every library
// gathers them, the members of an existing archive carried over unless a file replaces them,
// the new cabinet written under a temporary name beside its final one and renamed into place
// only when complete.
#pragma once
#include <string>
#include <vector>

#include "LibarchiveWriter.h"
#include "Output.h"

namespace cabfmt {

struct TCabPackRequest {
  std::string archive;
  std::string baseDir;
  std::vector<std::string> names;
  arclib::TCollectOptions collect;
  bool compress = true;  // MSZIP; false stores
};

int PackCab(const TCabPackRequest& request, arclib::TOutput& out);

}  // namespace cabfmt
