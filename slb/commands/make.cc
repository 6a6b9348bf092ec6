// make: a slide from the text dump writes, or from a DXF drawing.
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "commands.h"
#include "library_reading.h"
#include "output_files.h"
#include "platform/file_writes.h"
#include "platform/path.h"
#include "platform/text.h"
#include "slb/dxf_reader.h"
#include "slb/dxf_slide.h"
#include "slb/stroke_font.h"
#include "slb/system_glyphs.h"
#include "vetrix/slides/slide_library.h"
#include "vetrix/slides/slide_text.h"

namespace slb {
namespace {

// "X1,Y1,X2,Y2": four numbers, the corners of a window.
bool readWindow(const std::string& text, DxfView* view) {
  double corners[4];
  size_t at = 0;
  for (int k = 0; k < 4; ++k) {
    const size_t comma = k < 3 ? text.find(',', at) : text.size();
    if (comma == std::string::npos ||
        !dxfNumber(std::string_view(text).substr(at, comma - at), &corners[k])) {
      return false;
    }
    at = comma + 1;
  }
  view->window = true;
  view->x1 = corners[0], view->y1 = corners[1], view->x2 = corners[2], view->y2 = corners[3];
  return view->x1 != view->x2 && view->y1 != view->y2;
}

// Where the stroke font is: Debian's, or on Windows the copy beside slb.exe.
std::string strokeFontPath() {
#if defined(ZC_STROKE_FONT_BESIDE) && defined(_WIN32)
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  const size_t cut = path.find_last_of(L"\\/");
  const std::u16string folder(
      path.begin(), path.begin() + static_cast<std::ptrdiff_t>(cut == path.npos ? 0 : cut));
  return (folder.empty() ? std::string(".") : platform::toUtf8(folder)) + "\\" ZC_STROKE_FONT;
#else
  return ZC_STROKE_FONT;
#endif
}

// The stroke font TEXT and MTEXT are drawn in: false when it is not there
// (or is no font).
bool loadFont(StrokeFont* font) {
  std::unique_ptr<platform::File> file;
  uint64_t length = 0;
  std::string error;
  if (!openSlide(strokeFontPath(), &file, &length, &error) || length > (uint64_t{1} << 20)) {
    return false;
  }
  std::string text(static_cast<size_t>(length), '\0');
  return platform::readExactly(*file, 0, text.data(), text.size()).ok() && font->read(text);
}

// The slide of a drawing into *slide; the exit status.
int makeFromDrawing(const std::string& path, std::string bytes, const Options& options,
                    std::string* slide) {
  DxfView view;
  if (!options.window.empty() && !readWindow(options.window, &view)) {
    return usageError("--window needs X1,Y1,X2,Y2: two corners of a window with an area");
  }
  if (options.width > 0) view.width = options.width;
  if (options.height > 0) view.height = options.height;
  auto drawing = std::make_unique<DxfDrawing>();
  DxfFault fault;
  if (!readDxf(std::move(bytes), drawing.get(), &fault)) {
    return problem(path + dxfPlace(*drawing, fault) + ": " + fault.what + "; nothing written");
  }
  StrokeFont font;
  const bool haveFont = loadFont(&font);
  if (haveFont) {
    font.setFallback(systemGlyphs());
    view.font = &font;
    view.trueType = trueTypeGlyphs;
  }
  const DxfSlideResult made = dxfToSlide(*drawing, view);
  if (!made.ok) {
    return problem(path + dxfPlace(*drawing, made.fault) + ": " + made.fault.what +
                   "; nothing written");
  }
  if (!made.skipped.empty()) {
    std::string list;
    for (const auto& [type, count] : made.skipped) {
      list += (list.empty() ? "" : ", ") + std::to_string(count) + " " + type;
    }
    if (!haveFont && (made.skipped.count("TEXT") || made.skipped.count("MTEXT"))) {
      list += " (text needs the stroke font " + strokeFontPath() + ")";
    }
    if (!options.lenient) {
      return problem("skipped: " + list +
                     "; nothing written (--lenient writes the slide without them)");
    }
    std::fprintf(stderr, "slb: skipped: %s\n", shown(list).c_str());
  }
  *slide = made.slide;
  return 0;
}

// The slide of a text or a drawing (a file whose first line is a group
// code) into *slide; the exit status.
int makeFromFile(const std::string& path, const Options& options, std::string* slide) {
  std::unique_ptr<platform::File> file;
  uint64_t length = 0;
  std::string error;
  // A text holds no fewer bytes than the slide it makes.
  if (!openSlide(path, &file, &length, &error)) return problem(error);
  std::string text(static_cast<size_t>(length), '\0');
  if (const platform::Status read = platform::readExactly(*file, 0, text.data(), text.size());
      !read.ok()) {
    return problem(read.toString());
  }
  if (looksLikeDxf(text)) return makeFromDrawing(path, std::move(text), options, slide);
  SlideTextFault fault;
  if (!slideFromText(text, slide, &fault)) {
    return problem(path + ":" + std::to_string(fault.line) + ": " + fault.what +
                   "; nothing written");
  }
  return 0;
}

// The files an edit reads its slides from: the slides made, under the
// names of the files they were made from.
class MadeSlides : public platform::EnvWrapper {
 public:
  MadeSlides() : EnvWrapper(&env()) {}
  void keep(const std::u16string& path, std::string bytes) {
    slides_[path] = std::make_shared<const std::string>(std::move(bytes));
  }
  platform::Status openFile(std::u16string_view path, platform::OpenMode mode,
                            std::unique_ptr<platform::File>* file) override {
    const auto it = slides_.find(std::u16string(path));
    if (it == slides_.end() || mode != platform::OpenMode::kRead) {
      return EnvWrapper::openFile(path, mode, file);
    }
    *file = fileInMemory(it->second, it->first);
    return platform::Status();
  }
  platform::Status fileInfo(std::u16string_view path, platform::FileInfo* info) override {
    const auto it = slides_.find(std::u16string(path));
    if (it == slides_.end()) return EnvWrapper::fileInfo(path, info);
    *info = platform::FileInfo();
    info->size = it->second->size();
    return platform::Status();
  }

 private:
  std::map<std::u16string, std::shared_ptr<const std::string>> slides_;
};

// Makes the slides of the files and adds them to the library in one edit:
// each under its file's name, or the one under `name`. The exit status.
int makeIntoLibrary(const Options& options) {
  std::vector<std::string> files = options.rest;
  std::string typedName;
  if (files.size() == 2) {  // a drawing and a name, unless both are files
    bool exists = false;
    platform::FileInfo info;
    if (platform::lookUp(env(), wide(files[1]), &exists, &info).ok() && !exists) {
      typedName = files[1];
      files.pop_back();
    }
  }
  MadeSlides made;
  LibraryEdit change;
  change.libraryPath = wide(options.library);
  std::string error;
  for (const std::string& path : files) {
    std::u16string stem = platform::splitPath(wide(path)).name;
    if (const size_t dot = stem.rfind(u'.'); dot != std::u16string::npos && dot > 0) {
      stem.resize(dot);
    }
    std::string name;
    if (!storedName(typedName.empty() ? utf8(stem) : typedName, &name, &error)) {
      return problem(error);
    }
    std::string slide;
    if (const int status = makeFromFile(path, options, &slide); status != 0) return status;
    made.keep(wide(path), std::move(slide));
    change.add.emplace_back(wide(path), name);
  }
  SlideDirectory directory;
  const SlbResult result = editLibrary(made, change, directory);
  switch (result.outcome) {
    case SlbOutcome::kDone:
      std::printf("%s: %s; %s now\n", shown(options.library).c_str(),
                  result.created ? "made, slides added" : "slides added",
                  slidesCount(directory.count()).c_str());
      return 0;
    case SlbOutcome::kLibraryTooLarge:
      return problem(options.library + " would pass 2 GiB; nothing added");
    default:
      return editFailure(options.library, result);
  }
}

}  // namespace

int makeSlide(Arguments args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (!options.library.empty()) {
    if (options.rest.empty()) return usageError("make --add takes drawings or texts");
    if (!options.output.empty()) return usageError("make takes -o or --add, not both");
    return makeIntoLibrary(options);
  }
  if (options.rest.size() != 1) return usageError("make takes one text or drawing");
  if (options.output.empty()) return usageError("make needs -o OUT.sld (-o - for standard output)");
  std::string slide;
  if (const int status = makeFromFile(options.rest[0], options, &slide); status != 0) {
    return status;
  }
  if (!writeOutput(options.output, slide, &error)) return problem(error);
  return 0;
}

}  // namespace slb
