// list, info and check: what a library or a slide holds, and what is wrong
// with it.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "cli/escapes.h"
#include "commands.h"
#include "library_reading.h"
#include "platform/text.h"
#include "vetrix/slides/slide_library.h"

namespace slb {
namespace {

using cli::jsonString;

// Takes --json out of the arguments.
bool takeJson(Arguments* args) {
  auto it = std::find(args->begin(), args->end(), "--json");
  if (it == args->end()) return false;
  args->erase(it);
  return true;
}

std::string formatOf(const SlideHeader& h) {
  return std::string(h.level == 2 ? "new" : "old") + ", " +
         (h.bigEndian ? "big-endian" : "little-endian");
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

// Reads a slide's header only.
class HeaderOnly : public SlideVisitor {
 public:
  bool header(const SlideHeader&) override { return false; }
};

// Slide i of a listing as JSON: its entry, and its picture (null when it is
// no slide).
void printJsonSlide(const Library& library, int i, const SlideScan& scan) {
  const SlideHeader& h = scan.header;
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
              i ? ", " : "", i + 1, jsonString(library.name(i)).c_str(), library.entry(i).offset,
              library.entry(i).size, slide.c_str());
}

// Slide i of a listing as a row of its table, the name padded to
// `nameColumns`.
void printSlideRow(const Library& library, int i, const SlideScan& scan, size_t nameColumns) {
  const SlideHeader& h = scan.header;
  std::string format = "not a slide", picture;
  if (scan.isSlide) {
    format = formatOf(h);
    char text[64];
    std::snprintf(text, sizeof text, "%ux%u, aspect %.3f", h.highX + 1, h.highY + 1, h.aspect);
    picture = text;
  }
  std::printf("%4d  %s %10d %9d  %-20s %s\n", i + 1,
              padded(shown(library.name(i)), nameColumns).c_str(), library.entry(i).offset,
              library.entry(i).size, format.c_str(), picture.c_str());
}

}  // namespace

// Each slide of a library, written out as its header is read.
int listSlides(Arguments args) {
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
    HeaderOnly headerOnly;
    const SlideScan scan = scanSlide(library.slide(i), headerOnly);
    if (!scan.cause.ok()) return problem(scan.cause.toString());
    if (asJson) {
      printJsonSlide(library, i, scan);
    } else {
      printSlideRow(library, i, scan, nameColumns);
    }
  }
  if (asJson) std::printf("]}\n");
  return 0;
}

// One slide file: its header, size and records by kind.
int describeSlide(Arguments args) {
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

namespace {

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
  [[nodiscard]] int finish(const std::string& summary) {
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

// A file that is no library, checked as a slide.
void checkSlideFile(platform::File& file, uint64_t length, Findings& findings) {
  if (length > kMaxLibraryLength) {
    findings.add(std::to_string(length) + " bytes, more than a slide has (2 GiB at most)");
    return;
  }
  ProblemsToFindings report(findings, 0, "");
  const SlideScan scan = scanSlide(SlideSource(file, 0, length), report);
  if (!scan.cause.ok()) findings.add(scan.cause.toString());
}

// What killed edits left of a library: a write-over in place cut short is
// finished from its journal first; temporary files are reported (the next
// edit removes them).
void checkEditRemains(const std::string& path, Findings& findings) {
  const LibraryCheck edits = checkLibraryEdits(env(), wide(path));
  if (edits.restored) {
    std::fprintf(stderr, "%s: finished an edit that was cut short, from its journal\n",
                 shown(path).c_str());
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

// Each slide of a library, read once however many entries name it, and
// each name, which only the first slide of a name may have.
void checkSlides(const Library& library, Findings& findings) {
  std::map<int32_t, std::string> checked;  // offset, and the name it was checked under
  std::map<std::string, int> firstNamed;   // names with their letters folded
  const platform::AnsiCharacters characters;
  for (int i = 0; i < library.directory.count(); ++i) {
    const std::string name = library.name(i);
    const uint64_t entryOffset = kLibraryHeaderSize + kDirectoryEntrySize * static_cast<size_t>(i);
    const auto [first, added] = checked.emplace(library.entry(i).offset, name);
    if (!added) {
      findings.add(entryOffset, name,
                   "the slide of " + first->second + " again, with no bytes of its own");
    } else {
      ProblemsToFindings report(findings, static_cast<uint64_t>(library.entry(i).offset), name);
      const SlideScan scan = scanSlide(library.slide(i), report);
      if (!scan.cause.ok()) findings.add(scan.cause.toString(), name);
    }
    if (!firstNamed.emplace(foldedName(library.entry(i).nameView(), characters), i).second) {
      findings.add(entryOffset, name, "a second slide of this name, which no reader finds");
    }
  }
}

}  // namespace

// Every problem of a library or a slide, with its offset; a library's
// edits that a kill cut short are finished first.
int checkFile(Arguments args) {
  const bool asJson = takeJson(&args);
  if (args.size() != 1) return usageError("check takes one library or slide");
  const std::string& path = args[0];
  uint64_t length = 0;
  std::string error;
  std::unique_ptr<platform::File> file;
  if (!openRead(path, &file, &length, &error)) return problem(error);
  const platform::Status header = checkLibraryHeader(*file);
  if (!header.ok() && header.kind() != platform::ErrorKind::kCorrupt) {
    return problem(header.toString());
  }
  Findings findings(path, asJson);
  if (!header.ok()) {
    checkSlideFile(*file, length, findings);
    return findings.finish("a slide");
  }
  file.reset();  // an edit cut short may have to be finished in place
  checkEditRemains(path, findings);
  Library library;
  if (!readLibrary(path, &library, &error)) {
    findings.add(error);
    return findings.finish("");
  }
  checkSlides(library, findings);
  return findings.finish(slidesCount(library.directory.count()));
}

}  // namespace slb
