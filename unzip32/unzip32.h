/* unzip32 — the extraction library's public interface.
 *
 * The records below are the binary contract between the updater and the library.
 * On 32-bit builds (the shipped Windows DLL) every size and offset is pinned at
 * compile time; on 64-bit test builds pointers widen and the layout follows. */
#ifndef VLR_UNZIP32_H
#define VLR_UNZIP32_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  define UZ_WINAPI __stdcall
#  if defined(UNZIP32_BUILDING)
#    define UZ_EXPORT __declspec(dllexport)
#  else
#    define UZ_EXPORT
#  endif
#else
#  define UZ_WINAPI
#  if defined(UNZIP32_BUILDING)
#    define UZ_EXPORT __attribute__((visibility("default")))
#  else
#    define UZ_EXPORT
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Option record: fifteen 32-bit settings and two ANSI strings (68 bytes on 32-bit). */
typedef struct UnzipOptionsRecord {
  int32_t ExtractOnlyNewer;   /* 1: extract only files newer than the existing ones   */
  int32_t SpaceToUnderscore;  /* 2: turn spaces in member names into underscores      */
  int32_t PromptToOverwrite;  /* 3: ask before overwriting an existing file           */
  int32_t Quiet;              /* 4: 0 all messages, 1 fewer, 2 none                   */
  int32_t WriteStdout;        /* 5: write the extracted data to standard output       */
  int32_t TestArchive;        /* 6: test the archive instead of extracting            */
  int32_t VerboseListing;     /* 7: verbose listing instead of extracting             */
  int32_t FreshenOnly;        /* 8: only replace existing files by newer ones         */
  int32_t DisplayComment;     /* 9: display the archive's comment                     */
  int32_t RecreateFolders;    /* 10: recreate stored folders (0: all into one folder) */
  int32_t OverwriteAll;       /* 11: always overwrite existing files, without asking  */
  int32_t TranslateLineEnds;  /* 12: translate line ends of text members              */
  int32_t ZipInfoListing;     /* 13: ZipInfo-style listing                            */
  int32_t IgnoreCase;         /* 14: match member names without regard to case        */
  int32_t RestoreAcl;         /* 15: restore ACLs (1 user mode, 2 with privileges)    */
  char* ZipFileName;          /* 16: archive path, zero-terminated ANSI               */
  char* ExtractFolder;        /* 17: extraction folder, zero-terminated ANSI          */
} UnzipOptionsRecord;

/* A name list: 100 pointers to zero-terminated ANSI names, or null (400 bytes on 32-bit). */
enum { UNZIP_NAME_LIST_SIZE = 100 };
typedef struct UnzipNameListRecord {
  char* Names[UNZIP_NAME_LIST_SIZE];
} UnzipNameListRecord;

/* Callback procedures. Every argument occupies one 32-bit value on the 32-bit ABI. */
typedef int32_t(UZ_WINAPI* UnzipPrintProc)(char* text, int32_t length);
typedef void(UZ_WINAPI* UnzipSoundProc)(void);
/* Overwrite question: returns one of the UNZIP_REPLACE_* codes. */
typedef int32_t(UZ_WINAPI* UnzipReplaceProc)(char* fileName);
/* Password request: returns 0 when a password was placed in buffer, 1 for none. */
typedef int32_t(UZ_WINAPI* UnzipPasswordProc)(char* buffer, int32_t size, const char* prompt,
                                              const char* memberName);
/* Per-member report. month/day/year/hour/minute travel as 32-bit values holding 16-bit
 * numbers; marker and encrypted are single characters widened to 32 bits. */
typedef void(UZ_WINAPI* UnzipMessageProc)(uint32_t uncompressedSize, uint32_t compressedSize,
                                          uint32_t compressionFactor, uint32_t month,
                                          uint32_t day, uint32_t year, uint32_t hour,
                                          uint32_t minute, int32_t marker, char* memberName,
                                          char* methodName, uint32_t crc, int32_t encrypted);
/* Called before each member; a non-zero answer asks the library to stop. */
typedef int32_t(UZ_WINAPI* UnzipServiceProc)(const char* memberName, int32_t value);

enum {
  UNZIP_REPLACE_KEEP = 100,     /* do not overwrite this file                      */
  UNZIP_REPLACE_YES = 102,      /* overwrite this file                             */
  UNZIP_REPLACE_ALL = 103,      /* overwrite this and every further existing file  */
  UNZIP_REPLACE_KEEP_ALL = 104  /* leave this and every further existing file      */
  /* Any other answer is read as UNZIP_REPLACE_KEEP. */
};

/* Callback record (44 bytes on 32-bit). The totals are filled in by the library. */
typedef struct UnzipCallbacksRecord {
  UnzipPrintProc Print;
  UnzipSoundProc Sound;
  UnzipReplaceProc Replace;
  UnzipPasswordProc Password;
  UnzipMessageProc Message;
  UnzipServiceProc Service;
  int32_t TotalCompressedSize;
  int32_t TotalUncompressedSize;
  int32_t CompressionFactor;
  int32_t MemberCount;
  int16_t CommentLength;
  int16_t Alignment;
} UnzipCallbacksRecord;

/* Version: major, minor, patch level, reserved. */
typedef struct UnzipVersionTriple {
  uint8_t Major;
  uint8_t Minor;
  uint8_t Patch;
  uint8_t Reserved;
} UnzipVersionTriple;

/* Version record in its fixed-length form (64 bytes). */
typedef struct UnzipVersionRecord {
  uint32_t StructLength;
  uint32_t Flags;
  char BetaLevel[10];
  char Date[20];
  char ZlibVersion[10];
  UnzipVersionTriple UnzipVersion;
  UnzipVersionTriple ZipInfoVersion;
  UnzipVersionTriple Os2DllVersion;
  UnzipVersionTriple WindowsDllVersion;
} UnzipVersionRecord;

/* Result codes (the conventional unzip status codes). */
enum {
  UNZIP_OK = 0,
  UNZIP_WARNING = 1,
  UNZIP_ERR_FORMAT = 2,           /* damaged archive, bad CRC, or an unsafe member name   */
  UNZIP_ERR_SEVERE = 3,           /* unexpected internal failure                          */
  UNZIP_ERR_MEMORY = 4,           /* out of memory                                        */
  UNZIP_ERR_NOT_FOUND = 9,
  UNZIP_ERR_BAD_OPTIONS = 10,
  UNZIP_ERR_NO_MEMBERS = 11,
  UNZIP_ERR_DISK_FULL = 50,       /* the folder could not be written (disk full or other) */
  UNZIP_ERR_UNEXPECTED_EOF = 51,
  UNZIP_ERR_UNFINISHED = 60,      /* a commit is left half done with its journal, for the
                                     next extraction or UzpRecoverFolder to finish       */
  UNZIP_ERR_FOLDER_BUSY = 61,     /* another extraction kept working in the folder        */
  UNZIP_ERR_STOPPED = 80,
  UNZIP_ERR_UNSUPPORTED = 81,
  UNZIP_ERR_BAD_PASSWORD = 82
};

/* Fills in the version record; record->StructLength must say 64. */
UZ_EXPORT void UZ_WINAPI UzpVersion2(UnzipVersionRecord* record);

/* Extracts (or lists/tests, per the options) one archive; synchronous, and calls the
 * procedures of callbacks only from inside this call, on the calling thread.
 *
 * Option values this library acts on (every other field must be 0, or the call returns
 * UNZIP_ERR_BAD_OPTIONS and touches nothing):
 *   PromptToOverwrite 0/1, OverwriteAll 0/1, Quiet 0/1/2, TestArchive 0/1,
 *   VerboseListing 0/1 (not together with TestArchive), DisplayComment 0/1,
 *   RecreateFolders 0/1, SpaceToUnderscore 0/1, IgnoreCase 0/1, ExtractOnlyNewer 0/1,
 *   FreshenOnly 0/1, and name-list counts 0 to 100 (a null name ends a list early).
 * Extraction is all or nothing: either every file member is in the folder, or the
 * folder is left as it was, or (UNZIP_ERR_UNFINISHED: a step of the commit and then
 * its undoing were refused by the system) the commit is left with its journal, and the
 * next extraction into the folder or UzpRecoverFolder completes it. One extraction at
 * a time per folder: a second one waits (up to about ten seconds) for the first to
 * end, else returns UNZIP_ERR_FOLDER_BUSY. */
UZ_EXPORT int32_t UZ_WINAPI Wiz_SingleEntryUnzip(int32_t includeCount, char** includeNames,
                                                 int32_t excludeCount, char** excludeNames,
                                                 UnzipOptionsRecord* options,
                                                 UnzipCallbacksRecord* callbacks);

/* Finishes or clears what an extraction into folder (zero-terminated ANSI) left when
 * it was cut short (the process killed, the power gone) or could neither finish nor
 * take back its commit (UNZIP_ERR_UNFINISHED): a commit that had begun is completed
 * from its journal, so every member is the new file; otherwise the folder keeps its
 * old files, and the library's temporary files are removed. Every extraction does
 * this first by itself; a program calls it to make the folder whole before anything
 * else, even when no extraction follows. It waits (up to about ten seconds) for an
 * extraction working in the folder to end. Returns UNZIP_OK (also when there was
 * nothing to do), UNZIP_ERR_BAD_OPTIONS for no folder, UNZIP_ERR_DISK_FULL when the
 * folder is missing or cannot be locked, UNZIP_ERR_FOLDER_BUSY when an extraction
 * kept working there, UNZIP_ERR_UNFINISHED when the commit cannot be finished now
 * (what it left stays, for a later call). Added after the first two exports: look it
 * up, and go on without it when a library lacks it. */
UZ_EXPORT int32_t UZ_WINAPI UzpRecoverFolder(const char* folder);

typedef void(UZ_WINAPI* UzpVersion2Fn)(UnzipVersionRecord*);
typedef int32_t(UZ_WINAPI* WizSingleEntryUnzipFn)(int32_t, char**, int32_t, char**,
                                                  UnzipOptionsRecord*, UnzipCallbacksRecord*);
typedef int32_t(UZ_WINAPI* UzpRecoverFolderFn)(const char*);

#ifdef __cplusplus
} /* extern "C" */
#endif

#if defined(__cplusplus) && (UINTPTR_MAX == 0xFFFFFFFFu)
static_assert(sizeof(UnzipOptionsRecord) == 68, "option record is 68 bytes");
static_assert(offsetof(UnzipOptionsRecord, ExtractFolder) == 64, "folder at 64");
static_assert(offsetof(UnzipOptionsRecord, OverwriteAll) == 40, "overwrite-all at 40");
static_assert(sizeof(UnzipNameListRecord) == 400, "name list is 400 bytes");
static_assert(sizeof(UnzipCallbacksRecord) == 44, "callback record is 44 bytes");
static_assert(offsetof(UnzipCallbacksRecord, TotalCompressedSize) == 24, "totals at 24");
static_assert(offsetof(UnzipCallbacksRecord, CommentLength) == 40, "comment length at 40");
static_assert(sizeof(UnzipVersionRecord) == 64, "version record is 64 bytes");
static_assert(offsetof(UnzipVersionRecord, Date) == 18, "date at 18");
static_assert(offsetof(UnzipVersionRecord, ZlibVersion) == 38, "zlib text at 38");
static_assert(offsetof(UnzipVersionRecord, UnzipVersion) == 48, "versions at 48");
static_assert(offsetof(UnzipVersionRecord, WindowsDllVersion) == 60, "dll version at 60");
#elif !defined(__cplusplus) && (UINTPTR_MAX == 0xFFFFFFFFu)
_Static_assert(sizeof(UnzipOptionsRecord) == 68, "option record is 68 bytes");
_Static_assert(sizeof(UnzipNameListRecord) == 400, "name list is 400 bytes");
_Static_assert(sizeof(UnzipCallbacksRecord) == 44, "callback record is 44 bytes");
_Static_assert(sizeof(UnzipVersionRecord) == 64, "version record is 64 bytes");
#endif

#endif /* VLR_UNZIP32_H */
