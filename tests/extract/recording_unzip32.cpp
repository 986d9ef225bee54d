// The recording stand-in for the extraction library (see recording_unzip32.h). Built
// twice: as a complete library, and with RECORDING_WITHOUT_UNZIP defined as one that
// lacks the extraction entry point.
#include "tests/extract/recording_unzip32.h"

#include <cstring>

namespace {

RecordingLog g_log;

#ifndef RECORDING_WITHOUT_UNZIP

void Copy(char* out, const char* in, size_t size) {
  std::memset(out, 0, size);
  if (in) std::strncpy(out, in, size - 1);
}

void RunAction(RecordingAction& a, UnzipCallbacksRecord* cb) {
  switch (a.kind) {
    case kRecordPrint:
      a.result = cb->Print(a.text, a.length);
      break;
    case kRecordMessage:
      cb->Message(a.values[0], a.values[1], a.values[2], a.values[3], a.values[4], a.values[5],
                  a.values[6], a.values[7], '*', a.text, const_cast<char*>("Deflate"),
                  0x12345678u, 'E');
      a.result = 0;
      break;
    case kRecordReplace:
      a.result = cb->Replace(a.text);
      break;
    case kRecordPassword:
      std::memcpy(a.buffer, a.text, sizeof a.buffer);
      a.result = cb->Password(a.buffer, a.length, "prompt from the library", "member.txt");
      break;
    case kRecordService:
      a.result = cb->Service(a.text, a.length);
      break;
    default:
      break;
  }
}

#endif

}  // namespace

extern "C" {

UZ_EXPORT RecordingLog* RecordingUnzipLog(void) { return &g_log; }

UZ_EXPORT void UZ_WINAPI UzpVersion2(UnzipVersionRecord* record) {
  ++g_log.versionCalls;
  std::memcpy(g_log.versionReceived, record, sizeof(UnzipVersionRecord));
  std::memcpy(record, &g_log.versionAnswer, sizeof(UnzipVersionRecord));
}

#ifndef RECORDING_WITHOUT_UNZIP
UZ_EXPORT int32_t UZ_WINAPI Wiz_SingleEntryUnzip(int32_t includeCount, char** includeNames,
                                                 int32_t excludeCount, char** excludeNames,
                                                 UnzipOptionsRecord* options,
                                                 UnzipCallbacksRecord* callbacks) {
  ++g_log.unzipCalls;
  g_log.includeCount = includeCount;
  g_log.excludeCount = excludeCount;
  std::memcpy(g_log.includeNames, includeNames, sizeof(UnzipNameListRecord));
  std::memcpy(g_log.excludeNames, excludeNames, sizeof(UnzipNameListRecord));
  for (int i = 0; i < 4; ++i) {
    g_log.includeIsNull[i] = includeNames[i] == nullptr;
    Copy(g_log.includeText[i], includeNames[i], sizeof g_log.includeText[i]);
  }
  std::memcpy(g_log.options, options, sizeof(UnzipOptionsRecord));
  Copy(g_log.zipFileName, options->ZipFileName, sizeof g_log.zipFileName);
  Copy(g_log.extractFolder, options->ExtractFolder, sizeof g_log.extractFolder);
  g_log.callbacksAddress = callbacks;
  std::memcpy(g_log.callbacks, callbacks, sizeof(UnzipCallbacksRecord));

  for (int i = 0; i < g_log.actionCount && i < kRecordingMaxActions; ++i)
    RunAction(g_log.actions[i], callbacks);

  if (g_log.answerQuiet) {
    options->Quiet = g_log.answerQuiet;
    if (options->ZipFileName && options->ZipFileName[0]) options->ZipFileName[0] = 'Q';
  }
  callbacks->MemberCount = g_log.answerMemberCount;
  return g_log.result;
}
#endif

}  // extern "C"
