// The exported C entries of libcab32.so ("CAB32.DLL"): the command entry "Cab", the listing and
// query entries, the probe, memory extraction, the owner window and the enumeration callback.
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

CAB_API int CabExtractMem(HWND, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                          uint32_t* written) {
  return cabfmt::RunCabToMemory(cmdLine, buffer, size, written, time, attr);
}

ARCLIB_STANDARD_ENTRIES(CAB_API, Cab, cabfmt::ScanCab, arclib::ScanReads<cabfmt::ScanCab>)
