/* A recording stand-in for the extraction library. It keeps a copy of every record
 * it receives in a log that the test reads and fills through RecordingUnzipLog(), and
 * calls the procedures of the callback record as the log's script says. */
#ifndef VLR_RECORDING_UNZIP32_H
#define VLR_RECORDING_UNZIP32_H

#include <stdint.h>

#include "unzip32/unzip32.h"

#ifdef __cplusplus
extern "C" {
#endif

enum RecordingActionKind {
  kRecordPrint = 1,    /* Print(text, length)                                     */
  kRecordMessage = 2,  /* Message(values[0..7], marker, text as name, ...)        */
  kRecordReplace = 3,  /* Replace(text)                                           */
  kRecordPassword = 4, /* Password(buffer (pre-filled from text), length, ...)     */
  kRecordService = 5   /* Service(text, length)                                   */
};

enum { kRecordingTextSize = 33000, kRecordingMaxActions = 8, kRecordingPathSize = 1024 };

typedef struct RecordingAction {
  int32_t kind;
  int32_t length;              /* print length, password buffer size, service value  */
  uint32_t values[8];          /* message: size, csize, factor, month..minute         */
  char text[kRecordingTextSize];   /* in: print text / name; password buffer before   */
  int32_t result;              /* out: what the procedure returned                    */
  char buffer[kRecordingTextSize]; /* out: the password buffer after the call         */
} RecordingAction;

typedef struct RecordingLog {
  /* UzpVersion2 */
  int32_t versionCalls;
  unsigned char versionReceived[sizeof(UnzipVersionRecord)];
  UnzipVersionRecord versionAnswer; /* written into the record before returning */

  /* Wiz_SingleEntryUnzip */
  int32_t unzipCalls;
  int32_t includeCount;
  int32_t excludeCount;
  unsigned char includeNames[sizeof(UnzipNameListRecord)];
  unsigned char excludeNames[sizeof(UnzipNameListRecord)];
  char includeText[4][64];   /* entries 0-3 of the include list ("" when null)      */
  int32_t includeIsNull[4];
  unsigned char options[sizeof(UnzipOptionsRecord)];
  char zipFileName[kRecordingPathSize];
  char extractFolder[kRecordingPathSize];
  UnzipCallbacksRecord* callbacksAddress;
  unsigned char callbacks[sizeof(UnzipCallbacksRecord)];
  int32_t result;            /* what the call returns                               */
  int32_t answerQuiet;       /* non-zero: written into the option record's Quiet    */
  int32_t answerMemberCount; /* written into the callback record's member count     */
  int32_t actionCount;
  RecordingAction actions[kRecordingMaxActions];
} RecordingLog;

UZ_EXPORT RecordingLog* RecordingUnzipLog(void);
typedef RecordingLog* (*RecordingUnzipLogFn)(void);

#ifdef __cplusplus
}
#endif

#endif
