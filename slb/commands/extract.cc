// extract: slides written out as files, byte for byte as stored; with
// --salvage, the intact slides of a damaged library.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "library_reading.h"
#include "output_files.h"
#include "platform/coding.h"
#include "platform/env.h"
#include "platform/text.h"

namespace slb {
namespace {

// Whether something is at `path`; false with *error when that cannot be
// told.
[[nodiscard]] bool lookFor(const std::string& path, bool* exists, std::string* error) {
  platform::FileInfo info;
  const platform::Status s = platform::lookUp(env(), wide(path), exists, &info);
  if (!s.ok()) *error = s.toString();
  return s.ok();
}

// Checks that none of the files is there (unless --force), then writes them
// all or none.
[[nodiscard]] bool writeSlideFiles(const Options& options, const std::vector<OutputFile>& files,
                                   std::string* error) {
  // The folder's names are read once for all the files, not once a file.
  platform::NameCache names;
  if (!options.force) {
    for (const OutputFile& file : files) {
      bool exists = false;
      if (!lookFor(file.path, &exists, error)) return false;
      if (exists) {
        *error = file.path + " exists (--force writes over it)";
        return false;
      }
    }
  }
  return writeAllOrNothing(options.output, files,
                           options.force ? platform::Replace::kAlways : platform::Replace::kNever,
                           "nothing extracted", error);
}

// The slides to extract: every one with --all, else those the names after
// the library's name (each slide once, however often it is named). False
// with *error for a name the library does not have.
[[nodiscard]] bool chooseSlides(const Library& library, const Options& options,
                                std::vector<int>* chosen, std::string* error) {
  if (options.all) {
    for (int i = 0; i < library.directory.count(); ++i) chosen->push_back(i);
    return true;
  }
  for (size_t k = 1; k < options.rest.size(); ++k) {
    const int i = findSlide(library, options.rest[k], error);
    if (i < 0) return false;
    if (std::find(chosen->begin(), chosen->end(), i) == chosen->end()) chosen->push_back(i);
  }
  return true;
}

// What salvage finds of one slide: its length up to its end record when it
// reads whole to there, else 0 and why not.
struct Intact {
  uint64_t length = 0;
  std::string why;
};

// Reads a slide of a damaged library to find how much of it is intact; a
// failed read is the status.
platform::Status findIntact(const SlideSource& slide, Intact* intact) {
  // Where the slide's problems begin: it is whole when none comes before
  // its end record.
  class Earliest : public SlideVisitor {
   public:
    void problem(const SlideProblem& p) override { offset = std::min(offset, p.offset); }
    uint64_t offset = UINT64_MAX;
  };
  Earliest earliest;
  const SlideScan scan = scanSlide(slide, earliest);
  const bool whole = scan.isSlide && scan.end > 0 && earliest.offset >= scan.end;
  intact->length = whole ? scan.end : 0;
  intact->why = scan.problems == 0 ? "unreadable" : scan.first.what;
  return scan.cause;
}

// Takes every intact slide out of a damaged library: the directory is read
// as far as its entries make sense, each slide runs to the next slide's
// offset or the end, and a slide is saved when it reads whole up to its end
// record. The slides that could not be saved are named on standard error.
// Each slide is read in turn, and what is saved is at most the library's
// length.
int salvageSlides(const Options& options) {
  const std::string& path = options.rest[0];
  std::unique_ptr<platform::File> file;
  uint64_t length = 0;
  std::string error;
  if (!openRead(path, &file, &length, &error)) return problem(error);
  // A library's offsets reach 2 GiB: what lies past that is none of it.
  const uint64_t size = std::min<uint64_t>(length, kMaxLibraryLength);
  Outgoing outgoing(".sld");
  DamagedDirectory directory;
  const platform::Status read = readDamagedDirectory(*file, size, &directory);
  if (read.kind() == platform::ErrorKind::kCorrupt) {
    return problem(path + ": not a slide library (no \"AutoCAD Slide Library 1.0\" header)");
  }
  if (!read.ok()) return problem(read.toString());
  for (const DamagedDirectory::Entry& e : directory.outside) {
    outgoing.leaveOut(
        (e.name.empty() ? "an entry with no name" : utf8(platform::fromAnsi(e.name))) +
        ": its offset " + std::to_string(static_cast<int32_t>(e.offset)) +
        " is outside the library");
  }
  const std::vector<DamagedDirectory::Entry>& entries = directory.entries;
  std::vector<uint64_t> starts;
  for (const DamagedDirectory::Entry& e : entries) starts.push_back(e.offset);
  std::sort(starts.begin(), starts.end());
  std::map<uint64_t, Intact> slides;  // by offset: each is read once, however many entries name it
  std::vector<OutputFile> saved;
  int unnamed = 0;
  for (const DamagedDirectory::Entry& e : entries) {
    const std::string name =
        e.name.empty() ? "UNNAMED" + std::to_string(++unnamed) : utf8(platform::fromAnsi(e.name));
    auto slide = slides.find(e.offset);
    if (slide == slides.end()) {
      const auto next = std::upper_bound(starts.begin(), starts.end(), e.offset);
      const uint64_t end = next == starts.end() ? size : *next;
      Intact intact;
      const platform::Status read =
          findIntact(SlideSource(*file, e.offset, end - e.offset), &intact);
      if (!read.ok()) return problem(read.toString());
      slide = slides.emplace(e.offset, std::move(intact)).first;
    }
    if (slide->second.length == 0) {
      outgoing.leaveOut(name + ": " + slide->second.why);
      continue;
    }
    if (!outgoing.take(name, static_cast<int64_t>(e.offset))) continue;
    std::string bytes(static_cast<size_t>(slide->second.length), '\0');
    const platform::Status read =
        platform::readExactly(*file, e.offset, bytes.data(), bytes.size());
    if (!read.ok()) return problem(read.toString());
    saved.push_back({options.output + "/" + name + ".sld", std::move(bytes)});
  }
  if (!writeSlideFiles(options, saved, &error)) return problem(error);
  return outgoing.report("not saved");
}

}  // namespace

int extractSlides(Arguments args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.empty()) return usageError("extract takes a library");
  if (options.output == "-") {
    return usageError("extract writes slide files into a folder; -o - names none");
  }
  if (options.salvage) {
    if (options.rest.size() != 1 || options.output.empty()) {
      return usageError("extract --salvage takes a library and -o DIR");
    }
    return salvageSlides(options);
  }
  if (options.all ? options.rest.size() != 1 || options.output.empty() : options.rest.size() < 2) {
    return usageError("extract takes a library and names, or --all and -o DIR");
  }
  Library library;
  if (!readLibrary(options.rest[0], &library, &error)) return problem(error);
  std::vector<int> chosen;
  if (!chooseSlides(library, options, &chosen, &error)) return problem(error);
  const std::string folder = options.output.empty() ? "" : options.output + "/";
  Outgoing outgoing(".sld");
  std::vector<OutputFile> slides;
  for (int i : chosen) {
    const std::string name = library.name(i);
    if (!outgoing.take(name, library.entry(i).offset)) continue;
    std::string bytes(static_cast<size_t>(library.entry(i).size), '\0');
    const platform::Status read = platform::readExactly(
        *library.file, static_cast<uint64_t>(library.entry(i).offset), bytes.data(), bytes.size());
    if (!read.ok()) return problem(read.toString());
    slides.push_back({folder + name + ".sld", std::move(bytes)});
  }
  if (!writeSlideFiles(options, slides, &error)) return problem(error);
  return outgoing.report("not extracted");
}

}  // namespace slb
