#include "vetrix/slides/slide_library.h"

#include <memory>
#include <vector>

#include "platform/ascii.h"
#include "platform/path.h"
#include "platform/text.h"

namespace {

using platform::Env;
using platform::File;
using platform::Status;

constexpr size_t kCopyBlock = 1 << 16;

SlbResult outcome(SlbOutcome kind, Status cause = Status()) {
  SlbResult result;
  result.outcome = kind;
  result.cause = std::move(cause);
  return result;
}

// How the new library takes the old one's place.
struct Placement {
  bool inPlace = false;   // several hard links: write over the library itself
  bool readOnly = false;  // nobody may change the library
};

// The temporary file that becomes the library, removed unless committed.
class PendingLibrary {
 public:
  PendingLibrary(Env& env, const SlbRequest& request, Placement placement)
      : env_(env), request_(request), placement_(placement) {}
  PendingLibrary(const PendingLibrary&) = delete;
  PendingLibrary& operator=(const PendingLibrary&) = delete;
  ~PendingLibrary() {
    if (file_) file_->close();
    if (!path_.empty()) env_.removeFile(path_);
  }

  // Creates the file in the library's folder: kDone, or kTempNotCreated.
  SlbResult create() {
    SlbResult result =
        outcome(SlbOutcome::kDone, env_.createTempFile(request_.folder, &path_, &file_));
    if (!result.cause.ok()) {
      result.outcome = SlbOutcome::kTempNotCreated;
      result.temporaryFolder = request_.folder;
    }
    return result;
  }

  File& file() { return *file_; }

  // Flushes the new library to the disk, puts it in the library's place and
  // flushes the folder, so that the change survives a power loss. The
  // outcome is kDone once the library was replaced, even when the folder
  // could not be flushed (the cause then says so).
  SlbResult commit() {
    Status s = file_->sync();
    if (!s.ok()) return outcome(SlbOutcome::kNotChanged, s);
    if (placement_.inPlace) return writeOver();
    s = file_->close();
    file_.reset();
    if (s.ok()) s = env_.replaceFile(path_, request_.libraryPath);
    if (s.ok()) {
      path_.clear();
      return outcome(SlbOutcome::kDone, env_.syncDirectory(request_.folder));
    }
    // Another program holding the library open forbids replacing it (a
    // sharing violation on Windows), not writing over it.
    const bool held = s.kind() == platform::ErrorKind::kBusy ||
                      (s.kind() == platform::ErrorKind::kAccessDenied && !placement_.readOnly);
    if (!held) return outcome(SlbOutcome::kNotChanged, s);
    s = env_.openFile(path_, platform::OpenMode::kRead, &file_);
    if (!s.ok()) return outcome(SlbOutcome::kNotChanged, s);
    return writeOver();
  }

 private:
  // Writes the flushed temporary file over the library itself, so that the
  // library keeps its identity. Until the first byte is written a failure
  // changes nothing; after it the library may be torn, and the temporary
  // file is kept with the complete new library.
  SlbResult writeOver() {
    std::unique_ptr<File> library;
    Status s = env_.openFile(request_.libraryPath, platform::OpenMode::kReadWrite, &library);
    uint64_t length = 0;
    if (s.ok()) s = file_->size(&length);
    if (!s.ok()) return outcome(SlbOutcome::kNotChanged, s);
    std::vector<unsigned char> buffer(kCopyBlock);
    for (uint64_t at = 0; s.ok() && at < length; at += buffer.size()) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - at));
      s = platform::readExactly(*file_, at, buffer.data(), n);
      if (s.ok()) s = library->write(at, buffer.data(), n);
    }
    if (s.ok()) s = library->truncate(length);
    if (s.ok()) s = library->sync();
    if (s.ok()) s = library->close();
    if (!s.ok()) {
      SlbResult damaged = outcome(SlbOutcome::kDamaged, s);
      damaged.keptPath = path_;
      path_.clear();
      return damaged;
    }
    return outcome(SlbOutcome::kDone);
  }

  Env& env_;
  const SlbRequest& request_;
  Placement placement_;
  std::unique_ptr<File> file_;
  std::u16string path_;
};

// Writes the library with the slide file added under `name` into `output`.
SlbResult writeWithSlide(Env& env, const SlbRequest& request, std::string_view name, File& output,
                         File& library, SlideDirectory& directory) {
  std::unique_ptr<File> slide;
  platform::FileInfo info;
  Status s = env.fileInfo(request.slideFile, &info);
  if (s.ok()) s = env.openFile(request.slideFile, platform::OpenMode::kRead, &slide);
  if (!s.ok()) return outcome(SlbOutcome::kSlideMissing, s);
  if (!checkSlideHeader(*slide, &s)) return outcome(SlbOutcome::kNotASlide, s);
  // An empty name reads as the end of the directory to other slide readers.
  if (name.empty()) return outcome(SlbOutcome::kEmptyName);
  uint64_t length = 0;
  s = slide->size(&length);
  if (!s.ok()) return outcome(SlbOutcome::kNotChanged, s);
  if (findLastSlide(directory, name) < 0 && directory.count() >= kMaxSlides) {
    return outcome(SlbOutcome::kLibraryFull);
  }
  switch (writeLibraryWithSlide(output, library, *slide, length, name, directory, &s)) {
    case WriteResult::kWritten:
      return outcome(SlbOutcome::kDone);
    case WriteResult::kTooLarge:
      return outcome(SlbOutcome::kLibraryTooLarge);
    case WriteResult::kFailed:
      break;
  }
  return outcome(SlbOutcome::kNotChanged, s);
}

// The add step through a temporary file, shared by a new and an existing
// library.
SlbResult addToLibrary(Env& env, const SlbRequest& request, Placement placement,
                       std::string_view name, File& library, SlideDirectory& directory) {
  PendingLibrary pending(env, request, placement);
  SlbResult result = pending.create();
  if (result.outcome != SlbOutcome::kDone) return result;
  result = writeWithSlide(env, request, name, pending.file(), library, directory);
  library.close();
  if (result.outcome != SlbOutcome::kDone) return result;
  return pending.commit();
}

// Writes a library holding only the header; whether that worked shows in
// whether the file is there.
void createLibraryFile(Env& env, std::u16string_view path) {
  std::unique_ptr<File> file;
  if (env.openFile(path, platform::OpenMode::kCreateTruncate, &file).ok()) {
    file->write(0, kLibraryHeader, kLibraryHeaderSize);
    file->close();
  }
}

SlbResult createLibrary(Env& env, const SlbRequest& request, SlideDirectory& directory) {
  createLibraryFile(env, request.libraryPath);
  SlbResult result;
  std::unique_ptr<File> library;
  if (!platform::fileExists(env, request.libraryPath)) {
    result = outcome(SlbOutcome::kLibraryNotCreated);
  } else if (Status s = env.openFile(request.libraryPath, platform::OpenMode::kRead, &library);
             !s.ok()) {
    result = outcome(SlbOutcome::kLibraryUnopened, s);
  } else {
    // The new library starts empty; its one entry carries the slide's name
    // as typed.
    directory.entries.clear();
    directory.libraryLength = kLibraryHeaderSize;
    result = addToLibrary(env, request, Placement(), request.typedName, *library, directory);
  }
  result.created = true;
  return result;
}

SlbResult deleteSlide(Env& env, const SlbRequest& request, Placement placement, File& library,
                      SlideDirectory& directory) {
  PendingLibrary pending(env, request, placement);
  SlbResult created = pending.create();
  if (created.outcome != SlbOutcome::kDone) return created;
  const int m = findFirstSlide(directory, request.slideName);
  if (m < 0) return outcome(SlbOutcome::kSlideNotFound);
  Status s;
  const WriteResult written = writeLibraryWithout(pending.file(), library, m, directory, &s);
  library.close();
  if (written != WriteResult::kWritten) return outcome(SlbOutcome::kNotChanged, s);
  return pending.commit();
}

}  // namespace

SlbRequest makeSlbRequest(char16_t command, std::u16string_view library,
                          std::u16string_view slide) {
  SlbRequest request;
  request.command = command;
  const platform::PathParts parts = platform::splitPath(library);
  request.folder = parts.drive + parts.dir;
  request.libraryPath = std::u16string(library) + u".slb";
  request.slideFile = std::u16string(slide) + u".sld";
  const std::u16string name = platform::splitPath(request.slideFile).name;
  // Upper case as the C locale has it: the 26 letters, which are all that
  // name comparisons fold.
  std::u16string upper = name;
  for (char16_t& c : upper) c = platform::asciiUpper(c);
  request.nameExact = platform::toAnsiExact(upper, &request.slideName) &&
                      platform::toAnsiExact(name, &request.typedName);
  return request;
}

SlbResult runSlbedit(Env& env, const SlbRequest& given, SlideDirectory& directory) {
  // A library reached through a link is edited where it lives, so that the
  // link stays a link.
  SlbRequest request = given;
  Status s = env.resolveLink(given.libraryPath, &request.libraryPath);
  if (!s.ok()) return outcome(SlbOutcome::kLibraryUnopened, s);
  if (request.libraryPath != given.libraryPath) {
    const platform::PathParts parts = platform::splitPath(request.libraryPath);
    request.folder = parts.drive + parts.dir;
  }
  // Only a library that is not there is created: a library that cannot be
  // looked at for another reason is never overwritten.
  platform::FileInfo info;
  s = env.fileInfo(request.libraryPath, &info);
  if (s.kind() == platform::ErrorKind::kNotFound) return createLibrary(env, request, directory);
  std::unique_ptr<File> library;
  if (s.ok()) s = env.openFile(request.libraryPath, platform::OpenMode::kRead, &library);
  if (!s.ok()) return outcome(SlbOutcome::kLibraryUnopened, s);
  const Placement placement{info.links > 1, info.readOnly};
  SlbResult refused = outcome(SlbOutcome::kNotALibrary);
  if (!checkLibraryHeader(*library, &refused.cause)) {
    refused.fault.reason = "no slide-library header";
    return refused;
  }
  uint64_t length = 0;
  refused.cause = library->size(&length);
  if (!refused.cause.ok()) return refused;
  directory.libraryLength = static_cast<int64_t>(length);
  if (!readDirectory(*library, directory, &refused.fault)) {
    refused.cause = refused.fault.cause;
    return refused;
  }
  switch (request.command) {
    case u'a':
    case u'A':
      return addToLibrary(env, request, placement, request.slideName, *library, directory);
    case u'd':
    case u'D':
      return deleteSlide(env, request, placement, *library, directory);
    default:
      return outcome(SlbOutcome::kDone);
  }
}
