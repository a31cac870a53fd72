// Packs a folder with the options the backup run sets, for tests that need a backup's archive.
#pragma once
#include <string>

#include "ARCHIVES.h"

namespace test {

inline int PackAsBackup(const std::string& archive, const std::string& folder, std::string& output,
                        const TFileArgs& files = TFileArgs{"*.*"}) {
  TArchiveFile packer;
  packer.SetFileName(archive);
  TArchiverOptions& o = packer.Options();
  o.x = o.a = o.c = o.r = o.n = 1;
  o.jso = 0;
  packer.SetOutputSize(8192);
  const int rc = packer.Pack(0, nullptr, folder, files);
  output = packer.Output();
  return rc;
}

}  // namespace test
