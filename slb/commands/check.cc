// check: every problem of a library or a slide, with its offset.
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
  if (std::string why; !takeOperands("check", &args, &why)) return usageError(why);
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
  if (path != "-") checkEditRemains(path, findings);  // standard input has no journal beside it
  Library library;
  if (!readLibrary(path, &library, &error)) {
    findings.add(error);
    return findings.finish("");
  }
  checkSlides(library, findings);
  return findings.finish(slidesCount(library.directory.count()));
}

}  // namespace slb
