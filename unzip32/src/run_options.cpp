#include "run_options.h"

#include "os/platform_text.h"

namespace uz32 {
namespace {

Status Refuse(const std::string& what) {
  return Status::Fail(UNZIP_ERR_BAD_OPTIONS, what + " is not supported");
}

Status RefuseValue(const char* field, int32_t value) {
  return Refuse("option " + std::string(field) + "=" + std::to_string(value));
}

}  // namespace

Status ReadOptions(int32_t includeCount, char* const* includeNames, int32_t excludeCount,
                   char* const* excludeNames, const UnzipOptionsRecord* o, RunOptions& out) {
  if (!o) return Status::Fail(UNZIP_ERR_BAD_OPTIONS, "no option record was given");

  struct Field {
    const char* name;
    int32_t value;
    int32_t max;  // 0: the field must be 0
  };
  const Field fields[] = {
      {"ExtractOnlyNewer", o->ExtractOnlyNewer, 1},   {"SpaceToUnderscore", o->SpaceToUnderscore, 1},
      {"PromptToOverwrite", o->PromptToOverwrite, 1}, {"Quiet", o->Quiet, 2},
      {"WriteStdout", o->WriteStdout, 0},             {"TestArchive", o->TestArchive, 1},
      {"VerboseListing", o->VerboseListing, 1},       {"FreshenOnly", o->FreshenOnly, 1},
      {"DisplayComment", o->DisplayComment, 1},       {"RecreateFolders", o->RecreateFolders, 1},
      {"OverwriteAll", o->OverwriteAll, 1},           {"TranslateLineEnds", o->TranslateLineEnds, 0},
      {"ZipInfoListing", o->ZipInfoListing, 0},       {"IgnoreCase", o->IgnoreCase, 1},
      {"RestoreAcl", o->RestoreAcl, 0},
  };
  for (const Field& f : fields) {
    if (f.value < 0 || f.value > f.max) return RefuseValue(f.name, f.value);
  }
  if (o->TestArchive && o->VerboseListing) return Refuse("testing and listing at once");
  if (Status s = out.names.SetIncludes(includeCount, includeNames); !s.ok()) return s;
  if (Status s = out.names.SetExcludes(excludeCount, excludeNames); !s.ok()) return s;
  out.names.SetIgnoreCase(o->IgnoreCase != 0);

  out.mode = o->VerboseListing ? RunMode::List : o->TestArchive ? RunMode::Test : RunMode::Extract;
  out.overwrite = o->OverwriteAll        ? OverwritePolicy::Always
                  : o->PromptToOverwrite ? OverwritePolicy::Ask
                                         : OverwritePolicy::Never;
  out.quiet = o->Quiet;
  out.showComment = o->DisplayComment != 0;
  out.recreateFolders = o->RecreateFolders != 0;
  out.spaceToUnderscore = o->SpaceToUnderscore != 0;
  // Both set: freshen, the narrower of the two.
  out.times = o->FreshenOnly        ? TimeRule::Freshen
              : o->ExtractOnlyNewer ? TimeRule::Newer
                                    : TimeRule::All;

  if (!o->ZipFileName || !*o->ZipFileName) {
    return Status::Fail(UNZIP_ERR_BAD_OPTIONS, "no archive was named");
  }
  out.archive = NativeFromAnsi(o->ZipFileName);
  out.archiveUtf8 = Utf8FromNative(out.archive);
  out.folder.clear();
  if (out.mode == RunMode::Extract) {
    if (!o->ExtractFolder || !*o->ExtractFolder) {
      return Status::Fail(UNZIP_ERR_BAD_OPTIONS, "no extraction folder was named");
    }
    out.folder = NativeFromAnsi(o->ExtractFolder);
  }
  return Status::Ok();
}

}  // namespace uz32
