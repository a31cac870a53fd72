// Packing into ARJ archives: named files and folders (folders with everything below them) are
// added to a new archive or replace members of the same name in an existing one; deleting
// members. The archive is written under a temporary name beside it and renamed over it only
// when complete.
#pragma once
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Output.h"

namespace unarj {

struct TPackRequest {
  std::string archive;
  std::string baseDir;             // names are relative to it ("" = the current folder)
  std::vector<std::string> names;  // files or folders below baseDir
  bool compress = true;            // false: every member stored (method 0)
  bool remove = false;             // names select members to delete instead; nothing is packed
};

// 0, or the code of the failure; one line per member in out.
int PackFiles(const TPackRequest& request, arclib::TOutput& out);

}  // namespace unarj
