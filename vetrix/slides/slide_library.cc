#include "vetrix/slides/slide_library.h"

#include <algorithm>
#include <memory>
#include <vector>

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
  PendingLibrary(Env& env, const std::u16string& libraryPath, const std::u16string& folder,
                 Placement placement)
      : env_(env), libraryPath_(libraryPath), folder_(folder), placement_(placement) {}
  PendingLibrary(const PendingLibrary&) = delete;
  PendingLibrary& operator=(const PendingLibrary&) = delete;
  ~PendingLibrary() {
    if (file_) file_->close();
    if (!path_.empty()) env_.removeFile(path_);
  }

  // Creates the file in the library's folder: kDone, or kTempNotCreated.
  SlbResult create() {
    SlbResult result = outcome(SlbOutcome::kDone, env_.createTempFile(folder_, &path_, &file_));
    if (!result.cause.ok()) {
      result.outcome = SlbOutcome::kTempNotCreated;
      result.temporaryFolder = folder_;
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
    if (s.ok()) s = env_.replaceFile(path_, libraryPath_);
    if (s.ok()) {
      path_.clear();
      return outcome(SlbOutcome::kDone, env_.syncDirectory(folder_));
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
    Status s = env_.openFile(libraryPath_, platform::OpenMode::kReadWrite, &library);
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
  const std::u16string& libraryPath_;
  const std::u16string& folder_;
  Placement placement_;
  std::unique_ptr<File> file_;
  std::u16string path_;
};

// Where the library really lives (links followed) and its folder.
struct Target {
  std::u16string libraryPath;
  std::u16string folder;
};

// A slide file opened for adding.
struct OpenSlide {
  std::unique_ptr<File> file;
  uint64_t length = 0;
};

SlbResult slideProblem(SlbOutcome kind, const std::u16string& slideFile, Status cause = Status()) {
  SlbResult result = outcome(kind, std::move(cause));
  result.subject = slideFile;
  return result;
}

// Opens and checks one slide file to add.
SlbResult openSlide(Env& env, const std::u16string& slideFile, std::string_view name,
                    OpenSlide* slide) {
  platform::FileInfo info;
  Status s = env.fileInfo(slideFile, &info);
  if (s.ok()) s = env.openFile(slideFile, platform::OpenMode::kRead, &slide->file);
  if (!s.ok()) return slideProblem(SlbOutcome::kSlideMissing, slideFile, s);
  if (!checkSlideHeader(*slide->file, &s)) {
    return slideProblem(SlbOutcome::kNotASlide, slideFile, s);
  }
  // An empty name reads as the end of the directory to other slide readers.
  if (name.empty()) return slideProblem(SlbOutcome::kEmptyName, slideFile);
  s = slide->file->size(&slide->length);
  if (!s.ok()) return outcome(SlbOutcome::kNotChanged, s);
  return outcome(SlbOutcome::kDone);
}

// Adds slides (file, name) to the library through a temporary file.
SlbResult addSlides(Env& env, const Target& target, Placement placement,
                    const std::vector<std::pair<std::u16string, std::string>>& slides,
                    File* library, SlideDirectory& directory) {
  PendingLibrary pending(env, target.libraryPath, target.folder, placement);
  SlbResult result = pending.create();
  if (result.outcome != SlbOutcome::kDone) return result;
  std::vector<OpenSlide> opened(slides.size());
  std::vector<NewSlide> added;
  std::vector<std::string> names;
  int count = directory.count();
  for (size_t i = 0; i < slides.size(); ++i) {
    const auto& [slideFile, name] = slides[i];
    result = openSlide(env, slideFile, name, &opened[i]);
    if (result.outcome != SlbOutcome::kDone) return result;
    added.push_back(NewSlide{opened[i].file.get(), opened[i].length, name});
    // A name already there, or added before, is replaced; any other grows
    // the library.
    bool present = findLastSlide(directory, name) >= 0;
    for (const std::string& other : names) {
      present = present || platform::compareIgnoringCase(other, name) == 0;
    }
    names.push_back(name);
    if (!present && count++ >= kMaxSlides) return outcome(SlbOutcome::kLibraryFull);
  }
  Status s;
  switch (writeLibrary(pending.file(), library, added, {}, directory, &s)) {
    case WriteResult::kWritten:
      break;
    case WriteResult::kTooLarge:
      return outcome(SlbOutcome::kLibraryTooLarge);
    case WriteResult::kFailed:
      return outcome(SlbOutcome::kNotChanged, s);
  }
  if (library) library->close();
  return pending.commit();
}

// Deletes the first slide of each name through a temporary file. The
// temporary file is made before the names are looked up.
SlbResult deleteSlides(Env& env, const Target& target, Placement placement,
                       const std::vector<std::string>& names, File& library,
                       SlideDirectory& directory) {
  PendingLibrary pending(env, target.libraryPath, target.folder, placement);
  SlbResult created = pending.create();
  if (created.outcome != SlbOutcome::kDone) return created;
  std::vector<int> removed;
  for (const std::string& name : names) {
    int m = -1;
    for (int i = 0; i < directory.count() && m < 0; ++i) {
      const bool taken = std::find(removed.begin(), removed.end(), i) != removed.end();
      if (!taken && platform::compareIgnoringCase(directory.entries[i].nameView(), name) == 0) {
        m = i;
      }
    }
    if (m < 0) {
      SlbResult missing = outcome(SlbOutcome::kSlideNotFound);
      missing.subject = platform::fromAnsi(name);
      return missing;
    }
    removed.push_back(m);
  }
  Status s;
  const WriteResult written = writeLibrary(pending.file(), &library, {}, removed, directory, &s);
  library.close();
  if (written != WriteResult::kWritten) return outcome(SlbOutcome::kNotChanged, s);
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

// Slbedit's way with a missing library: a header-only file first, then the
// add step, storing the slide's name as typed.
SlbResult createLibrary(Env& env, const Target& target, const SlbRequest& request,
                        SlideDirectory& directory) {
  createLibraryFile(env, target.libraryPath);
  SlbResult result;
  std::unique_ptr<File> library;
  if (!platform::fileExists(env, target.libraryPath)) {
    result = outcome(SlbOutcome::kLibraryNotCreated);
  } else if (Status s = env.openFile(target.libraryPath, platform::OpenMode::kRead, &library);
             !s.ok()) {
    result = outcome(SlbOutcome::kLibraryUnopened, s);
  } else {
    directory.entries.clear();
    directory.libraryLength = kLibraryHeaderSize;
    result = addSlides(env, target, Placement(), {{request.slideFile, request.typedName}},
                       library.get(), directory);
  }
  result.created = true;
  return result;
}

// The library that is there, opened and checked, with its directory read.
struct OpenedLibrary {
  Target target;
  bool missing = false;
  std::unique_ptr<File> file;
  Placement placement;
};

SlbResult openLibrary(Env& env, std::u16string_view libraryPath, SlideDirectory& directory,
                      OpenedLibrary* opened) {
  // A library reached through a link is edited where it lives, so that the
  // link stays a link.
  Target& target = opened->target;
  Status s = env.resolveLink(libraryPath, &target.libraryPath);
  if (!s.ok()) return outcome(SlbOutcome::kLibraryUnopened, s);
  const platform::PathParts parts = platform::splitPath(target.libraryPath);
  target.folder = parts.drive + parts.dir;
  // Only a library that is not there is created: a library that cannot be
  // looked at for another reason is never overwritten.
  platform::FileInfo info;
  s = env.fileInfo(target.libraryPath, &info);
  if (s.kind() == platform::ErrorKind::kNotFound) {
    opened->missing = true;
    return outcome(SlbOutcome::kDone, s);
  }
  if (s.ok()) s = env.openFile(target.libraryPath, platform::OpenMode::kRead, &opened->file);
  if (!s.ok()) return outcome(SlbOutcome::kLibraryUnopened, s);
  opened->placement = Placement{info.links > 1, info.readOnly};
  SlbResult refused = outcome(SlbOutcome::kNotALibrary);
  if (!checkLibraryHeader(*opened->file, &refused.cause)) {
    refused.fault.reason = "no slide-library header";
    return refused;
  }
  uint64_t length = 0;
  refused.cause = opened->file->size(&length);
  if (!refused.cause.ok()) return refused;
  directory.libraryLength = static_cast<int64_t>(length);
  if (!readDirectory(*opened->file, directory, &refused.fault)) {
    refused.cause = refused.fault.cause;
    return refused;
  }
  return outcome(SlbOutcome::kDone);
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
  request.nameExact =
      storedSlideName(name, &request.slideName) && platform::toAnsiExact(name, &request.typedName);
  return request;
}

SlbResult runSlbedit(Env& env, const SlbRequest& request, SlideDirectory& directory) {
  OpenedLibrary library;
  SlbResult opened = openLibrary(env, request.libraryPath, directory, &library);
  if (opened.outcome != SlbOutcome::kDone) return opened;
  if (library.missing) return createLibrary(env, library.target, request, directory);
  switch (request.command) {
    case u'a':
    case u'A':
      return addSlides(env, library.target, library.placement,
                       {{request.slideFile, request.slideName}}, library.file.get(), directory);
    case u'd':
    case u'D': {
      SlbResult result = deleteSlides(env, library.target, library.placement, {request.slideName},
                                      *library.file, directory);
      result.subject.clear();
      return result;
    }
    default:
      return outcome(SlbOutcome::kDone);
  }
}

SlbResult editLibrary(Env& env, const LibraryEdit& edit, SlideDirectory& directory) {
  OpenedLibrary library;
  SlbResult opened = openLibrary(env, edit.libraryPath, directory, &library);
  if (opened.outcome != SlbOutcome::kDone) return opened;
  if (library.missing) {
    if (!edit.remove.empty()) return outcome(SlbOutcome::kLibraryUnopened, opened.cause);
    directory.entries.clear();
    directory.libraryLength = 0;
    SlbResult result = addSlides(env, library.target, Placement(), edit.add, nullptr, directory);
    result.created = result.outcome == SlbOutcome::kDone;
    return result;
  }
  if (!edit.remove.empty()) {
    return deleteSlides(env, library.target, library.placement, edit.remove, *library.file,
                        directory);
  }
  return addSlides(env, library.target, library.placement, edit.add, library.file.get(), directory);
}
