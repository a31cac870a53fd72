// The entries libunlha32.so exports, for programs that link it directly (its tool, its tests).
// The program itself loads the library at run time through the shapes of ArchiverApi.h.
#pragma once
#include "ArchiverApi.h"

extern "C" {
int Unlha(HWND wnd, const char* cmdLine, char* output, uint32_t size);
HARC UnlhaOpenArchive(HWND wnd, const char* fileName, uint32_t mode);
int UnlhaCloseArchive(HARC arc);
int UnlhaFindFirst(HARC arc, const char* wildName, INDIVIDUALINFO* info);
int UnlhaFindNext(HARC arc, INDIVIDUALINFO* info);
int UnlhaExtractMem(HWND wnd, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time, void* attr,
                    uint32_t* written);
int UnlhaCheckArchive(const char* fileName, int mode);
int UnlhaGetArchiveType(const char* fileName);
int UnlhaSetOwnerWindowEx(HWND wnd, ARC_OWNER_CALLBACK callback);
int UnlhaKillOwnerWindowEx(HWND wnd);
int UnlhaGetWriteTimeEx(HARC arc, uint64_t* fileTime);
int UnlhaGetCreateTimeEx(HARC arc, uint64_t* fileTime);
int UnlhaGetAccessTimeEx(HARC arc, uint64_t* fileTime);
int UnlhaGetOriginalSizeEx(HARC arc, uint64_t* size);
int UnlhaGetCompressedSizeEx(HARC arc, uint64_t* size);
int UnlhaSetEnumMembersProc64(ENUM_MEMBER_PROC64 proc, uint32_t structSize);
int UnlhaClearEnumMembersProc64(void);
}
