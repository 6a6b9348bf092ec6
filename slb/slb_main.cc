// slb: lists, checks, takes apart, edits and draws AutoCAD slide libraries.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "platform/coding.h"
#include "platform/env.h"
#include "platform/file_writes.h"
#include "platform/path.h"
#include "platform/text.h"
#include "slb/slide_render.h"
#include "slide_png.h"
#include "vetrix/slides/slide_file.h"
#include "vetrix/slides/slide_format.h"
#include "vetrix/slides/slide_library.h"

namespace {

constexpr char kUsage[] =
    "usage: slb COMMAND ...\n"
    "\n"
    "Lists, checks, takes apart, edits and draws AutoCAD slide libraries (.slb)\n"
    "and slides (.sld).\n"
    "\n"
    "  slb list LIB [--json]          each slide: name, offset, size, format, picture\n"
    "  slb check LIB|SLIDE [--json]   every problem, with its offset; exit 1 if any\n"
    "  slb info SLIDE.sld             a slide's header, size and records by kind\n"
    "  slb extract LIB NAME... [-o DIR] [--force]\n"
    "  slb extract LIB --all -o DIR [--force]\n"
    "  slb extract LIB --salvage -o DIR [--force]\n"
    "                                 write NAME.sld, byte for byte as stored; an\n"
    "                                 existing file only with --force; --salvage\n"
    "                                 takes the intact slides out of a damaged\n"
    "                                 library and names those it could not save\n"
    "  slb add LIB SLIDE.sld...       add or replace slides, in one edit\n"
    "  slb delete LIB NAME...         delete slides, in one edit\n"
    "  slb rename LIB OLD NEW         give a slide a new name, in one edit\n"
    "  slb svg SLIDE.sld [-o OUT.svg] draw a slide as SVG\n"
    "  slb svg LIB NAME [-o OUT.svg]  draw a slide of a library\n"
    "  slb png SLIDE.sld|LIB NAME [-o OUT.png] [--width PX] [--height PX]\n"
    "                                 draw a slide as PNG (--size PX: within a\n"
    "                                 square of PX, as a thumbnail)\n"
    "  slb png LIB --all -o DIR       a PNG of every slide of a library\n"
    "  slb sheet LIB [-o OUT.html] [--columns N] [--size PX]\n"
    "                                 one page with every slide of a library, and\n"
    "                                 a box that finds slides by name\n"
    "\n"
    "  --background black|white|transparent\n"
    "                 what svg, png and sheet draw on (white is for print: colour\n"
    "                 7 draws black; transparent is for png); colour 0 is always\n"
    "                 the background\n"
    "  --codepage N   the ANSI code page of slide names (950 when unset; also the\n"
    "                 environment variable ANSI_CODEPAGE)\n"
    "  -h, --help     show this text\n"
    "  --version      show the version\n"
    "\n"
    "Slide names are stored as Slbedit stores them: a slide file's name with its\n"
    "ASCII letters upper-cased, at most 31 bytes in the ANSI code page, which must\n"
    "hold it exactly. Without -o, or with -o -, svg, png and sheet write to\n"
    "standard output.\n"
    "Exit status: 0 done, 1 a problem (reported), 2 a usage error.\n";

int usageError(const std::string& message) {
  std::fprintf(stderr, "slb: %s\n%s", message.c_str(), kUsage);
  return 2;
}

int problem(const std::string& message) {
  std::fprintf(stderr, "slb: %s\n", message.c_str());
  return 1;
}

std::u16string wide(const std::string& utf8) {
  return platform::fromUtf8(utf8);
}
std::string utf8(std::u16string_view text) {
  return platform::toUtf8(text);
}

platform::Env& env() {
  return *platform::Env::defaultEnv();
}

bool readWhole(const std::string& path, std::string* bytes, std::string* error) {
  const platform::Status s = platform::readWholeFile(env(), wide(path), bytes);
  if (!s.ok()) *error = s.toString();
  return s.ok();
}

// Writes a file whole or not at all: a kill midway leaves no part of it.
// Replace::kNever refuses a name that is taken, when it is written too.
bool writeWhole(const std::string& path, std::string_view bytes, std::string* error,
                platform::Replace replace = platform::Replace::kAlways) {
  const platform::Status s = platform::writeNewFile(env(), wide(path), bytes, replace);
  if (s.kind() == platform::ErrorKind::kExists) {
    *error = path + " exists (--force writes over it)";
  } else if (!s.ok()) {
    *error = s.toString();
  }
  return s.ok();
}

// Whether something is at `path`; false with *error when that cannot be
// told.
bool taken(const std::string& path, bool* exists, std::string* error) {
  platform::FileInfo info;
  const platform::Status s = platform::lookUp(env(), wide(path), exists, &info);
  if (!s.ok()) *error = s.toString();
  return s.ok();
}

void writeOut(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// A library read whole, with its directory.
struct Library {
  std::string bytes;
  SlideDirectory directory;

  std::string_view slide(int i) const {
    const DirectoryEntry& e = directory.entries[static_cast<size_t>(i)];
    return std::string_view(bytes).substr(static_cast<size_t>(e.offset),
                                          static_cast<size_t>(e.size));
  }
  std::string name(int i) const {
    return utf8(platform::fromAnsi(directory.entries[i].nameView()));
  }
};

// An in-memory view of the library bytes as a File, for the directory read.
class BytesFile : public platform::File {
 public:
  explicit BytesFile(const std::string& bytes) : bytes_(bytes) {}
  platform::Status read(uint64_t offset, void* data, size_t n, size_t* got) override {
    *got = offset >= bytes_.size() ? 0 : std::min<uint64_t>(n, bytes_.size() - offset);
    if (*got) std::memcpy(data, bytes_.data() + offset, *got);
    return platform::Status();
  }
  platform::Status write(uint64_t, const void*, size_t) override { return denied(); }
  platform::Status size(uint64_t* size) override {
    *size = bytes_.size();
    return platform::Status();
  }
  platform::Status truncate(uint64_t) override { return denied(); }
  platform::Status sync() override { return platform::Status(); }
  platform::Status lock(uint64_t, uint64_t, int) override { return platform::Status(); }
  platform::Status stat(platform::FileInfo* info) override {
    *info = platform::FileInfo();
    info->size = bytes_.size();
    return platform::Status();
  }
  platform::Status setAttributes(uint32_t) override { return denied(); }
  platform::Status setModified(int64_t) override { return denied(); }
  platform::Status setOwner(uint32_t, uint32_t) override { return denied(); }
  platform::Status close() override { return platform::Status(); }

 private:
  static platform::Status denied() {
    return platform::Status::error(platform::ErrorKind::kAccessDenied, 0, "write", u"");
  }
  const std::string& bytes_;
};

// Reads a library; false with *error for a file that is none.
bool readLibrary(const std::string& path, Library* library, std::string* error) {
  if (!readWhole(path, &library->bytes, error)) return false;
  BytesFile file(library->bytes);
  if (!checkLibraryHeader(file).ok()) {
    *error = path + ": not a slide library (no \"AutoCAD Slide Library 1.0\" header)";
    return false;
  }
  library->directory.libraryLength = static_cast<int64_t>(library->bytes.size());
  const DirectoryFault fault = readDirectory(file, library->directory);
  if (!fault.ok()) {
    *error = path + ":" + std::to_string(fault.offset) + ": " + fault.reason;
    return false;
  }
  return true;
}

// The name to store or look up for a typed name, as Slbedit makes it.
bool storedName(const std::string& typed, std::string* name, std::string* error) {
  if (typed.empty()) {
    *error = "an empty slide name";
  } else if (!storedSlideName(wide(typed), name)) {
    *error = "the slide name \"" + typed + "\" is not in ANSI code page " +
             std::to_string(platform::ansiCodePage());
  } else if (name->size() > kMaxSlideNameLength) {
    *error = "the slide name \"" + typed + "\" is longer than 31 bytes";
  } else {
    return true;
  }
  return false;
}

int findSlide(const Library& library, const std::string& typed, std::string* error) {
  std::string name;
  if (!storedName(typed, &name, error)) return -1;
  const int index = findFirstSlide(library.directory, name);
  if (index < 0) *error = "no slide \"" + typed + "\" in the library";
  return index;
}

// "1 slide", "2 slides".
std::string slidesCount(int n) {
  return std::to_string(n) + (n == 1 ? " slide" : " slides");
}

std::string formatOf(const SlideHeader& h) {
  return std::string(h.level == 2 ? "new" : "old") + ", " +
         (h.bigEndian ? "big-endian" : "little-endian");
}

// ---------------------------------------------------------------- commands

// A string as JSON writes it.
std::string json(std::string_view utf8Text) {
  std::string out = "\"";
  for (unsigned char c : utf8Text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// The columns a name takes on a terminal: two for the wide and full-width
// characters of East Asian scripts, one for others.
size_t displayWidth(std::string_view utf8Text) {
  size_t width = 0;
  for (char16_t c : platform::fromUtf8(utf8Text)) {
    if (c >= 0xDC00 && c <= 0xDFFF) continue;  // the second half of a pair
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0xD800 && c <= 0xDBFF);
    width += wide ? 2 : 1;
  }
  return width;
}

// `text` padded with blanks to `columns` display columns.
std::string padded(const std::string& text, size_t columns) {
  const size_t width = displayWidth(text);
  return width >= columns ? text : text + std::string(columns - width, ' ');
}

// Takes --json out of the arguments.
bool takeJson(std::vector<std::string>* args) {
  auto it = std::find(args->begin(), args->end(), "--json");
  if (it == args->end()) return false;
  args->erase(it);
  return true;
}

int list(std::vector<std::string> args) {
  const bool asJson = takeJson(&args);
  if (args.size() != 1) return usageError("list takes one library");
  Library library;
  std::string error;
  if (!readLibrary(args[0], &library, &error)) return problem(error);
  struct Row {
    std::string name, format, picture;
    const DirectoryEntry* entry;
    SlidePicture parsed;
    bool slide;
  };
  std::vector<Row> rows;
  size_t nameColumns = 12;
  for (int i = 0; i < library.directory.count(); ++i) {
    Row row{library.name(i),
            "not a slide",
            "",
            &library.directory.entries[static_cast<size_t>(i)],
            {},
            false};
    std::vector<SlideProblem> problems;
    if (parseSlide(library.slide(i), &row.parsed, &problems)) {
      const SlideHeader& h = row.parsed.header;
      row.slide = true;
      row.format = formatOf(h);
      char text[64];
      std::snprintf(text, sizeof text, "%ux%u, aspect %.3f", h.highX + 1, h.highY + 1, h.aspect);
      row.picture = text;
    }
    nameColumns = std::max(nameColumns, displayWidth(row.name));
    rows.push_back(std::move(row));
  }
  if (asJson) {
    std::string out = "{\"library\": " + json(args[0]) +
                      ", \"bytes\": " + std::to_string(library.bytes.size()) + ", \"slides\": [";
    for (size_t i = 0; i < rows.size(); ++i) {
      const Row& row = rows[i];
      out += std::string(i ? ", " : "") + "{\"index\": " + std::to_string(i + 1) +
             ", \"name\": " + json(row.name) +
             ", \"offset\": " + std::to_string(row.entry->offset) +
             ", \"size\": " + std::to_string(row.entry->size) + ", \"slide\": ";
      if (row.slide) {
        const SlideHeader& h = row.parsed.header;
        char aspect[32];
        std::snprintf(aspect, sizeof aspect, "%.6g", h.aspect);
        out += std::string("{\"level\": ") + std::to_string(h.level) +
               ", \"bigEndian\": " + (h.bigEndian ? "true" : "false") +
               ", \"width\": " + std::to_string(h.highX + 1) +
               ", \"height\": " + std::to_string(h.highY + 1) + ", \"aspect\": " + aspect + "}";
      } else {
        out += "null";
      }
      out += "}";
    }
    std::printf("%s]}\n", out.c_str());
    return 0;
  }
  std::printf("%s: %s, %zu bytes\n", args[0].c_str(),
              slidesCount(library.directory.count()).c_str(), library.bytes.size());
  std::printf("%4s  %s %10s %9s  %-20s %s\n", "#", padded("name", nameColumns).c_str(), "offset",
              "size", "format", "picture");
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    std::printf("%4zu  %s %10d %9d  %-20s %s\n", i + 1, padded(row.name, nameColumns).c_str(),
                row.entry->offset, row.entry->size, row.format.c_str(), row.picture.c_str());
  }
  return 0;
}

// One slide file: its header, size and records by kind.
int info(const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("info takes one slide");
  std::string bytes, error;
  if (!readWhole(args[0], &bytes, &error)) return problem(error);
  SlidePicture picture;
  std::vector<SlideProblem> problems;
  if (!parseSlide(bytes, &picture, &problems)) return problem(args[0] + ": " + problems[0].what);
  const SlideHeader& h = picture.header;
  const SlideRecordCounts& r = picture.records;
  std::printf("%s: a slide, %zu bytes\n", args[0].c_str(), bytes.size());
  std::printf("format    %s (level %d)\n", formatOf(h).c_str(), h.level);
  std::printf("picture   %u x %u dots, aspect %.4f, fill type %u\n", h.highX + 1, h.highY + 1,
              h.aspect, h.fillType);
  std::printf(
      "records   %zu vectors, %zu offset vectors, %zu vectors from the last point,\n"
      "          %zu fill vertices (%zu solid fills), %zu colour changes\n",
      r.vectors, r.offsetVectors, r.endpointVectors, r.fillVertices,
      static_cast<size_t>(std::count_if(picture.shapes.begin(), picture.shapes.end(),
                                        [](const SlideShape& s) { return s.filled; })),
      r.colours);
  std::printf("problems  %zu%s\n", problems.size(),
              problems.empty() ? "" : " (slb check lists them)");
  return 0;
}

// What check found: where (a byte offset, when there is one), in which
// slide, and what.
struct Finding {
  bool hasOffset = true;
  uint64_t offset = 0;
  std::string slide, what;
};

void addProblems(uint64_t base, const std::string& slide, const std::vector<SlideProblem>& found,
                 std::vector<Finding>* findings) {
  for (const SlideProblem& p : found) findings->push_back({true, base + p.offset, slide, p.what});
}

int check(std::vector<std::string> args) {
  const bool asJson = takeJson(&args);
  if (args.size() != 1) return usageError("check takes one library or slide");
  std::string bytes, error;
  if (!readWhole(args[0], &bytes, &error)) return problem(error);
  std::vector<Finding> findings;
  std::string summary;
  const bool isLibrary =
      bytes.compare(0, kLibraryHeaderCompared, kLibraryHeader, kLibraryHeaderCompared) == 0;
  if (!isLibrary) {
    SlidePicture picture;
    std::vector<SlideProblem> found;
    parseSlide(bytes, &picture, &found);
    addProblems(0, "", found, &findings);
    summary = "a slide";
  } else {
    // What killed edits left: a write-over in place cut short is finished
    // from its journal first; temporary files are reported (the next edit
    // removes them).
    const LibraryCheck edits = checkLibraryEdits(env(), wide(args[0]));
    if (edits.restored) {
      std::fprintf(stderr, "%s: finished an edit that was cut short, from its journal\n",
                   args[0].c_str());
    } else if (edits.result.outcome != SlbOutcome::kDone) {
      findings.push_back(
          {false, 0, "",
           "an edit cut short could not be finished: " + edits.result.cause.toString()});
    }
    if (!edits.foreignJournal.empty()) {
      findings.push_back({false, 0, "",
                          utf8(edits.foreignJournal) +
                              ": a journal that does not match the library as it is; left alone"});
    }
    for (const std::u16string& leftover : edits.leftovers) {
      findings.push_back(
          {false, 0, "", utf8(leftover) + ": a temporary file of an edit that was killed"});
    }
    Library library;
    if (!readLibrary(args[0], &library, &error)) {
      findings.push_back({false, 0, "", error});
    } else {
      for (int i = 0; i < library.directory.count(); ++i) {
        const std::string name = library.name(i);
        const uint64_t base = static_cast<uint64_t>(library.directory.entries[i].offset);
        SlidePicture picture;
        std::vector<SlideProblem> found;
        parseSlide(library.slide(i), &picture, &found);
        addProblems(base, name, found, &findings);
        if (findFirstSlide(library.directory, library.directory.entries[i].nameView()) != i) {
          findings.push_back({true, static_cast<uint64_t>(32 + 36 * i), name,
                              "a second slide of this name, which no reader finds"});
        }
      }
      summary = slidesCount(library.directory.count());
    }
  }
  if (asJson) {
    std::string out = "{\"file\": " + json(args[0]) + ", \"problems\": [";
    for (size_t k = 0; k < findings.size(); ++k) {
      const Finding& f = findings[k];
      out += std::string(k ? ", " : "") +
             "{\"offset\": " + (f.hasOffset ? std::to_string(f.offset) : "null") +
             ", \"slide\": " + (f.slide.empty() ? "null" : json(f.slide)) +
             ", \"problem\": " + json(f.what) + "}";
    }
    std::printf("%s]}\n", out.c_str());
  } else {
    for (const Finding& f : findings) {
      if (f.hasOffset) {
        std::printf("%s:%llu: %s%s\n", args[0].c_str(), static_cast<unsigned long long>(f.offset),
                    f.slide.empty() ? "" : ("slide " + f.slide + ": ").c_str(), f.what.c_str());
      } else {
        std::printf("%s: %s\n", args[0].c_str(), f.what.c_str());
      }
    }
    if (findings.empty()) std::printf("%s: %s, no problems\n", args[0].c_str(), summary.c_str());
  }
  return findings.empty() ? 0 : 1;
}

// Takes "-o VALUE" and flags out of the arguments.
struct Options {
  std::string output;
  bool force = false, all = false, salvage = false;
  int columns = 0, size = 240, width = 0, height = 0;
  bool sizeGiven = false;
  Paper paper = Paper::kBlack;
  bool transparent = false;
  std::vector<std::string> rest;
};

// A whole number from min to max, for an option.
bool numberOption(const std::string& text, int min, int max, int* value) {
  if (text.empty() || text.size() > 6 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *value = std::atoi(text.c_str());
  return *value >= min && *value <= max;
}

bool parseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (i + 1 == args.size()) {
        *error = "-o needs a name";
        return false;
      }
      options->output = args[++i];
    } else if (args[i] == "--columns" || args[i] == "--size") {
      const bool columns = args[i] == "--columns";
      if (i + 1 == args.size() || !numberOption(args[i + 1], columns ? 1 : 16, columns ? 100 : 4096,
                                                columns ? &options->columns : &options->size)) {
        *error = args[i] + (columns ? " needs a number of columns from 1 to 100"
                                    : " needs a number of pixels from 16 to 4096");
        return false;
      }
      options->sizeGiven = options->sizeGiven || !columns;
      ++i;
    } else if (args[i] == "--width" || args[i] == "--height") {
      if (i + 1 == args.size() ||
          !numberOption(args[i + 1], 1, 16384,
                        args[i] == "--width" ? &options->width : &options->height)) {
        *error = args[i] + " needs a number of pixels from 1 to 16384";
        return false;
      }
      ++i;
    } else if (args[i] == "--background") {
      const std::string value = i + 1 < args.size() ? args[i + 1] : "";
      if (value != "black" && value != "white" && value != "transparent") {
        *error = "--background is black, white or transparent";
        return false;
      }
      options->paper = value == "white" ? Paper::kWhite : Paper::kBlack;
      options->transparent = value == "transparent";
      ++i;
    } else if (args[i] == "--force") {
      options->force = true;
    } else if (args[i] == "--all") {
      options->all = true;
    } else if (args[i] == "--salvage") {
      options->salvage = true;
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      *error = "unknown option " + args[i];
      return false;
    } else {
      options->rest.push_back(args[i]);
    }
  }
  return true;
}

bool fileNameAllowed(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) return false;
  }
  return true;
}

// Makes `folder` and the folders on the way to it; false with *error.
bool makeFolders(const std::string& folder, std::string* error) {
  const std::u16string out = wide(folder);
  for (size_t at = 0; !out.empty() && at != std::u16string::npos;) {
    at = out.find_first_of(u"/\\", at + 1);
    const std::u16string part = out.substr(0, at);
    bool exists = false;
    platform::FileInfo info;
    platform::Status made = platform::lookUp(env(), part, &exists, &info);
    if (made.ok() && exists) continue;
    if (made.ok()) made = env().createDirectory(part);
    if (!made.ok()) {
      *error = made.toString();
      return false;
    }
  }
  return true;
}

// Writes each (path, bytes) into `folder`, made first with the folders on the
// way, and names them on standard output. Each file is whole or not there;
// and all or nothing: a failure midway removes what this run wrote (files
// that --force wrote over are gone either way).
bool writeAllOrNothing(const std::string& folder,
                       const std::vector<std::pair<std::string, std::string_view>>& files,
                       std::string* error, platform::Replace replace = platform::Replace::kAlways) {
  if (!makeFolders(folder, error)) return false;
  for (size_t k = 0; k < files.size(); ++k) {
    if (!writeWhole(files[k].first, files[k].second, error, replace)) {
      for (size_t done = 0; done < k; ++done) env().removeFile(wide(files[done].first));
      return false;
    }
  }
  for (const auto& file : files) std::printf("%s\n", file.first.c_str());
  return true;
}

// Takes every intact slide out of a damaged library: the directory is read
// as far as its entries make sense (names that end, offsets inside the
// file), each slide runs to the next slide's offset or the end, and a slide
// is saved when it reads whole up to its end record. The slides that could
// not be saved are named on standard error.
int salvage(const Options& options) {
  std::string bytes, error;
  if (!readWhole(options.rest[0], &bytes, &error)) return problem(error);
  if (bytes.compare(0, kLibraryHeaderCompared, kLibraryHeader, kLibraryHeaderCompared) != 0) {
    return problem(options.rest[0] +
                   ": not a slide library (no \"AutoCAD Slide Library 1.0\" header)");
  }
  struct Entry {
    std::string name;  // UTF-8
    uint64_t offset;
  };
  std::vector<Entry> entries;
  std::vector<std::string> badEntries;
  uint64_t directoryEnd = bytes.size();
  for (uint64_t at = kLibraryHeaderSize;
       at + kDirectoryEntrySize <= bytes.size() && at < directoryEnd; at += kDirectoryEntrySize) {
    const std::string_view raw(bytes.data() + at, kDirectoryEntrySize);
    if (raw.find_first_not_of('\0') == std::string_view::npos) break;  // the terminator
    const int32_t offset =
        static_cast<int32_t>(platform::decodeFixed32(bytes.data() + at + kSlideNameSize));
    const size_t nameEnd = raw.substr(0, kSlideNameSize).find('\0');
    std::string name = nameEnd == std::string_view::npos || nameEnd == 0
                           ? ""
                           : utf8(platform::fromAnsi(raw.substr(0, nameEnd)));
    if (offset <= static_cast<int32_t>(at) || static_cast<uint64_t>(offset) >= bytes.size()) {
      badEntries.push_back((name.empty() ? "the entry at " + std::to_string(at) : name) +
                           ": its offset " + std::to_string(offset) + " is outside the library");
      continue;
    }
    directoryEnd = std::min<uint64_t>(directoryEnd, static_cast<uint64_t>(offset));
    entries.push_back({name, static_cast<uint64_t>(offset)});
  }
  std::vector<uint64_t> starts;
  for (const Entry& e : entries) starts.push_back(e.offset);
  std::sort(starts.begin(), starts.end());
  std::vector<std::pair<std::string, std::string_view>> saved;  // file, bytes
  std::vector<std::string> lost = badEntries;
  int unnamed = 0;
  for (const Entry& e : entries) {
    const auto next = std::upper_bound(starts.begin(), starts.end(), e.offset);
    const uint64_t end = next == starts.end() ? bytes.size() : *next;
    const std::string_view slide = std::string_view(bytes).substr(e.offset, end - e.offset);
    SlidePicture picture;
    std::vector<SlideProblem> problems;
    const bool whole = parseSlide(slide, &picture, &problems) && picture.end > 0 &&
                       std::all_of(problems.begin(), problems.end(), [&](const SlideProblem& p) {
                         return p.offset >= picture.end;  // only bytes after the end record
                       });
    const std::string name = e.name.empty() ? "UNNAMED" + std::to_string(++unnamed) : e.name;
    if (!whole || !fileNameAllowed(name)) {
      lost.push_back(name + (whole ? ": no file name"
                                   : ": " + (problems.empty() ? std::string("unreadable")
                                                              : problems[0].what)));
      continue;
    }
    saved.emplace_back(options.output + "/" + name + ".sld",
                       slide.substr(0, static_cast<size_t>(picture.end)));
  }
  for (const auto& [target, data] : saved) {
    bool exists = false;
    if (!taken(target, &exists, &error)) return problem(error);
    if (!options.force && exists) return problem(target + " exists (--force writes over it)");
  }
  if (!writeAllOrNothing(options.output, saved, &error,
                         options.force ? platform::Replace::kAlways : platform::Replace::kNever)) {
    return problem(error + "; nothing extracted");
  }
  for (const std::string& name : lost) {
    std::fprintf(stderr, "slb: not saved: %s\n", name.c_str());
  }
  return lost.empty() ? 0 : 1;
}

int extract(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.empty()) return usageError("extract takes a library");
  if (options.salvage) {
    if (options.rest.size() != 1 || options.output.empty()) {
      return usageError("extract --salvage takes a library and -o DIR");
    }
    return salvage(options);
  }
  if (options.all ? options.rest.size() != 1 || options.output.empty() : options.rest.size() < 2) {
    return usageError("extract takes a library and names, or --all and -o DIR");
  }
  Library library;
  if (!readLibrary(options.rest[0], &library, &error)) return problem(error);
  std::vector<int> chosen;
  if (options.all) {
    for (int i = 0; i < library.directory.count(); ++i) chosen.push_back(i);
  } else {
    for (size_t k = 1; k < options.rest.size(); ++k) {
      const int i = findSlide(library, options.rest[k], &error);
      if (i < 0) return problem(error);
      chosen.push_back(i);
    }
  }
  // Every name is checked before anything is written.
  std::vector<std::string> targets;
  const std::string folder = options.output.empty() ? "" : options.output + "/";
  for (int i : chosen) {
    const std::string name = library.name(i);
    if (!fileNameAllowed(name)) return problem("the slide name \"" + name + "\" is no file name");
    targets.push_back(folder + name + ".sld");
    bool exists = false;
    if (!taken(targets.back(), &exists, &error)) return problem(error);
    if (!options.force && exists)
      return problem(targets.back() + " exists (--force writes over it)");
  }
  std::vector<std::pair<std::string, std::string_view>> files;
  for (size_t k = 0; k < chosen.size(); ++k)
    files.emplace_back(targets[k], library.slide(chosen[k]));
  if (!writeAllOrNothing(options.output, files, &error,
                         options.force ? platform::Replace::kAlways : platform::Replace::kNever)) {
    return problem(error + "; nothing extracted");
  }
  return 0;
}

// What every edit says when the library was not a library, or was not
// changed.
int editFailure(const std::string& library, const SlbResult& result) {
  switch (result.outcome) {
    case SlbOutcome::kNotALibrary:
      if (!result.fault.reason) return problem(library + ": " + result.cause.toString());
      return problem(library + ": not a slide library (" + result.fault.reason + ")");
    case SlbOutcome::kDamaged:
      return problem(library + " was not fully written; the new library is kept in " +
                     utf8(result.keptPath));
    case SlbOutcome::kNotSynced:
      return problem(library +
                     " was changed, but may not survive a power loss: " + result.cause.toString());
    case SlbOutcome::kJournalKept:
      return problem(library + " was changed, but its journal " + utf8(result.keptPath) +
                     " could not be removed: " + result.cause.toString());
    default:
      return problem(library + " not changed: " + result.cause.toString());
  }
}

int edit(const std::vector<std::string>& args, bool adding) {
  if (args.size() < 2)
    return usageError(adding ? "add takes a library and slides"
                             : "delete takes a library and names");
  LibraryEdit change;
  change.libraryPath = wide(args[0]);
  std::string error;
  for (size_t k = 1; k < args.size(); ++k) {
    std::string name;
    const std::string typed = adding ? utf8(platform::splitPath(wide(args[k])).name) : args[k];
    if (!storedName(typed, &name, &error)) return problem(error);
    if (adding) {
      change.add.emplace_back(wide(args[k]), name);
    } else if (std::none_of(change.remove.begin(), change.remove.end(), [&](const std::string& n) {
                 return platform::compareIgnoringCase(n, name) == 0;
               })) {
      change.remove.push_back(name);  // a name given twice deletes one slide
    }
  }
  SlideDirectory directory;
  const SlbResult result = editLibrary(env(), change, directory);
  const std::string subject = utf8(result.subject);
  switch (result.outcome) {
    case SlbOutcome::kDone:
      std::printf(
          "%s: %s; %s now\n", args[0].c_str(),
          adding ? (result.created ? "made, slides added" : "slides added") : "slides deleted",
          slidesCount(directory.count()).c_str());
      return 0;
    case SlbOutcome::kSlideNotFound:
      return problem("no slide \"" + subject + "\" in " + args[0] + "; nothing deleted");
    case SlbOutcome::kSlideMissing:
      return problem("cannot read " + subject + "; nothing added");
    case SlbOutcome::kNotASlide:
      return problem(subject + " is not a slide; nothing added");
    case SlbOutcome::kEmptyName:
      return problem(subject + " has an empty name");
    case SlbOutcome::kLibraryTooLarge:
      return problem(args[0] + " would pass 2 GiB; nothing added");
    default:
      return editFailure(args[0], result);
  }
}

int rename(const std::vector<std::string>& args) {
  if (args.size() != 3) return usageError("rename takes a library, a slide's name and a new name");
  LibraryEdit change;
  change.libraryPath = wide(args[0]);
  std::string error;
  if (!storedName(args[1], &change.renameFrom, &error)) return problem(error);
  std::string upper;
  if (!storedName(args[2], &upper, &error)) return problem(error);
  change.renameTo = upper;  // stored as slb add stores names: ASCII letters upper case
  SlideDirectory directory;
  const SlbResult result = editLibrary(env(), change, directory);
  switch (result.outcome) {
    case SlbOutcome::kDone:
      std::printf("%s: %s is now %s\n", args[0].c_str(), args[1].c_str(), upper.c_str());
      return 0;
    case SlbOutcome::kSlideNotFound:
      return problem("no slide \"" + args[1] + "\" in " + args[0] + "; nothing renamed");
    case SlbOutcome::kNameTaken:
      return problem(args[0] + " already has a slide \"" + args[2] + "\"; nothing renamed");
    case SlbOutcome::kLibraryUnopened:
      return problem("cannot open " + args[0] + ": " + result.cause.toString());
    default:
      return editFailure(args[0], result);
  }
}

bool emit(const std::string& output, const std::string& text, std::string* error) {
  if (output.empty() || output == "-") {
    writeOut(text);
    return true;
  }
  return writeWhole(output, text, error);
}

// The slide `name` of a library, or a slide file (name empty): its bytes
// and title.
bool slideBytes(const Options& options, std::string* bytes, std::string* title,
                std::string* error) {
  if (options.rest.size() == 1) {
    if (!readWhole(options.rest[0], bytes, error)) return false;
    *title = utf8(platform::splitPath(wide(options.rest[0])).name);
    return true;
  }
  Library library;
  if (!readLibrary(options.rest[0], &library, error)) return false;
  const int i = findSlide(library, options.rest[1], error);
  if (i < 0) return false;
  *bytes = library.slide(i);
  *title = library.name(i);
  return true;
}

// The picture of the slide the options name (a slide file, or a library
// and a name), with its title; false with *error when there is none.
bool readPicture(const Options& options, SlidePicture* picture, std::string* title,
                 std::string* error) {
  std::string bytes;
  if (!slideBytes(options, &bytes, title, error)) return false;
  std::vector<SlideProblem> problems;
  if (parseSlide(bytes, picture, &problems)) return true;
  *error = *title + ": " + problems[0].what;
  return false;
}

int svg(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.empty() || options.rest.size() > 2) {
    return usageError("svg takes a slide, or a library and a name");
  }
  std::string title;
  SlidePicture picture;
  if (!readPicture(options, &picture, &title, &error)) return problem(error);
  if (!emit(options.output, renderSvg(picture, title, options.paper), &error)) {
    return problem(error);
  }
  return 0;
}

PngBackground pngBackground(const Options& options) {
  if (options.transparent) return PngBackground::kTransparent;
  return options.paper == Paper::kWhite ? PngBackground::kWhite : PngBackground::kBlack;
}

int png(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (!pngAvailable()) {
    std::string unavailable;
    renderPng(SlidePicture(), 0, 0, PngBackground::kBlack, nullptr, &unavailable);
    return problem(unavailable);
  }
  if (options.all) {
    if (options.rest.size() != 1 || options.output.empty() || options.output == "-") {
      return usageError("png --all takes a library and -o DIR");
    }
    Library library;
    if (!readLibrary(options.rest[0], &library, &error)) return problem(error);
    std::vector<std::string> images;
    std::vector<std::pair<std::string, std::string_view>> pictures;  // file, PNG
    for (int i = 0; i < library.directory.count(); ++i) {
      const std::string name = library.name(i);
      if (!fileNameAllowed(name)) return problem("the slide name \"" + name + "\" is no file name");
      SlidePicture picture;
      std::vector<SlideProblem> problems;
      if (!parseSlide(library.slide(i), &picture, &problems)) {
        return problem(name + ": " + problems[0].what);
      }
      std::string bytes;
      if (!renderPng(picture, options.width, options.height, pngBackground(options), &bytes,
                     &error)) {
        return problem(name + ": " + error);
      }
      images.push_back(std::move(bytes));
    }
    for (int i = 0; i < library.directory.count(); ++i) {
      pictures.emplace_back(options.output + "/" + library.name(i) + ".png", images[i]);
    }
    if (!writeAllOrNothing(options.output, pictures, &error)) {
      return problem(error + "; no picture written");
    }
    return 0;
  }
  if (options.rest.empty() || options.rest.size() > 2) {
    return usageError("png takes a slide, or a library and a name, or a library and --all");
  }
  std::string title;
  SlidePicture picture;
  if (!readPicture(options, &picture, &title, &error)) return problem(error);
  // --size PX fits the picture in a square of PX (a thumbnail).
  int width = options.width, height = options.height;
  if (options.sizeGiven && width == 0 && height == 0) {
    const auto [ownWidth, ownHeight] = displaySize(picture.header);
    (ownWidth >= ownHeight ? width : height) = options.size;
  }
  std::string image;
  if (!renderPng(picture, width, height, pngBackground(options), &image, &error)) {
    return problem(title + ": " + error);
  }
  if (!emit(options.output, image, &error)) return problem(error);
  return 0;
}

int sheet(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.size() != 1) return usageError("sheet takes one library");
  Library library;
  if (!readLibrary(options.rest[0], &library, &error)) return problem(error);
  std::vector<SheetSlide> slides;
  for (int i = 0; i < library.directory.count(); ++i) {
    slides.push_back({library.name(i), library.slide(i)});
  }
  const std::string title = utf8(platform::splitPath(wide(options.rest[0])).name);
  SheetOptions sheetOptions;
  sheetOptions.columns = options.columns;
  sheetOptions.cellWidth = options.size;
  sheetOptions.paper = options.paper;
  if (!emit(options.output, renderSheet(title, slides, sheetOptions), &error)) {
    return problem(error);
  }
  return 0;
}

int run(std::vector<std::string> args) {
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "list") return list(args);
  if (command == "check") return check(args);
  if (command == "extract") return extract(args);
  if (command == "add") return edit(args, true);
  if (command == "delete") return edit(args, false);
  if (command == "svg") return svg(args);
  if (command == "sheet") return sheet(args);
  if (command == "png") return png(args);
  if (command == "info") return info(args);
  if (command == "rename") return rename(args);
  return usageError("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv) {
  platform::removeTemporaryFilesOnSignals();
  cli::binaryStandardStreams();
  std::vector<std::string> args = cli::arguments(argc, argv);
  args.erase(args.begin());
  // Options that apply to every command.
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-h" || args[i] == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (args[i] == "--version") {
      std::printf("slb %s\n", ZC_VERSION);
      return 0;
    }
    if (args[i] == "--codepage") {
      std::string problem;
      if (!cli::useCodePage(i + 1 < args.size() ? args[i + 1] : "", &problem)) {
        return usageError(problem);
      }
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                 args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
      --i;
    }
  }
  if (const std::string problem = cli::codePageVariableProblem(); !problem.empty()) {
    return usageError(problem);
  }
  if (args.empty()) return usageError("a command is needed");
  const int status = run(args);
  // What the command wrote must have reached its reader: output that
  // cannot be written (a full disk, a closed pipe) is a failure.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "slb: cannot write standard output: %s\n", std::strerror(errno));
    return status == 0 ? 1 : status;
  }
  return status;
}
