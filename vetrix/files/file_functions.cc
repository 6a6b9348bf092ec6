#include "vetrix/files/file_functions.h"

#include "frame/frame.h"
#include "vetrix/files/directory_tree.h"
#include "vetrix/handler_env.h"

int Delfile(const ResultBuffer* args) {
  if (!isString(args) || args->rbnext) return kRtError;
  const std::u16string path(argText(args));
  zcutPrintf(u"\nDELETE->%s", path.c_str());
  const platform::Status removed = handlerEnv().removeFile(path);
  if (!removed.ok()) {
    zcutPrintf(u"\nDELETE FAIL");
    platform::reportCause(removed);
  }
  return 1;
}

int Copyfile(const ResultBuffer* args) {
  if (!args) return 1;
  if (!isString(args) || !args->rbnext) return kRtError;
  const std::u16string from(argText(args));
  const ResultBuffer* second = args->rbnext;
  if (!isString(second)) return kRtError;
  const std::u16string to(argText(second));
  zcutPrintf(u"\nCOPY %s %s", from.c_str(), to.c_str());
  const platform::Status copied = handlerEnv().copyFile(from, to);
  if (!copied.ok()) {
    zcutPrintf(u"\nCOPY FAIL!");
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
      break;
  }
  platform::reportCause(written.cause);
  return kRtError;
}
