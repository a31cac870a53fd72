// The exported C entries of libunlha32.so.
#include "ArchiverApi.h"

#define UNLHA_API extern "C" __attribute__((visibility("default")))
