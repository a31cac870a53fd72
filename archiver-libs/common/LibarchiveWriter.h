// Writing archives through libarchive: the files to pack gathered below a base folder, and a
// new archive written under a temporary name beside its final one, renamed into place only
// when complete. A format library supplies only the setup of the writer for its format.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "LibarchiveReader.h"
#include "Output.h"
#include "Records.h"

namespace arclib {

struct TPackItem {
  std::string path;  // on disk
  std::string name;  // as stored, "/"-separated
};

// Enables one format on a new writer; Level -1 means the format's default.
using TWriteSetup = void (*)(archive* a, int level);

struct TCollectOptions {
  bool recurse = false;        // a folder brings everything below it
  bool junkPaths = false;      // store only the last component; no folder entries
  bool folderEntries = true;   // folders get members of their own
  bool hidden = false;         // dot-files found while descending are packed too
};

// Resolves Names below Base ("" = the current folder): an existing file or link, an existing
// folder, or else a wildcard pattern for the entries below Base. Links are packed as links and
// never descended into. A name that finds nothing is reported and gives kErrNoMatch, the rest
// is still collected.
int CollectPackItems(const std::string& base, const std::vector<std::string>& names, const TCollectOptions& options,
                     std::vector<TPackItem>& items, TOutput& out);

// Members of an existing archive carried over into the new one.
struct TCopySource {
  std::string path;
  TReadSetup setup = nullptr;
  std::function<bool(const TMemberInfo&)> keep;
};

// Writes Path anew: the kept members of Copy (when given) first, then Items. A file that
// cannot be read is reported and left out (kErrCannotRead); the archive is still written.
int WriteArchive(const std::string& path, TWriteSetup setup, int level, const std::vector<TPackItem>& items,
                 const TCopySource* copy, TOutput& out);

struct TPackRequest {
  std::string archive;
  std::string baseDir;             // "" = the current folder
  std::vector<std::string> names;  // as CollectPackItems resolves them
  TCollectOptions collect;
  int level = -1;
  bool keepOthers = true;          // an existing archive keeps its members the names do not replace
};

// Packs the named files into the archive (through Read to carry existing members over when
// KeepOthers, else anew): the archive's code, or the first collection error.
int PackFiles(const TPackRequest& request, TReadSetup read, TWriteSetup write, TOutput& out);

}  // namespace arclib
