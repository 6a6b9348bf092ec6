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
#include "platform/text.h"

namespace slb {
namespace {

// Whether something is at `path`; false with *error when that cannot be
// told.
bool taken(const std::string& path, bool* exists, std::string* error) {
  platform::FileInfo info;
  const platform::Status s = platform::lookUp(env(), wide(path), exists, &info);
  if (!s.ok()) *error = s.toString();
  return s.ok();
}

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
int salvageSlides(const Options& options) {
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

}  // namespace

int extractSlides(Arguments args) {
  Options options;
  std::string error;
  if (!parseOptions(args, &options, &error)) return usageError(error);
  if (options.rest.empty()) return usageError("extract takes a library");
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

}  // namespace slb
