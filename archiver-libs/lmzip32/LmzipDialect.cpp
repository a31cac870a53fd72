#include "LmzipDialect.h"

#include "CommandLine.h"
#include "ErrorCodes.h"
#include "ZipWriter.h"

namespace zipfmt {

int RunLmzip(const char* cmdLine, arclib::TOutput& out) {
  arclib::TCommandLine line;
  arclib::TCommandError err;
  if (cmdLine == nullptr || !arclib::ParseCommandLine(cmdLine, line, err)) {
    out.PrintableLine(cmdLine == nullptr ? "no command line" : err.message);
    return cmdLine == nullptr ? arclib::kErrCommandLine : err.code;
  }
  arclib::TPackRequest request;
  request.collect.hidden = true;
  for (size_t k = 0; k < line.switches.size(); ++k) {
    const std::string& sw = line.switches[k];
    if (k == 0 && sw == "-ru") {
      request.collect.recurse = true;
    } else if (sw == "-j") {
      request.collect.junkPaths = true;
    } else if (sw != "-o") {
      // -o (overwrite) is how the archive is written anyway: anew, renamed into place.
      out.PrintableLine("unknown switch: " + sw);
      return arclib::kErrSwitch;
    }
  }
  // The LMZIP dialect has no folder argument: an argument ending in "/" is a name.
  if (!line.baseDir.empty()) line.names.insert(line.names.begin(), line.baseDir);
  request.archive = line.archive;
  request.names = line.names;
  return PackFiles(request, out);
}

}  // namespace zipfmt
