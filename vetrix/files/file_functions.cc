#include "vetrix/files/file_functions.h"

#include "frame/frame.h"
#include "vetrix/files/directory_tree.h"

int Delfile(const ResultBuffer* args) {
  if (!isString(args) || args->rbnext) return kRtError;
  const std::u16string path(argText(args));
  zcutPrintf(u"\nDELETE->%s", path.c_str());
  const platform::Status removed = platform::Env::defaultEnv()->removeFile(path);
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
  const platform::Status copied = platform::Env::defaultEnv()->copyFile(from, to);
  if (!copied.ok()) {
    zcutPrintf(u"\nCOPY FAIL!");
    platform::reportCause(copied);
    return kRtError;
  }
  return 1;
}

int Dirfile(const ResultBuffer* args) {
  if (!isString(args) || args->rbnext) return kRtError;
  platform::Env& env = *platform::Env::defaultEnv();
  std::unique_ptr<platform::File> file;
  const platform::Status opened =
      env.openFile(u"dirfile", platform::OpenMode::kCreateTruncate, &file);
  if (!opened.ok()) {
    zcutPrintf(u"\nOPEN DIRFILE FAIL");
    platform::reportCause(opened);
    return kRtError;
  }
  ListingWriter out(*file);
  listDirectoryTree(env, out, argText(args));
  platform::Status written = out.flush();
  if (written.ok()) written = file->close();
  platform::reportCause(written);
  return 1;
}
