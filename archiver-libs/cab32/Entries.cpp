// The exported C entries of libcab32.so ("CAB32.DLL"): the command entry "Cab", the listing and
// query entries, the probe, memory extraction, the owner window and the enumeration callback.
#include <vector>

#include "ArchiverApi.h"
#include "CabDialect.h"
#include "CabFormat.h"
#include "Output.h"
#include "StandardEntries.h"

#define CAB_API extern "C" __attribute__((visibility("default")))

CAB_API int Cab(HWND, const char* cmdLine, char* output, uint32_t size) {
  arclib::TOutput out(output, size);
  return cabfmt::RunCab(cmdLine, out);
}

// Non-zero for a readable cabinet; every mode is accepted.
CAB_API int CabCheckArchive(const char* fileName, int) {
  if (fileName == nullptr) return 0;
  std::vector<arclib::TMemberInfo> members;
  return cabfmt::ScanCab(fileName, members) == 0 ? 1 : 0;
}

CAB_API int CabExtractMem(HWND, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                          uint32_t* written) {
  return cabfmt::RunCabToMemory(cmdLine, buffer, size, written, time, attr);
}

ARCLIB_STANDARD_ENTRIES(CAB_API, Cab, cabfmt::ScanCab)
