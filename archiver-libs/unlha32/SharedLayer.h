// The LHA library stands on the layer every archiver library of ours shares
// (archiver-libs/common): its output buffer, return codes, command-line and name handling,
// records, notifier, safe extraction and listing handles are this library's own names.
#pragma once
#include "CommandLine.h"
#include "ErrorCodes.h"
#include "Names.h"
#include "Notifier.h"
#include "Output.h"
#include "Records.h"
#include "SafeExtract.h"

namespace unlha {

using namespace arclib;

}  // namespace unlha
