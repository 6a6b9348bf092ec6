#include "vetrix/slides/slide_library.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"
#include "vetrix/slides/slide_file.h"

namespace {

using platform::Env;
using platform::File;
using platform::Status;

constexpr size_t kCopyBlock = 1 << 16;
// How long an edit waits for another to finish with the library.
constexpr int kLockTimeoutMs = 10000;

// The names beside a library that belong to its edits: the temporary files
// ("~lib.slb.XXXXXX.tmp") and the journal of a write-over in place
// ("~lib.slb.new"), the complete new library until it is written over the
// old one.
std::u16string libraryFileName(std::u16string_view libraryPath) {
  const platform::PathParts parts = platform::splitPath(libraryPath);
  return parts.name + parts.ext;
}
std::u16string tempPrefix(std::u16string_view libraryPath) {
  return u"~" + libraryFileName(libraryPath) + u".";
}
std::u16string journalPath(std::u16string_view libraryPath, std::u16string_view folder) {
  return std::u16string(folder) + u"~" + libraryFileName(libraryPath) + u".new";
}

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

// Writes the complete library in `journal` over `library` in place and
// removes the journal. The part past the library's old length is written
// first: a full disk fails there, before a byte of the library changed, and
// the library is left as it was, as it is when the journal cannot be read
// before the first write over the old bytes. A failure after that leaves
// the library torn and the journal holding the complete new one (kDamaged). A failure
// before that removes the journal when `undoable` (the edit is then not
// made), and keeps it for the next edit otherwise.
SlbResult writeOverFromJournal(Env& env, const std::u16string& journal,
                               const std::u16string& libraryPath, const std::u16string& folder,
                               bool undoable) {
  std::unique_ptr<File> source, library;
  uint64_t newLength = 0, oldLength = 0;
  Status s = env.openFile(journal, platform::OpenMode::kRead, &source);
  if (s.ok()) s = source->size(&newLength);
  if (s.ok()) s = env.openFile(libraryPath, platform::OpenMode::kReadWrite, &library);
  if (s.ok()) s = library->size(&oldLength);
  auto notChanged = [&](Status cause) {
    if (library) library->close();
    if (source) source->close();
    if (undoable) env.removeFile(journal);
    return outcome(SlbOutcome::kNotChanged, std::move(cause));
  };
  if (!s.ok()) return notChanged(s);
  std::vector<unsigned char> buffer(kCopyBlock);
  bool written = false;  // a write of the library's old extent was tried
  auto copy = [&](uint64_t from, uint64_t to) {
    Status copied;
    for (uint64_t at = from; copied.ok() && at < to; at += buffer.size()) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), to - at));
      copied = platform::readExactly(*source, at, buffer.data(), n);
      if (!copied.ok()) break;
      written = written || at < oldLength;
      copied = library->write(at, buffer.data(), n);
    }
    return copied;
  };
  if (newLength > oldLength) {
    s = copy(oldLength, newLength);
    if (s.ok()) s = library->sync();
    if (!s.ok()) {
      library->truncate(oldLength);
      return notChanged(s);
    }
  }
  s = copy(0, std::min(oldLength, newLength));
  if (!s.ok() && !written) {
    // The journal could not be read: not a byte of the old library changed,
    // and cutting off what was added restores it.
    const Status cut = newLength > oldLength ? library->truncate(oldLength) : Status();
    if (cut.ok() && (newLength <= oldLength || library->sync().ok())) return notChanged(s);
  }
  if (s.ok()) s = library->truncate(newLength);
  if (s.ok()) s = library->sync();
  if (s.ok()) s = library->close();
  source->close();
  if (!s.ok()) {
    SlbResult damaged = outcome(SlbOutcome::kDamaged, s);
    damaged.keptPath = journal;
    return damaged;
  }
  env.removeFile(journal);
  return outcome(SlbOutcome::kDone, env.syncDirectory(folder));
}

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
    SlbResult result = outcome(
        SlbOutcome::kDone, env_.createTempFile(folder_, tempPrefix(libraryPath_), &path_, &file_));
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
  // Writes the flushed new library over the library itself, so that the
  // library keeps its identity. The new library first becomes the journal
  // beside it, so that a write-over cut short by a kill is finished by the
  // next edit.
  SlbResult writeOver() {
    Status s = file_->close();
    file_.reset();
    const std::u16string journal = journalPath(libraryPath_, folder_);
    if (s.ok()) s = env_.replaceFile(path_, journal);
    if (s.ok()) {
      path_ = journal;  // removed by the destructor unless the write-over takes it
      s = env_.syncDirectory(folder_);
    }
    if (!s.ok()) return outcome(SlbOutcome::kNotChanged, s);
    path_.clear();
    return writeOverFromJournal(env_, journal, libraryPath_, folder_, true);
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

// Where the library `libraryPath` leads: links followed, so that the
// library is edited where it lives and the link stays a link.
Status resolveTarget(Env& env, std::u16string_view libraryPath, Target* target) {
  Status s = env.resolveLink(libraryPath, &target->libraryPath);
  const platform::PathParts parts = platform::splitPath(target->libraryPath);
  target->folder = parts.drive + parts.dir;
  return s;
}

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
  // Only a whole slide goes in: its header, every record and the end mark,
  // and nothing after them (a library, a cut slide or a bare header would
  // make the library one no reader can use).
  s = slide->file->size(&slide->length);
  if (!s.ok()) return outcome(SlbOutcome::kNotChanged, s);
  if (slide->length > kMaxLibraryLength) return slideProblem(SlbOutcome::kNotASlide, slideFile);
  std::string bytes(static_cast<size_t>(slide->length), '\0');
  s = platform::readExactly(*slide->file, 0, bytes.data(), bytes.size());
  if (!s.ok()) return slideProblem(SlbOutcome::kSlideMissing, slideFile, s);
  SlidePicture picture;
  std::vector<SlideProblem> problems;
  if (!parseSlide(bytes, &picture, &problems) || !problems.empty() || picture.end != bytes.size()) {
    return slideProblem(SlbOutcome::kNotASlide, slideFile);
  }
  // An empty name reads as the end of the directory to other slide readers.
  if (name.empty()) return slideProblem(SlbOutcome::kEmptyName, slideFile);
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
  for (size_t i = 0; i < slides.size(); ++i) {
    const auto& [slideFile, name] = slides[i];
    result = openSlide(env, slideFile, name, &opened[i]);
    if (result.outcome != SlbOutcome::kDone) return result;
    added.push_back(NewSlide{opened[i].file.get(), opened[i].length, name});
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
  // Closed before it is replaced (Windows cannot replace an open file);
  // the edit's name lock is held until the replace is done.
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

// Renames the first slide of one name through a temporary file.
SlbResult renameSlide(Env& env, const Target& target, Placement placement, const std::string& from,
                      const std::string& to, File& library, SlideDirectory& directory) {
  const int at = findFirstSlide(directory, from);
  if (at < 0) {
    SlbResult missing = outcome(SlbOutcome::kSlideNotFound);
    missing.subject = platform::fromAnsi(from);
    return missing;
  }
  const int taken = findFirstSlide(directory, to);
  if (taken >= 0 && taken != at) {
    SlbResult refused = outcome(SlbOutcome::kNameTaken);
    refused.subject = platform::fromAnsi(to);
    return refused;
  }
  if (to.empty()) return outcome(SlbOutcome::kEmptyName);
  PendingLibrary pending(env, target.libraryPath, target.folder, placement);
  SlbResult created = pending.create();
  if (created.outcome != SlbOutcome::kDone) return created;
  directory.entries[static_cast<size_t>(at)].setName(to);
  Status s;
  const WriteResult written = writeLibrary(pending.file(), &library, {}, {}, directory, &s);
  library.close();
  if (written != WriteResult::kWritten) return outcome(SlbOutcome::kNotChanged, s);
  return pending.commit();
}

// Slbedit's way with a missing library: a new library holding the named
// slide, stored under its name as typed. It is made in a temporary file and
// appears only when complete: a failure leaves nothing.
SlbResult createLibrary(Env& env, const Target& target, const SlbRequest& request,
                        SlideDirectory& directory) {
  directory.entries.clear();
  directory.libraryLength = 0;
  SlbResult result = addSlides(env, target, Placement(), {{request.slideFile, request.typedName}},
                               nullptr, directory);
  // No temporary file in its folder: the library cannot be made there.
  if (result.outcome == SlbOutcome::kTempNotCreated)
    result.outcome = SlbOutcome::kLibraryNotCreated;
  result.created = result.outcome == SlbOutcome::kDone;
  return result;
}

// The library that is there, opened and checked, with its directory read.
// An edit holds the library locked from here until it is replaced.
struct OpenedLibrary {
  Target target;
  bool missing = false;
  std::unique_ptr<platform::NameLock> lock;  // an edit's, until the library is replaced
  std::unique_ptr<File> file;
  Placement placement;
};

// With the library locked: finishes a write-over that a kill cut short,
// from its journal, if there is one (*restored says so).
SlbResult finishWriteOver(Env& env, const Target& target, bool* restored) {
  const std::u16string journal = journalPath(target.libraryPath, target.folder);
  if (!platform::fileExists(env, journal)) return outcome(SlbOutcome::kDone);
  SlbResult finished = writeOverFromJournal(env, journal, target.libraryPath, target.folder, false);
  *restored = finished.outcome == SlbOutcome::kDone;
  return finished;
}

// With the library locked: finishes a cut-short write-over and removes the
// temporary files of killed edits.
SlbResult recoverLibrary(Env& env, const Target& target) {
  bool restored = false;
  SlbResult finished = finishWriteOver(env, target, &restored);
  if (finished.outcome != SlbOutcome::kDone) return finished;
  for (const std::u16string& leftover : libraryLeftovers(env, target.libraryPath)) {
    env.removeFile(leftover);
  }
  return outcome(SlbOutcome::kDone);
}

SlbResult openLibrary(Env& env, std::u16string_view libraryPath, bool edit,
                      SlideDirectory& directory, OpenedLibrary* opened) {
  Target& target = opened->target;
  Status s = resolveTarget(env, libraryPath, &target);
  if (!s.ok()) return outcome(SlbOutcome::kLibraryUnopened, s);
  // Only a library that is not there is created: a library that cannot be
  // looked at for another reason is never overwritten.
  platform::FileInfo info;
  s = env.fileInfo(target.libraryPath, &info);
  if (s.kind() == platform::ErrorKind::kNotFound) {
    opened->missing = true;
    return outcome(SlbOutcome::kDone, s);
  }
  // A library nobody may write is not locked: the edit is refused anyway.
  const bool locking = s.ok() && edit && !info.readOnly;
  if (locking) {
    s = env.lockName(target.libraryPath, kLockTimeoutMs, &opened->lock);
    if (!s.ok()) return outcome(SlbOutcome::kNotChanged, s);
  }
  if (s.ok()) s = env.openFile(target.libraryPath, platform::OpenMode::kRead, &opened->file);
  if (!s.ok()) return outcome(SlbOutcome::kLibraryUnopened, s);
  if (locking) {
    SlbResult recovered = recoverLibrary(env, target);
    if (recovered.outcome != SlbOutcome::kDone) return recovered;
    s = env.fileInfo(target.libraryPath, &info);
    if (!s.ok()) return outcome(SlbOutcome::kLibraryUnopened, s);
  }
  opened->placement = Placement{info.links > 1, info.readOnly};
  SlbResult refused = outcome(SlbOutcome::kNotALibrary, checkLibraryHeader(*opened->file));
  if (!refused.cause.ok()) {
    refused.fault.reason = "no slide-library header";
    return refused;
  }
  uint64_t length = 0;
  refused.cause = opened->file->size(&length);
  if (!refused.cause.ok()) return refused;
  directory.libraryLength = static_cast<int64_t>(length);
  refused.fault = readDirectory(*opened->file, directory);
  if (!refused.fault.ok()) {
    refused.cause = refused.fault.cause;
    return refused;
  }
  return outcome(SlbOutcome::kDone);
}

}  // namespace

std::vector<std::u16string> libraryLeftovers(Env& env, std::u16string_view libraryPath) {
  const platform::PathParts parts = platform::splitPath(libraryPath);
  const std::u16string folder = parts.drive + parts.dir;
  const std::u16string prefix = tempPrefix(libraryPath);
  std::vector<platform::DirEntry> entries;
  std::vector<std::u16string> leftovers;
  if (!env.findFiles(folder + prefix + u"*.tmp", false, &entries).ok()) return leftovers;
  for (const platform::DirEntry& entry : entries) {
    if (!entry.isDirectory && platform::isTempName(entry.name, prefix)) {
      leftovers.push_back(folder + entry.name);
    }
  }
  return leftovers;
}

LibraryCheck checkLibraryEdits(Env& env, std::u16string_view libraryPath) {
  LibraryCheck check;
  Target target;
  Status s = resolveTarget(env, libraryPath, &target);
  platform::FileInfo info;
  if (s.ok()) s = env.fileInfo(target.libraryPath, &info);
  std::unique_ptr<platform::NameLock> lock;
  if (s.ok() && !info.readOnly) s = env.lockName(target.libraryPath, kLockTimeoutMs, &lock);
  if (!s.ok()) {
    check.result = outcome(SlbOutcome::kNotChanged, s);
    return check;
  }
  if (!info.readOnly) check.result = finishWriteOver(env, target, &check.restored);
  check.leftovers = libraryLeftovers(env, target.libraryPath);
  return check;
}

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
  const bool edit = request.command != u'l' && request.command != u'L';
  SlbResult opened = openLibrary(env, request.libraryPath, edit, directory, &library);
  if (opened.outcome != SlbOutcome::kDone) return opened;
  if (library.missing) {
    // Deleting from a library that is not there makes nothing.
    if (request.command == u'd' || request.command == u'D') {
      SlbResult missing = outcome(SlbOutcome::kLibraryUnopened, opened.cause);
      missing.subject = request.libraryPath;
      return missing;
    }
    return createLibrary(env, library.target, request, directory);
  }
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
  SlbResult opened = openLibrary(env, edit.libraryPath, true, directory, &library);
  if (opened.outcome != SlbOutcome::kDone) return opened;
  if (library.missing) {
    if (!edit.remove.empty() || !edit.renameFrom.empty()) {
      return outcome(SlbOutcome::kLibraryUnopened, opened.cause);
    }
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
  if (!edit.renameFrom.empty()) {
    return renameSlide(env, library.target, library.placement, edit.renameFrom, edit.renameTo,
                       *library.file, directory);
  }
  return addSlides(env, library.target, library.placement, edit.add, library.file.get(), directory);
}
