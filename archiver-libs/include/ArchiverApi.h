/* The calling shapes shared by every archiver library of the family and by the program's
 * binding: entry signatures and the byte-exact records exchanged through them. A library is a
 * shared object exporting "<Prefix><Suffix>" entries (Unlha, UnlhaOpenArchive, ...) with plain C
 * linkage. Strings are zero-terminated UTF-8. */
#ifndef TIDEKEEP_ARCHIVER_API_H
#define TIDEKEEP_ARCHIVER_API_H

#include <stddef.h>
#include <stdint.h>

#include "WinMsg.h" /* HWND */

#ifdef __cplusplus
extern "C" {
#endif

typedef uintptr_t HARC; /* archive handle from OpenArchive; 0 = failure */

#define FNAME_MAX32 512

#pragma pack(push, 1)

/* One member, as FindFirst / FindNext fill it (558 bytes). */
typedef struct {
  uint32_t dwOriginalSize;         /* 0 */
  uint32_t dwCompressedSize;       /* 4 */
  uint32_t dwCRC;                  /* 8 */
  uint32_t uFlag;                  /* 12 */
  uint32_t uOSType;                /* 16 */
  uint16_t wRatio;                 /* 20: compressed / original in per mille */
  uint16_t wDate;                  /* 22: MS-DOS date */
  uint16_t wTime;                  /* 24: MS-DOS time */
  char szFileName[FNAME_MAX32 + 1]; /* 26: "/"-separated */
  char dummy1[3];                  /* 539 */
  char szAttribute[8];             /* 542 */
  char szMode[8];                  /* 550: method, e.g. "-lh5-" */
} INDIVIDUALINFO;

/* Progress record sent with the "wm_arcextract" message (1074 bytes). */
typedef struct {
  uint32_t dwFileSize;                   /* 0 */
  uint32_t dwWriteSize;                  /* 4 */
  char szSourceFileName[FNAME_MAX32 + 1]; /* 8: member name */
  char dummy1[3];                        /* 521 */
  char szDestFileName[FNAME_MAX32 + 1];   /* 524: file on disk */
  char dummy[3];                         /* 1037 */
  uint32_t dwCompressedSize;             /* 1040 */
  uint32_t dwCRC;                        /* 1044 */
  uint32_t uOSType;                      /* 1048 */
  uint16_t wRatio;                       /* 1052 */
  uint16_t wDate;                        /* 1054 */
  uint16_t wTime;                        /* 1056 */
  char szAttribute[8];                   /* 1058 */
  char szMode[8];                        /* 1066 */
} EXTRACTINGINFOEX;

/* Member information handed to the enumeration callback (1094 bytes). */
typedef struct {
  uint32_t dwStructSize;                 /* 0: 1094 */
  uint32_t dwFileSize;                   /* 4 */
  uint32_t dwWriteSize;                  /* 8 */
  char szSourceFileName[FNAME_MAX32 + 1]; /* 12 */
  char dummy1[3];                        /* 525 */
  char szDestFileName[FNAME_MAX32 + 1];   /* 528 */
  char dummy[3];                         /* 1041 */
  uint64_t llFileSize;                   /* 1044 */
  uint64_t llCompressedSize;             /* 1052 */
  uint64_t llWriteSize;                  /* 1060 */
  uint32_t dwAttributes;                 /* 1068 */
  uint32_t dwCRC;                        /* 1072 */
  uint32_t uOSType;                      /* 1076 */
  uint16_t wRatio;                       /* 1080 */
  uint16_t wDate;                        /* 1082 */
  uint16_t wTime;                        /* 1084 */
  char szAttribute[8];                   /* 1086 */
} EXTRACTINGINFOEX64;

#pragma pack(pop)

/* Name of the message a library sends to a registered owner window: wParam is the state
 * (ARCEXTRACT_*), lParam the address of an EXTRACTINGINFOEX; a non-zero reply cancels. */
#define WM_ARCEXTRACT_NAME "wm_arcextract"
#define ARCEXTRACT_BEGIN 0    /* an operation starts */
#define ARCEXTRACT_INPROCESS 1 /* a member is being processed */
#define ARCEXTRACT_END 2      /* an operation has ended */
#define ARCEXTRACT_OPEN 3     /* the archive is opened */

/* Returned by a command whose progress receiver asked it to stop. */
#define ERROR_USER_CANCEL 0x8020

/* Enumeration callback: non-zero to go on, 0 to stop. */
typedef int (*ENUM_MEMBER_PROC64)(void* info);
typedef int (*ARC_OWNER_CALLBACK)(HWND wnd, uint32_t msg, uint32_t state, void* info);

/* Entry signatures, by suffix. */
typedef int (*ARC_COMMAND)(HWND wnd, const char* cmdLine, char* output, uint32_t size);
typedef HARC (*ARC_OPEN_ARCHIVE)(HWND wnd, const char* fileName, uint32_t mode);
typedef int (*ARC_CLOSE_ARCHIVE)(HARC arc);
typedef int (*ARC_FIND_FIRST)(HARC arc, const char* wildName, INDIVIDUALINFO* info);
typedef int (*ARC_FIND_NEXT)(HARC arc, INDIVIDUALINFO* info);
typedef int (*ARC_EXTRACT_MEM)(HWND wnd, const char* cmdLine, unsigned char* buffer, uint32_t size, void* time,
                               void* attr, uint32_t* written);
typedef int (*ARC_CHECK_ARCHIVE)(const char* fileName, int mode);
typedef int (*ARC_GET_ARCHIVE_TYPE)(const char* fileName);
typedef int (*ARC_SET_OWNER_WINDOW_EX)(HWND wnd, ARC_OWNER_CALLBACK callback);
typedef int (*ARC_KILL_OWNER_WINDOW_EX)(HWND wnd);
/* File times are 100 ns counts since 1601-01-01 UTC. */
typedef int (*ARC_GET_FILE_TIME_EX)(HARC arc, uint64_t* fileTime);
typedef int (*ARC_GET_SIZE_EX)(HARC arc, uint64_t* size);
typedef int (*ARC_SET_ENUM_MEMBERS_PROC64)(ENUM_MEMBER_PROC64 proc, uint32_t structSize);
typedef int (*ARC_CLEAR_ENUM_MEMBERS_PROC64)(void);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(INDIVIDUALINFO) == 558);
static_assert(offsetof(INDIVIDUALINFO, wRatio) == 20);
static_assert(offsetof(INDIVIDUALINFO, wDate) == 22);
static_assert(offsetof(INDIVIDUALINFO, wTime) == 24);
static_assert(offsetof(INDIVIDUALINFO, szFileName) == 26);
static_assert(sizeof(EXTRACTINGINFOEX) == 1074);
static_assert(offsetof(EXTRACTINGINFOEX, szSourceFileName) == 8);
static_assert(offsetof(EXTRACTINGINFOEX, szDestFileName) == 524);
static_assert(sizeof(EXTRACTINGINFOEX64) == 1094);
#endif

#endif
