#include "vetrix/slides/slide_library.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/file_writes.h"
#include "platform/path.h"
#include "platform/text.h"
#include "vetrix/slides/slide_file.h"

namespace {

using platform::Env;
using platform::File;
using platform::Status;

SlbResult outcome(SlbOutcome kind, Status cause = Status()) {
  SlbResult result;
  result.outcome = kind;
  result.cause = std::move(cause);
  return result;
}

// The new library, made beside the library while the edit holds its lock.
// A missing library is made only where no file appears meanwhile.
SlbResult beginNewLibrary(platform::NewFile& pending, const std::u16string& libraryPath,
                          bool creating) {
  const Status prepared = pending.prepare(
      libraryPath, creating ? platform::Replace::kNever : platform::Replace::kAlways,
      platform::Locking::kHeldByCaller);
  if (prepared.kind() == platform::ErrorKind::kExists) {
    return outcome(SlbOutcome::kNameTakenMeanwhile, prepared);
  }
  if (!prepared.ok()) return outcome(SlbOutcome::kNotChanged, prepared);
  SlbResult result = outcome(SlbOutcome::kDone, pending.createTemporary());
  if (!result.cause.ok()) {
    result.outcome = SlbOutcome::kTempNotCreated;
    const platform::PathParts parts = platform::splitPath(pending.targetPath());
    result.temporaryFolder = parts.drive + parts.dir;
  }
  return result;
}

// Puts the new library in the library's place, and says where that left it.
SlbResult publishLibrary(platform::NewFile& pending) {
  SlbResult result = outcome(SlbOutcome::kDone, pending.publish());
  switch (pending.published()) {
    case platform::Published::kYes:
      break;
    case platform::Published::kNo:
      result.outcome = result.cause.kind() == platform::ErrorKind::kExists
                           ? SlbOutcome::kNameTakenMeanwhile
                           : SlbOutcome::kNotChanged;
      break;
    case platform::Published::kUnsynced:
      result.outcome = SlbOutcome::kNotSynced;
      break;
    case platform::Published::kTorn:
      result.outcome = SlbOutcome::kDamaged;
      result.keptPath = pending.keptPath();
      break;
    case platform::Published::kJournalKept:
      result.outcome = SlbOutcome::kJournalKept;
      result.keptPath = pending.keptPath();
      break;
  }
  return result;
}

// Where the library really lives: links followed, so that the library is
// edited where it lives and the link stays a link.
struct Target {
  std::u16string libraryPath;
};

Status resolveTarget(Env& env, std::u16string_view libraryPath, Target* target) {
  return env.resolveLink(libraryPath, &target->libraryPath);
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

// Adds slides (file, name) to the library (none when `library` is null:
// a new library) through a temporary file.
SlbResult addSlides(Env& env, const Target& target,
                    const std::vector<std::pair<std::u16string, std::string>>& slides,
                    File* library, SlideDirectory& directory) {
  platform::NewFile pending(env);
  SlbResult result = beginNewLibrary(pending, target.libraryPath, library == nullptr);
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
  // the edit's name lock is held until the replace is done. Only read.
  if (library) (void)library->close();
  return publishLibrary(pending);
}

// Deletes the first slide of each name through a temporary file. The
// temporary file is made before the names are looked up.
SlbResult deleteSlides(Env& env, const Target& target, const std::vector<std::string>& names,
                       File& library, SlideDirectory& directory) {
  platform::NewFile pending(env);
  SlbResult created = beginNewLibrary(pending, target.libraryPath, false);
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
  (void)library.close();  // only read
  if (written != WriteResult::kWritten) return outcome(SlbOutcome::kNotChanged, s);
  return publishLibrary(pending);
}

// Renames the first slide of one name through a temporary file.
SlbResult renameSlide(Env& env, const Target& target, const std::string& from,
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
  platform::NewFile pending(env);
  SlbResult created = beginNewLibrary(pending, target.libraryPath, false);
  if (created.outcome != SlbOutcome::kDone) return created;
  directory.entries[static_cast<size_t>(at)].setName(to);
  Status s;
  const WriteResult written = writeLibrary(pending.file(), &library, {}, {}, directory, &s);
  (void)library.close();  // only read
  if (written != WriteResult::kWritten) return outcome(SlbOutcome::kNotChanged, s);
  return publishLibrary(pending);
}

// Slbedit's way with a missing library: a new library holding the named
// slide, stored under its name as typed. It is made in a temporary file and
// appears only when complete: a failure leaves nothing.
SlbResult createLibrary(Env& env, const Target& target, const SlbRequest& request,
                        SlideDirectory& directory) {
  directory.entries.clear();
  directory.libraryLength = 0;
  SlbResult result =
      addSlides(env, target, {{request.slideFile, request.typedName}}, nullptr, directory);
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
};

// With the library locked: finishes a write-over that a kill cut short and
// removes the temporary files of killed edits.
SlbResult recoverLibrary(Env& env, const Target& target) {
  platform::JournalState journal;
  Status s = platform::finishWriteOver(env, target.libraryPath, &journal);
  std::vector<std::u16string> leftovers;
  if (s.ok()) s = platform::leftoverTemporaries(env, target.libraryPath, &leftovers);
  if (!s.ok()) return outcome(SlbOutcome::kNotChanged, s);
  // One that cannot be removed stays a leftover, which slb check names.
  for (const std::u16string& leftover : leftovers) (void)env.removeFile(leftover);
  return outcome(SlbOutcome::kDone);
}

SlbResult openLibrary(Env& env, std::u16string_view libraryPath, bool edit,
                      SlideDirectory& directory, OpenedLibrary* opened) {
  Target& target = opened->target;
  Status s = resolveTarget(env, libraryPath, &target);
  if (!s.ok()) return outcome(SlbOutcome::kLibraryUnopened, s);
  if (edit) {
    s = env.lockName(target.libraryPath, platform::kEditLockTimeoutMs, &opened->lock);
    if (!s.ok()) return outcome(SlbOutcome::kNotChanged, s);
    SlbResult recovered = recoverLibrary(env, target);
    if (recovered.outcome != SlbOutcome::kDone) return recovered;
  }
  // Only a library that is not there is created: a library that cannot be
  // looked at for another reason is never overwritten.
  bool exists = false;
  platform::FileInfo info;
  s = platform::lookUp(env, target.libraryPath, &exists, &info);
  if (!s.ok()) return outcome(SlbOutcome::kLibraryUnopened, s);
  if (!exists) {
    opened->missing = true;
    return outcome(SlbOutcome::kDone,
                   Status::error(platform::ErrorKind::kNotFound, 0, "open", target.libraryPath));
  }
  s = env.openFile(target.libraryPath, platform::OpenMode::kRead, &opened->file);
  if (!s.ok()) return outcome(SlbOutcome::kLibraryUnopened, s);
  s = checkLibraryHeader(*opened->file);
  if (s.kind() == platform::ErrorKind::kCorrupt) {
    SlbResult refused = outcome(SlbOutcome::kNotALibrary, s);
    refused.fault.reason = "no slide-library header";
    return refused;
  }
  uint64_t length = 0;
  if (s.ok()) s = opened->file->size(&length);
  if (!s.ok()) return outcome(SlbOutcome::kLibraryUnopened, s);
  directory.libraryLength = static_cast<int64_t>(length);
  SlbResult refused = outcome(SlbOutcome::kNotALibrary);
  refused.fault = readDirectory(*opened->file, directory);
  if (!refused.fault.ok()) {
    // A directory that could not be read is no damaged one.
    if (!refused.fault.cause.ok())
      return outcome(SlbOutcome::kLibraryUnopened, refused.fault.cause);
    return refused;
  }
  return outcome(SlbOutcome::kDone);
}

// Runs `edit` on the library opened for an edit; again, once, when a new
// library could not be made because another program made one meanwhile.
template <typename Edit>
SlbResult withLibrary(Env& env, std::u16string_view libraryPath, SlideDirectory& directory,
                      Edit edit) {
  for (int attempt = 0;; ++attempt) {
    OpenedLibrary library;
    SlbResult result = openLibrary(env, libraryPath, true, directory, &library);
    if (result.outcome == SlbOutcome::kDone) result = edit(library, result);
    if (result.outcome != SlbOutcome::kNameTakenMeanwhile) return result;
    if (attempt == 1) {
      result.outcome = SlbOutcome::kNotChanged;
      return result;
    }
  }
}

}  // namespace

LibraryCheck checkLibraryEdits(Env& env, std::u16string_view libraryPath) {
  LibraryCheck check;
  Target target;
  Status s = resolveTarget(env, libraryPath, &target);
  std::unique_ptr<platform::NameLock> lock;
  if (s.ok()) s = env.lockName(target.libraryPath, platform::kEditLockTimeoutMs, &lock);
  // A folder nobody may write holds nothing an edit could have left there
  // to finish: only looked at.
  const bool locked = s.ok();
  if (s.kind() == platform::ErrorKind::kAccessDenied) s = Status();
  platform::JournalState journal = platform::JournalState::kNone;
  if (s.ok() && locked) s = platform::finishWriteOver(env, target.libraryPath, &journal);
  if (s.ok() && !locked) {
    bool exists = false;
    platform::FileInfo info;
    s = platform::lookUp(env, platform::journalPath(target.libraryPath), &exists, &info);
    if (exists) journal = platform::JournalState::kForeign;
  }
  if (s.ok()) s = platform::leftoverTemporaries(env, target.libraryPath, &check.leftovers);
  check.result = outcome(s.ok() ? SlbOutcome::kDone : SlbOutcome::kNotChanged, s);
  check.restored = journal == platform::JournalState::kFinished;
  if (journal == platform::JournalState::kForeign) {
    check.foreignJournal = platform::journalPath(target.libraryPath);
  }
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
  const bool isList = request.command == u'l' || request.command == u'L';
  if (isList) {
    OpenedLibrary library;
    SlbResult opened = openLibrary(env, request.libraryPath, false, directory, &library);
    if (opened.outcome != SlbOutcome::kDone || !library.missing) return opened;
    // As for every command, a missing library is made holding the named
    // slide, here ".sld", which no library takes: under the edit's lock.
  }
  const bool isDelete = request.command == u'd' || request.command == u'D';
  return withLibrary(
      env, request.libraryPath, directory, [&](OpenedLibrary& library, const SlbResult& opened) {
        if (library.missing) {
          // Deleting from a library that is not there makes nothing.
          if (isDelete) {
            SlbResult missing = outcome(SlbOutcome::kLibraryUnopened, opened.cause);
            missing.subject = request.libraryPath;
            return missing;
          }
          return createLibrary(env, library.target, request, directory);
        }
        if (isDelete) {
          SlbResult result =
              deleteSlides(env, library.target, {request.slideName}, *library.file, directory);
          result.subject.clear();
          return result;
        }
        if (isList) return outcome(SlbOutcome::kDone);  // appeared meanwhile
        return addSlides(env, library.target, {{request.slideFile, request.slideName}},
                         library.file.get(), directory);
      });
}

SlbResult editLibrary(Env& env, const LibraryEdit& edit, SlideDirectory& directory) {
  return withLibrary(
      env, edit.libraryPath, directory, [&](OpenedLibrary& library, const SlbResult& opened) {
        if (library.missing) {
          if (!edit.remove.empty() || !edit.renameFrom.empty()) {
            return outcome(SlbOutcome::kLibraryUnopened, opened.cause);
          }
          directory.entries.clear();
          directory.libraryLength = 0;
          SlbResult result = addSlides(env, library.target, edit.add, nullptr, directory);
          result.created = result.outcome == SlbOutcome::kDone;
          return result;
        }
        if (!edit.remove.empty()) {
          return deleteSlides(env, library.target, edit.remove, *library.file, directory);
        }
        if (!edit.renameFrom.empty()) {
          return renameSlide(env, library.target, edit.renameFrom, edit.renameTo, *library.file,
                             directory);
        }
        return addSlides(env, library.target, edit.add, library.file.get(), directory);
      });
}
