#include "vetrix/files/file_functions.h"

#include "frame/frame.h"
#include "platform/file_writes.h"
#include "vetrix/files/directory_tree.h"
#include "vetrix/handler_env.h"

int Delfile(const ResultBuffer* args) {
  if (!isString(args) || args->rbnext) return kRtError;
  const std::u16string path(argText(args));
  zcutPrintf(u"\nDELETE->%s", path.c_str());
  bool gone = false;
  const platform::Status removed = platform::deleteFile(handlerEnv(), path, &gone);
  if (!removed.ok()) {
    zcutPrintf(u"\nDELETE FAIL");
    if (gone) zcutPrintf(u"\nDELETED BUT NOT SAFE ON DISK: %s", path.c_str());
    platform::reportCause(removed);
  }
  return 1;
}

namespace {

// After a failure message: where the new file is, when the failure left it
// somewhere else than nowhere.
void reportNewFile(platform::Published published, const std::u16string& target,
                   const std::u16string& kept) {
  switch (published) {
    case platform::Published::kNo:
    case platform::Published::kYes:
      break;
    case platform::Published::kUnsynced:
      zcutPrintf(u"\nNEW FILE IN PLACE BUT NOT SAFE ON DISK: %s", target.c_str());
      break;
    case platform::Published::kTorn:
      zcutPrintf(u"\nNOT FULLY WRITTEN, THE NEW FILE IS KEPT IN: %s", kept.c_str());
      break;
    case platform::Published::kJournalKept:
      zcutPrintf(u"\nNEW FILE IN PLACE, ITS JOURNAL NOT REMOVED: %s", kept.c_str());
      break;
  }
}

}  // namespace

int Copyfile(const ResultBuffer* args) {
  if (!args) return 1;
  if (!isString(args) || !args->rbnext) return kRtError;
  const std::u16string from(argText(args));
  const ResultBuffer* second = args->rbnext;
  if (!isString(second)) return kRtError;
  const std::u16string to(argText(second));
  zcutPrintf(u"\nCOPY %s %s", from.c_str(), to.c_str());
  platform::Published published = platform::Published::kNo;
  std::u16string kept;
  const platform::Status copied =
      platform::copyFile(handlerEnv(), from, to, platform::Replace::kAlways, &published, &kept);
  if (!copied.ok()) {
    zcutPrintf(u"\nCOPY FAIL!");
    reportNewFile(published, to, kept);
    platform::reportCause(copied);
    return kRtError;
  }
  return 1;
}

int Dirfile(const ResultBuffer* args) {
  if (!isString(args) || args->rbnext) return kRtError;
  const ListingResult written = writeListing(handlerEnv(), argText(args), u"dirfile");
  switch (written.kind) {
    case ListingResult::Kind::kWritten:
      platform::reportCause(written.cause);
      return 1;
    case ListingResult::Kind::kNotOpened:
      zcutPrintf(u"\nOPEN DIRFILE FAIL");
      break;
    case ListingResult::Kind::kWriteFailed:
      zcutPrintf(u"\nWRITE DIRFILE FAIL");
      reportNewFile(written.published, u"dirfile", written.keptPath);
      break;
  }
  platform::reportCause(written.cause);
  return kRtError;
}
