// slb: lists, checks, takes apart, edits and draws AutoCAD slide libraries.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/escapes.h"
#include "platform/coding.h"
#include "platform/env.h"
#include "platform/file_writes.h"
#include "platform/path.h"
#include "platform/text.h"
#include "slb/slide_png.h"
#include "slb/slide_render.h"
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
    "                                 library and names those it could not save.\n"
    "                                 Each slide is written once; a name that\n"
    "                                 would take the file of another (letter case\n"
    "                                 aside) or a device's name (CON, NUL, ...) is\n"
    "                                 left out and named, and the exit status is 1\n"
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
    "  --width PX, --height PX, --size PX\n"
    "                 the size of a picture (svg, png): 1024 pixels on its longer\n"
    "                 side unless given; given one side, the other follows the\n"
    "                 slide's aspect ratio, which is all its header decides;\n"
    "                 --size fits the picture in a square of PX (for sheet: the\n"
    "                 width of a cell); at most 16384 pixels a side\n"
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
    "hold it exactly. Names and messages show control and bidirectional\n"
    "formatting characters escaped (\\x1b, \\u202e); --json escapes them as JSON\n"
    "does. Without -o, or with -o -, svg, png and sheet write to standard output.\n"
    "Exit status: 0 done, 1 a problem (reported), 2 a usage error.\n";

// Text from a file or the command line as a terminal may show it.
std::string shown(std::string_view text) {
  return cli::terminalText(text);
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "slb: %s\n%s", shown(message).c_str(), kUsage);
  return 2;
}

int problem(const std::string& message) {
  std::fprintf(stderr, "slb: %s\n", shown(message).c_str());
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

// Opens a file to read, with its length; false with *error.
bool openRead(const std::string& path, std::unique_ptr<platform::File>* file, uint64_t* length,
              std::string* error) {
  platform::Status s = env().openFile(wide(path), platform::OpenMode::kRead, file);
  if (s.ok()) s = (*file)->size(length);
  if (!s.ok()) *error = s.toString();
  return s.ok();
}

// Opens a slide file, as openRead. A file longer than 2 GiB is none: no
// library holds one, and slb add takes none.
bool openSlide(const std::string& path, std::unique_ptr<platform::File>* file, uint64_t* length,
               std::string* error) {
  if (!openRead(path, file, length, error)) return false;
  if (*length <= kMaxLibraryLength) return true;
  *error = path + ": " + std::to_string(*length) + " bytes, more than a slide has (2 GiB at most)";
  return false;
}

// Reads a file front to back a piece at a time, as directories are walked:
// memory holds one piece, however long the walk.
class Pieces {
 public:
  explicit Pieces(platform::File& file) : file_(file), piece_(size_t{1} << 16) {}
  // The `n` bytes at `offset` (n at most a piece), or null when fewer are
  // there or they cannot be read (see cause()).
  const unsigned char* at(uint64_t offset, size_t n) {
    if (offset < start_ || offset + n > start_ + filled_) {
      start_ = offset;
      cause_ = platform::readFully(file_, offset, piece_.data(), piece_.size(), &filled_);
      if (!cause_.ok()) filled_ = 0;
      if (n > filled_) return nullptr;
    }
    return piece_.data() + (offset - start_);
  }
  const platform::Status& cause() const { return cause_; }

 private:
  platform::File& file_;
  std::vector<unsigned char> piece_;
  uint64_t start_ = 0;
  size_t filled_ = 0;
  platform::Status cause_;
};

// readDirectory takes in the whole directory that a library's first offset
// declares before it looks at an entry: up to 2 GiB of zeros from a sparse
// file whose first offset is near the end. A directory that large is first
// looked through here, a piece at a time, for the first empty name (where
// every reader's directory ends); a fault there is the library's.
DirectoryFault emptyNameInLargeDirectory(platform::File& file, uint64_t length) {
  constexpr uint64_t kLargeDirectory = uint64_t{1} << 20;
  DirectoryFault fault;
  Pieces pieces(file);
  const unsigned char* first = pieces.at(kLibraryHeaderSize, kDirectoryEntrySize);
  if (!first) return fault;  // readDirectory says what is wrong
  const int64_t firstOffset = static_cast<int32_t>(platform::decodeFixed32(first + kSlideNameSize));
  if (firstOffset <= static_cast<int64_t>(kLargeDirectory) ||
      static_cast<uint64_t>(firstOffset) > length) {
    return fault;
  }
  const uint64_t end = static_cast<uint64_t>(firstOffset) - kDirectoryEntrySize;
  for (uint64_t at = kLibraryHeaderSize; at + kDirectoryEntrySize <= end;
       at += kDirectoryEntrySize) {
    const unsigned char* entry = pieces.at(at, kDirectoryEntrySize);
    if (!entry) break;
    if (entry[0] == '\0') {
      fault.offset = at;
      fault.reason = "empty name";
      return fault;
    }
  }
  return fault;
}

// An open library with its directory; its slides are read when wanted.
struct Library {
  std::unique_ptr<platform::File> file;
  SlideDirectory directory;

  uint64_t length() const { return static_cast<uint64_t>(directory.libraryLength); }
  const DirectoryEntry& entry(int i) const { return directory.entries[static_cast<size_t>(i)]; }
  SlideSource slide(int i) const {
    return SlideSource(*file, static_cast<uint64_t>(entry(i).offset),
                       static_cast<uint64_t>(entry(i).size));
  }
  std::string name(int i) const { return utf8(platform::fromAnsi(entry(i).nameView())); }
};

// Opens a library and reads its directory (and nothing more); false with
// *error for a file that is none.
bool readLibrary(const std::string& path, Library* library, std::string* error) {
  uint64_t length = 0;
  if (!openRead(path, &library->file, &length, error)) return false;
  const platform::Status header = checkLibraryHeader(*library->file);
  if (header.kind() == platform::ErrorKind::kCorrupt) {
    *error = path + ": not a slide library (no \"AutoCAD Slide Library 1.0\" header)";
    return false;
  }
  if (!header.ok()) {
    *error = header.toString();
    return false;
  }
  library->directory.libraryLength = static_cast<int64_t>(length);
  DirectoryFault fault;
  if (length <= kMaxLibraryLength) fault = emptyNameInLargeDirectory(*library->file, length);
  if (fault.ok()) fault = readDirectory(*library->file, library->directory);
  if (!fault.ok()) {
    *error = path + ":" + std::to_string(fault.offset) + ": " + fault.reason;
    if (!fault.cause.ok()) *error += ": " + fault.cause.toString();
    return false;
  }
  // Entries at one offset name one slide (some writers store a slide so
  // under two names): each reads it up to the next larger offset.
  std::vector<DirectoryEntry>& entries = library->directory.entries;
  for (size_t i = entries.size(); i-- > 1;) {
    if (entries[i - 1].offset == entries[i].offset) entries[i - 1].size = entries[i].size;
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

using cli::jsonString;

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

// Reads a slide's header only.
class HeaderOnly : public SlideVisitor {
 public:
  bool header(const SlideHeader&) override { return false; }
};

// Each slide of a library, written out as its header is read.
int list(std::vector<std::string> args) {
  const bool asJson = takeJson(&args);
  if (args.size() != 1) return usageError("list takes one library");
  Library library;
  std::string error;
  if (!readLibrary(args[0], &library, &error)) return problem(error);
  const int count = library.directory.count();
  size_t nameColumns = 12;
  if (asJson) {
    std::printf("{\"library\": %s, \"bytes\": %llu, \"slides\": [", jsonString(args[0]).c_str(),
                static_cast<unsigned long long>(library.length()));
  } else {
    for (int i = 0; i < count; ++i) {
      nameColumns = std::max(nameColumns, displayWidth(shown(library.name(i))));
    }
    std::printf("%s: %s, %llu bytes\n", shown(args[0]).c_str(), slidesCount(count).c_str(),
                static_cast<unsigned long long>(library.length()));
    std::printf("%4s  %s %10s %9s  %-20s %s\n", "#", padded("name", nameColumns).c_str(), "offset",
                "size", "format", "picture");
  }
  for (int i = 0; i < count; ++i) {
    const DirectoryEntry& entry = library.entry(i);
    HeaderOnly headerOnly;
    const SlideScan scan = scanSlide(library.slide(i), headerOnly);
    if (!scan.cause.ok()) return problem(scan.cause.toString());
    const SlideHeader& h = scan.header;
    if (asJson) {
      std::string slide = "null";
      if (scan.isSlide) {
        char aspect[32];
        std::snprintf(aspect, sizeof aspect, "%.6g", h.aspect);
        slide = std::string("{\"level\": ") + std::to_string(h.level) +
                ", \"bigEndian\": " + (h.bigEndian ? "true" : "false") +
                ", \"width\": " + std::to_string(h.highX + 1) +
                ", \"height\": " + std::to_string(h.highY + 1) + ", \"aspect\": " + aspect + "}";
      }
      std::printf("%s{\"index\": %d, \"name\": %s, \"offset\": %d, \"size\": %d, \"slide\": %s}",
                  i ? ", " : "", i + 1, jsonString(library.name(i)).c_str(), entry.offset,
                  entry.size, slide.c_str());
      continue;
    }
    std::string format = "not a slide", picture;
    if (scan.isSlide) {
      format = formatOf(h);
      char text[64];
      std::snprintf(text, sizeof text, "%ux%u, aspect %.3f", h.highX + 1, h.highY + 1, h.aspect);
      picture = text;
    }
    std::printf("%4d  %s %10d %9d  %-20s %s\n", i + 1,
                padded(shown(library.name(i)), nameColumns).c_str(), entry.offset, entry.size,
                format.c_str(), picture.c_str());
  }
  if (asJson) std::printf("]}\n");
  return 0;
}

// One slide file: its header, size and records by kind.
int info(const std::vector<std::string>& args) {
  if (args.size() != 1) return usageError("info takes one slide");
  std::unique_ptr<platform::File> file;
  uint64_t length = 0;
  std::string error;
  if (!openSlide(args[0], &file, &length, &error)) return problem(error);
  SlideVisitor counter;  // the scan counts records and problems
  const SlideScan scan = scanSlide(SlideSource(*file, 0, length), counter);
  if (!scan.cause.ok()) return problem(scan.cause.toString());
  if (!scan.isSlide) return problem(args[0] + ": " + scan.first.what);
  const SlideHeader& h = scan.header;
  const SlideRecordCounts& r = scan.records;
  std::printf("%s: a slide, %llu bytes\n", shown(args[0]).c_str(),
              static_cast<unsigned long long>(length));
  std::printf("format    %s (level %d)\n", formatOf(h).c_str(), h.level);
  std::printf("picture   %u x %u dots, aspect %.4f, fill type %u\n", h.highX + 1, h.highY + 1,
              h.aspect, h.fillType);
  std::printf(
      "records   %zu vectors, %zu offset vectors, %zu vectors from the last point,\n"
      "          %zu fill vertices (%zu solid fills), %zu colour changes\n",
      r.vectors, r.offsetVectors, r.endpointVectors, r.fillVertices, r.fills, r.colours);
  std::printf("problems  %zu%s\n", scan.problems,
              scan.problems == 0 ? "" : " (slb check lists them)");
  return 0;
}

// A stored name with the ASCII letters of its one-byte characters
// upper-cased: equal for the names that findFirstSlide takes for one.
std::string foldedName(std::string_view name, const platform::AnsiCharacters& characters) {
  std::string folded(name);
  for (size_t at = 0; at < folded.size();) {
    const size_t length = characters.lengthAt(folded, at);
    if (length == 1 && folded[at] >= 'a' && folded[at] <= 'z') folded[at] -= 'a' - 'A';
    at += length;
  }
  return folded;
}

// What check found, written out as it is found: where (a byte offset, when
// there is one), in which slide, and what.
class Findings {
 public:
  Findings(const std::string& file, bool asJson) : file_(file), json_(asJson) {
    if (json_) std::printf("{\"file\": %s, \"problems\": [", jsonString(file_).c_str());
  }

  void add(const std::string& what, const std::string& slide = "") { write(false, 0, slide, what); }
  void add(uint64_t offset, const std::string& slide, const std::string& what) {
    write(true, offset, slide, what);
  }

  // Ends the report; `summary` says what the file is when nothing was found.
  // The exit status.
  int finish(const std::string& summary) {
    if (json_) {
      std::printf("]}\n");
    } else if (count_ == 0) {
      std::printf("%s: %s, no problems\n", shown(file_).c_str(), summary.c_str());
    }
    return count_ == 0 ? 0 : 1;
  }

 private:
  void write(bool hasOffset, uint64_t offset, const std::string& slide, const std::string& what) {
    if (json_) {
      std::printf("%s{\"offset\": %s, \"slide\": %s, \"problem\": %s}", count_ ? ", " : "",
                  hasOffset ? std::to_string(offset).c_str() : "null",
                  slide.empty() ? "null" : jsonString(slide).c_str(), jsonString(what).c_str());
    } else {
      const std::string where = hasOffset ? ":" + std::to_string(offset) : "";
      std::printf("%s\n", shown(file_ + where + ": " +
                                (slide.empty() ? "" : "slide " + slide + ": ") + what)
                              .c_str());
    }
    ++count_;
  }

  std::string file_;
  bool json_;
  size_t count_ = 0;
};

// Hands a slide's problems on to the findings, at their offsets in the file.
class ProblemsToFindings : public SlideVisitor {
 public:
  ProblemsToFindings(Findings& findings, uint64_t base, const std::string& slide)
      : findings_(findings), base_(base), slide_(slide) {}
  void problem(const SlideProblem& p) override { findings_.add(base_ + p.offset, slide_, p.what); }

 private:
  Findings& findings_;
  uint64_t base_;
  std::string slide_;  // a copy: check passes a temporary for a slide file
};

int check(std::vector<std::string> args) {
  const bool asJson = takeJson(&args);
  if (args.size() != 1) return usageError("check takes one library or slide");
  uint64_t length = 0;
  std::string error;
  std::unique_ptr<platform::File> file;
  if (!openRead(args[0], &file, &length, &error)) return problem(error);
  char start[kLibraryHeaderCompared] = {};
  size_t got = 0;
  const platform::Status read = platform::readFully(*file, 0, start, sizeof start, &got);
  if (!read.ok()) return problem(read.toString());
  Findings findings(args[0], asJson);
  if (got < sizeof start || std::memcmp(start, kLibraryHeader, sizeof start) != 0) {
    if (length > kMaxLibraryLength) {
      findings.add(std::to_string(length) + " bytes, more than a slide has (2 GiB at most)");
    } else {
      ProblemsToFindings report(findings, 0, "");
      const SlideScan scan = scanSlide(SlideSource(*file, 0, length), report);
      if (!scan.cause.ok()) findings.add(scan.cause.toString());
    }
    return findings.finish("a slide");
  }
  file.reset();  // an edit cut short may have to be finished in place
  // What killed edits left: a write-over in place cut short is finished
  // from its journal first; temporary files are reported (the next edit
  // removes them).
  const LibraryCheck edits = checkLibraryEdits(env(), wide(args[0]));
  if (edits.restored) {
    std::fprintf(stderr, "%s: finished an edit that was cut short, from its journal\n",
                 shown(args[0]).c_str());
  } else if (edits.result.outcome != SlbOutcome::kDone) {
    findings.add("an edit cut short could not be finished: " + edits.result.cause.toString());
  }
  if (!edits.foreignJournal.empty()) {
    findings.add(utf8(edits.foreignJournal) +
                 ": a journal that does not match the library as it is; left alone");
  }
  for (const std::u16string& leftover : edits.leftovers) {
    findings.add(utf8(leftover) + ": a temporary file of an edit that was killed");
  }
  Library library;
  if (!readLibrary(args[0], &library, &error)) {
    findings.add(error);
    return findings.finish("");
  }
  std::map<int32_t, std::string> checked;  // offset, and the name it was checked under
  std::map<std::string, int> firstNamed;   // names with their letters folded
  const platform::AnsiCharacters characters;
  for (int i = 0; i < library.directory.count(); ++i) {
    const std::string name = library.name(i);
    const auto [first, added] = checked.emplace(library.entry(i).offset, name);
    if (!added) {
      // Each slide is read once, however many entries name it.
      findings.add(static_cast<uint64_t>(32 + 36 * i), name,
                   "the slide of " + first->second + " again, with no bytes of its own");
    } else {
      ProblemsToFindings report(findings, static_cast<uint64_t>(library.entry(i).offset), name);
      const SlideScan scan = scanSlide(library.slide(i), report);
      if (!scan.cause.ok()) findings.add(scan.cause.toString(), name);
    }
    if (!firstNamed.emplace(foldedName(library.entry(i).nameView(), characters), i).second) {
      findings.add(static_cast<uint64_t>(32 + 36 * i), name,
                   "a second slide of this name, which no reader finds");
    }
  }
  return findings.finish(slidesCount(library.directory.count()));
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

  // The size of a picture the options ask for.
  PictureSize pictureSize() const {
    PictureSize asked;
    asked.width = width;
    asked.height = height;
    asked.within = sizeGiven ? size : 0;
    return asked;
  }
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

// A file name for a slide: one that Windows takes.
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
  for (const auto& file : files) std::printf("%s\n", cli::terminalText(file.first).c_str());
  return true;
}

// The files one run writes into a folder, each slide's NAME.EXT: no name is
// written twice, compared as the file system of the output compares them
// (ignoring case, as Windows does, and as slide names are compared), and no
// name is written that no file may have.
class FileNames {
 public:
  // Empty when `name`.`extension` may be written, which is then taken;
  // otherwise why not.
  std::string refusal(const std::string& name, const std::string& extension) {
    const std::string file = name + extension;
    if (!fileNameAllowed(name)) return "no file name";
    // The files written are named on standard output as they are.
    if (shown(name) != name) return "a name with control or bidirectional formatting characters";
    if (platform::isReservedName(wide(file))) return "a device's name on Windows";
    const auto [at, added] = taken_.emplace(platform::toUpperWide(wide(file)), name);
    if (!added) return "the same file name as " + at->second;
    return "";
  }

 private:
  std::map<std::u16string, std::string> taken_;  // file names upper-cased, and whose
};

// Slides to write into a folder, each once: entries at one offset share
// one slide, which is written under the first name that may be written.
class Outgoing {
 public:
  explicit Outgoing(std::string extension) : extension_(std::move(extension)) {}

  // Whether the slide at `offset` goes out under `name`; when not, why not
  // is kept for report().
  bool take(const std::string& name, int64_t offset) {
    if (const auto it = written_.find(offset); it != written_.end()) {
      refused_.push_back(name + ": the same slide as " + it->second);
      return false;
    }
    const std::string why = names_.refusal(name, extension_);
    if (!why.empty()) {
      refused_.push_back(name + ": " + why);
      return false;
    }
    written_.emplace(offset, name);
    return true;
  }
  // Keeps a slide that is left out for another reason.
  void leaveOut(const std::string& why) { refused_.push_back(why); }

  // Names on standard error each slide left out; the exit status.
  int report(const char* verb) const {
    for (const std::string& why : refused_) problem(std::string(verb) + ": " + why);
    return refused_.empty() ? 0 : 1;
  }

 private:
  std::string extension_;
  FileNames names_;
  std::map<int64_t, std::string> written_;  // offset, and the name it went out as
  std::vector<std::string> refused_;
};

// Checks that none of the files is there (unless --force), then writes them
// all or none.
bool writeFiles(const Options& options,
                const std::vector<std::pair<std::string, std::string_view>>& files,
                std::string* error) {
  if (!options.force) {
    for (const auto& file : files) {
      bool exists = false;
      if (!taken(file.first, &exists, error)) return false;
      if (exists) {
        *error = file.first + " exists (--force writes over it)";
        return false;
      }
    }
  }
  if (!writeAllOrNothing(options.output, files, error,
                         options.force ? platform::Replace::kAlways : platform::Replace::kNever)) {
    *error += "; nothing extracted";
    return false;
  }
  return true;
}

// Takes every intact slide out of a damaged library: the directory is read
// as far as its entries make sense (names that end, offsets inside the
// file), each slide runs to the next slide's offset or the end, and a slide
// is saved when it reads whole up to its end record. The slides that could
// not be saved are named on standard error. Each slide is read in turn,
// and what is saved is at most the library's length.
int salvage(const Options& options) {
  std::unique_ptr<platform::File> file;
  uint64_t length = 0;
  std::string error;
  if (!openRead(options.rest[0], &file, &length, &error)) return problem(error);
  // A library's offsets reach 2 GiB: what lies past that is none of it.
  const uint64_t size = std::min<uint64_t>(length, kMaxLibraryLength);
  Pieces pieces(*file);
  const unsigned char* header = pieces.at(0, kLibraryHeaderSize);
  if (!pieces.cause().ok()) return problem(pieces.cause().toString());
  if (!header || std::memcmp(header, kLibraryHeader, kLibraryHeaderCompared) != 0) {
    return problem(options.rest[0] +
                   ": not a slide library (no \"AutoCAD Slide Library 1.0\" header)");
  }
  struct Entry {
    std::string name;  // UTF-8
    uint64_t offset;
  };
  std::vector<Entry> entries;
  Outgoing outgoing(".sld");
  uint64_t directoryEnd = size;
  for (uint64_t at = kLibraryHeaderSize; at + kDirectoryEntrySize <= size && at < directoryEnd;
       at += kDirectoryEntrySize) {
    const unsigned char* entry = pieces.at(at, kDirectoryEntrySize);
    if (!entry) {
      return problem(pieces.cause().ok() ? options.rest[0] + ": cut short while it was read"
                                         : pieces.cause().toString());
    }
    const std::string_view raw(reinterpret_cast<const char*>(entry), kDirectoryEntrySize);
    if (raw.find_first_not_of('\0') == std::string_view::npos) break;  // the terminator
    const int32_t offset = static_cast<int32_t>(platform::decodeFixed32(entry + kSlideNameSize));
    const size_t nameEnd = raw.substr(0, kSlideNameSize).find('\0');
    std::string name = nameEnd == std::string_view::npos || nameEnd == 0
                           ? ""
                           : utf8(platform::fromAnsi(raw.substr(0, nameEnd)));
    if (offset <= static_cast<int32_t>(at) || static_cast<uint64_t>(offset) >= size) {
      outgoing.leaveOut((name.empty() ? "the entry at " + std::to_string(at) : name) +
                        ": its offset " + std::to_string(offset) + " is outside the library");
      continue;
    }
    directoryEnd = std::min<uint64_t>(directoryEnd, static_cast<uint64_t>(offset));
    entries.push_back({name, static_cast<uint64_t>(offset)});
  }
  std::vector<uint64_t> starts;
  for (const Entry& e : entries) starts.push_back(e.offset);
  std::sort(starts.begin(), starts.end());
  // Where each slide's problems begin: it is whole when none comes before
  // its end record.
  class Earliest : public SlideVisitor {
   public:
    void problem(const SlideProblem& p) override { offset = std::min(offset, p.offset); }
    uint64_t offset = UINT64_MAX;
  };
  // Each slide is read once, however many entries name it: where it ends
  // when it is whole (0 when not), or why not.
  std::map<uint64_t, std::pair<uint64_t, std::string>> slides;
  std::vector<std::pair<std::string, std::string>> saved;  // file, bytes
  int unnamed = 0;
  for (const Entry& e : entries) {
    const std::string name = e.name.empty() ? "UNNAMED" + std::to_string(++unnamed) : e.name;
    auto slide = slides.find(e.offset);
    if (slide == slides.end()) {
      const auto next = std::upper_bound(starts.begin(), starts.end(), e.offset);
      const uint64_t end = next == starts.end() ? size : *next;
      Earliest earliest;
      const SlideScan scan = scanSlide(SlideSource(*file, e.offset, end - e.offset), earliest);
      if (!scan.cause.ok()) return problem(scan.cause.toString());
      const bool whole = scan.isSlide && scan.end > 0 && earliest.offset >= scan.end;
      slide = slides
                  .emplace(e.offset, std::pair{whole ? scan.end : 0,
                                               scan.problems == 0 ? "unreadable" : scan.first.what})
                  .first;
    }
    const auto& [end, why] = slide->second;
    if (end == 0) {
      outgoing.leaveOut(name + ": " + why);
      continue;
    }
    if (!outgoing.take(name, static_cast<int64_t>(e.offset))) continue;
    std::string bytes(static_cast<size_t>(end), '\0');
    const platform::Status read =
        platform::readExactly(*file, e.offset, bytes.data(), bytes.size());
    if (!read.ok()) return problem(read.toString());
    saved.emplace_back(options.output + "/" + name + ".sld", std::move(bytes));
  }
  std::vector<std::pair<std::string, std::string_view>> files(saved.begin(), saved.end());
  if (!writeFiles(options, files, &error)) return problem(error);
  return outgoing.report("not saved");
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
      // A slide named twice is written once.
      if (std::find(chosen.begin(), chosen.end(), i) == chosen.end()) chosen.push_back(i);
    }
  }
  const std::string folder = options.output.empty() ? "" : options.output + "/";
  Outgoing outgoing(".sld");
  std::vector<std::pair<std::string, std::string>> slides;  // file, bytes
  for (int i : chosen) {
    const std::string name = library.name(i);
    if (!outgoing.take(name, library.entry(i).offset)) continue;
    std::string bytes(static_cast<size_t>(library.entry(i).size), '\0');
    const platform::Status read = platform::readExactly(
        *library.file, static_cast<uint64_t>(library.entry(i).offset), bytes.data(), bytes.size());
    if (!read.ok()) return problem(read.toString());
    slides.emplace_back(folder + name + ".sld", std::move(bytes));
  }
  std::vector<std::pair<std::string, std::string_view>> files(slides.begin(), slides.end());
  if (!writeFiles(options, files, &error)) return problem(error);
  return outgoing.report("not extracted");
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
          "%s: %s; %s now\n", shown(args[0]).c_str(),
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
      std::printf(
          "%s\n",
          shown(args[0] + ": " + args[1] + " is now " + utf8(platform::fromAnsi(upper))).c_str());
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

// The slide the options name: a slide file, or a library and a name. Open,
// with where its bytes are and its title.
struct NamedSlide {
  std::unique_ptr<platform::File> file;
  uint64_t offset = 0, length = 0;
  std::string title;

  SlideSource source() const { return SlideSource(*file, offset, length); }
};

bool openNamedSlide(const Options& options, NamedSlide* slide, std::string* error) {
  if (options.rest.size() == 1) {
    if (!openSlide(options.rest[0], &slide->file, &slide->length, error)) return false;
    slide->title = utf8(platform::splitPath(wide(options.rest[0])).name);
    return true;
  }
  Library library;
  if (!readLibrary(options.rest[0], &library, error)) return false;
  const int i = findSlide(library, options.rest[1], error);
  if (i < 0) return false;
  slide->offset = static_cast<uint64_t>(library.entry(i).offset);
  slide->length = static_cast<uint64_t>(library.entry(i).size);
  slide->title = library.name(i);
  slide->file = std::move(library.file);
  return true;
}

int svg(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.empty() || options.rest.size() > 2) {
    return usageError("svg takes a slide, or a library and a name");
  }
  NamedSlide slide;
  if (!openNamedSlide(options, &slide, &error)) return problem(error);
  std::string picture;
  const SlideScan scan =
      renderSvg(slide.source(), slide.title, options.pictureSize(), options.paper, &picture);
  if (!scan.cause.ok()) return problem(scan.cause.toString());
  if (!scan.isSlide) return problem(slide.title + ": " + scan.first.what);
  if (!emit(options.output, picture, &error)) return problem(error);
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
    renderPng(std::string_view(), PictureSize(), PngBackground::kBlack, nullptr, &unavailable);
    return problem(unavailable);
  }
  if (options.all) {
    if (options.rest.size() != 1 || options.output.empty() || options.output == "-") {
      return usageError("png --all takes a library and -o DIR");
    }
    Library library;
    if (!readLibrary(options.rest[0], &library, &error)) return problem(error);
    Outgoing outgoing(".png");
    std::vector<std::pair<std::string, std::string>> images;  // file, PNG
    for (int i = 0; i < library.directory.count(); ++i) {
      const std::string name = library.name(i);
      if (!outgoing.take(name, library.entry(i).offset)) continue;
      std::string image;
      if (!renderPng(library.slide(i), options.pictureSize(), pngBackground(options), &image,
                     &error)) {
        return problem(name + ": " + error);
      }
      images.emplace_back(options.output + "/" + name + ".png", std::move(image));
    }
    std::vector<std::pair<std::string, std::string_view>> pictures(images.begin(), images.end());
    if (!writeAllOrNothing(options.output, pictures, &error)) {
      return problem(error + "; no picture written");
    }
    return outgoing.report("not drawn");
  }
  if (options.rest.empty() || options.rest.size() > 2) {
    return usageError("png takes a slide, or a library and a name, or a library and --all");
  }
  NamedSlide slide;
  if (!openNamedSlide(options, &slide, &error)) return problem(error);
  std::string image;
  if (!renderPng(slide.source(), options.pictureSize(), pngBackground(options), &image, &error)) {
    return problem(slide.title + ": " + error);
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
  std::string page;
  const platform::Status drawn = renderSheet(title, slides, sheetOptions, &page);
  if (!drawn.ok()) return problem(drawn.toString());
  if (!emit(options.output, page, &error)) return problem(error);
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
  int status = 1;
  // Memory that cannot be had is a failure of the command, never an abort.
  try {
    status = run(args);
  } catch (const std::bad_alloc&) {
    status = problem("out of memory");
  } catch (const std::length_error&) {
    status = problem("out of memory: more than this system can hold at once");
  }
  // What the command wrote must have reached its reader: output that
  // cannot be written (a full disk, a closed pipe) is a failure.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "slb: cannot write standard output: %s\n", std::strerror(errno));
    return status == 0 ? 1 : status;
  }
  return status;
}
