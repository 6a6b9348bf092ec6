#include "vetrix/slides/slbedit.h"

#include "frame/frame.h"

namespace {

using platform::Env;
using platform::File;

constexpr int kNamesPerLine = 8;

enum class AddStep { kWritten, kSlideUnusable, kLibraryFull, kWriteFailed };

// The temporary file that becomes the library, removed unless committed.
class PendingLibrary {
 public:
  explicit PendingLibrary(const SlbeditRequest& request) : request_(request) {}
  ~PendingLibrary() {
    if (file_) file_->close();
    if (!path_.empty()) Env::current()->removeFile(path_);
  }

  // Creates the file; prints the failure.
  bool create() {
    file_ = Env::current()->createTempFile(request_.folder, &path_);
    if (file_) return true;
    const std::u16string shown = request_.folder + u"~slbXXXXXX.tmp";
    zcutPrintf(u"\nOPEN Temp FILE ERROR: %s", shown.c_str());
    return false;
  }

  File& file() { return *file_; }

  // Flushes the new library to disk and puts it in the library's place.
  bool commit() {
    const bool written = file_->sync();
    const bool closed = file_->close();
    file_.reset();
    if (!written || !closed || !Env::current()->replaceFile(path_, request_.libraryPath)) {
      return false;
    }
    path_.clear();
    return true;
  }

 private:
  const SlbeditRequest& request_;
  std::unique_ptr<File> file_;
  std::u16string path_;
};

int libraryUnchanged(const SlbeditRequest& request) {
  zcutPrintf(u"\nSLB FILE NOT CHANGED: %s", request.libraryPath.c_str());
  return kRtError;
}

// Writes the library with the slide added under `name` into `output`.
AddStep runAddStep(const SlbeditRequest& request, std::string_view name, File& output,
                   File& library, SlideDirectory& directory) {
  std::unique_ptr<File> slide;
  if (Env::current()->fileExists(request.slideFile)) {
    slide = Env::current()->openFile(request.slideFile, platform::OpenMode::kRead);
  }
  if (!slide) {
    zcutPrintf(u"\nFile not exist:%s", request.slideFile.c_str());
    return AddStep::kSlideUnusable;
  }
  if (checkSlideHeader(*slide) != 0) return AddStep::kSlideUnusable;
  const std::optional<uint64_t> length = slide->size();
  if (!length) return AddStep::kWriteFailed;
  if (findLastSlide(directory, name) < 0 && directory.count() >= kMaxSlides) {
    zcutPrintf(u"\nSLB FILE FULL (%d slides): %s", kMaxSlides, request.libraryPath.c_str());
    return AddStep::kLibraryFull;
  }
  switch (writeLibraryWithSlide(output, library, *slide, *length, name, directory)) {
    case WriteResult::kWritten:
      return AddStep::kWritten;
    case WriteResult::kTooLarge:
      zcutPrintf(u"\nSLB FILE TOO LARGE: %s", request.libraryPath.c_str());
      return AddStep::kWriteFailed;
    case WriteResult::kFailed:
      break;
  }
  return AddStep::kWriteFailed;
}

// Finishes an add: the outcome of the add step, then the replace.
int finishAdd(const SlbeditRequest& request, PendingLibrary& pending, AddStep step, bool announce) {
  switch (step) {
    case AddStep::kSlideUnusable:
      zcutPrintf(u"\nFile [%s] Open Error !", request.slideFile.c_str());
      return kRtError;
    case AddStep::kLibraryFull:
      return kRtError;
    case AddStep::kWriteFailed:
      return libraryUnchanged(request);
    case AddStep::kWritten:
      break;
  }
  if (!pending.commit()) return libraryUnchanged(request);
  if (announce) zcutPrintf(u"\nSLBEDIT ADD SLB SUCCESS !");
  return 1;
}

// Writes the library with the slide added under `name` into a temporary file
// and puts it in the library's place.
int addToLibrary(const SlbeditRequest& request, std::string_view name, File& library,
                 SlideDirectory& directory, bool announce) {
  PendingLibrary pending(request);
  if (!pending.create()) return libraryUnchanged(request);
  const AddStep step = runAddStep(request, name, pending.file(), library, directory);
  library.close();
  return finishAdd(request, pending, step, announce);
}

// Builds the request from the argument list; false for a list to refuse.
bool readArguments(const ResultBuffer* args, SlbeditRequest* request) {
  if (!isString(args)) return false;
  const std::u16string_view command = argText(args);
  if (command.size() > 1) return false;
  const ResultBuffer* library = args->rbnext;
  if (!library) return false;
  request->command = command.empty() ? u'\0' : command[0];
  switch (request->command) {
    case u'L':
    case u'l':
      if (!isString(library)) return false;
      break;
    case u'A':
    case u'a':
    case u'D':
    case u'd': {
      if (!isString(library)) return false;
      const ResultBuffer* slide = library->rbnext;
      if (!isString(slide)) return false;
      request->slideFile = std::u16string(argText(slide)) + u".sld";
      break;
    }
    default:
      if (!command.empty()) printUsage();
      return false;
  }
  const std::u16string libraryArgument(argText(library));
  const platform::PathParts parts = platform::splitPath(libraryArgument);
  request->folder = parts.drive + parts.dir;
  request->libraryPath = libraryArgument + u".slb";
  if (request->slideFile.empty()) request->slideFile = u".sld";
  const std::u16string name = platform::splitPath(request->slideFile).name;
  request->slideName = platform::toAnsi(platform::toUpperWide(name));
  request->typedName = platform::toAnsi(name);
  return true;
}

}  // namespace

int Slbedit(const ResultBuffer* args) {
  SlbeditRequest request;
  if (!readArguments(args, &request)) return kRtError;
  const bool editing = request.command != u'l' && request.command != u'L';
  if (editing && request.slideName.size() > kMaxSlideNameLength) {
    zcutPrintf(u"\nSLD NAME TOO LONG (max %d bytes): %s", static_cast<int>(kMaxSlideNameLength),
               request.slideFile.c_str());
    return kRtError;
  }

  SlideDirectory& directory = slideDirectory();
  Env* env = Env::current();
  if (!env->fileExists(request.libraryPath)) return createLibrary(request, directory);

  std::unique_ptr<File> library = env->openFile(request.libraryPath, platform::OpenMode::kRead);
  bool readable = library && checkLibraryHeader(*library) == 0;
  if (readable) {
    const std::optional<uint64_t> length = library->size();
    DirectoryFault fault;
    directory.libraryLength = length ? static_cast<int64_t>(*length) : -1;
    if (!length || !readDirectory(*library, directory, &fault)) {
      zcutPrintf(u"\nThis is not a SLB file");
      readable = false;
    }
  }
  if (!readable) {
    zcutPrintf(u"\nOPEN SLB FILE ERROR: %s", request.libraryPath.c_str());
    return kRtError;
  }
  switch (request.command) {
    case u'a':
    case u'A':
      return addSlide(request, std::move(library), directory);
    case u'd':
    case u'D':
      return deleteSlide(request, std::move(library), directory);
    default:
      return listSlides(*library, directory);
  }
}

int listSlides(platform::File& library, SlideDirectory& directory) {
  zcutPrintf(u"\n< List sld file > :\n");
  for (int i = 0; i < directory.count(); ++i) {
    const std::u16string name = platform::fromAnsi(directory.entries[i].nameView());
    zcutPrintf(u"%-10s", name.c_str());
    if ((i + 1) % kNamesPerLine == 0) zcutPrintf(u"\n");
  }
  library.close();
  return 1;
}

int createLibrary(const SlbeditRequest& request, SlideDirectory& directory) {
  zcutPrintf(u"\nMake New SLB File: %s", request.libraryPath.c_str());
  createLibraryFile(request.libraryPath);
  Env* env = Env::current();
  if (!env->fileExists(request.libraryPath)) {
    zcutPrintf(u"\nFile not exist:%s", request.libraryPath.c_str());
    return kRtError;
  }
  std::unique_ptr<File> library = env->openFile(request.libraryPath, platform::OpenMode::kRead);
  if (!library) {
    zcutPrintf(u"\nOPEN SLB FILE ERROR: %s", request.libraryPath.c_str());
    return kRtError;
  }
  // The new library starts empty; its one entry carries the slide's name as
  // typed.
  directory.entries.clear();
  directory.libraryLength = kLibraryHeaderSize;
  directory.previousOffsets.clear();

  return addToLibrary(request, request.typedName, *library, directory, false);
}

int addSlide(const SlbeditRequest& request, std::unique_ptr<platform::File> library,
             SlideDirectory& directory) {
  return addToLibrary(request, request.slideName, *library, directory, true);
}

int deleteSlide(const SlbeditRequest& request, std::unique_ptr<platform::File> library,
                SlideDirectory& directory) {
  PendingLibrary pending(request);
  if (!pending.create()) return libraryUnchanged(request);
  const int m = findFirstSlide(directory, request.slideName);
  if (m < 0) {
    zcutPrintf(u"\nNot found SLD:%s", request.slideFile.c_str());
    return 1;
  }
  const WriteResult written = writeLibraryWithout(pending.file(), *library, m, directory);
  library->close();
  if (written != WriteResult::kWritten || !pending.commit()) return libraryUnchanged(request);
  return 1;
}

int printUsage() {
  static const char16_t* const kUsage[] = {
      u"\n SLBEDIT - slide library editor for AutoCAD slide libraries",
      u"\n Lists, adds and deletes the slides of a library",
      u"\n -----------------------------------------------------",
      u"\n",
      u"\n Usage : SLBEDIT <command> <*.slb> <*.sld>",
      u"\n",
      u"\n <Commands>",
      u"\n  l: list all slide in Library",
      u"\n  a: add a slide file to Library",
      u"\n  d: delete a slide file from Library",
  };
  for (const char16_t* line : kUsage) zcutPrintf(line);
  return 1;
}
