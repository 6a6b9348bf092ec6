// What the commands write: a file whole or not at all, standard output, a
// folder of files all or nothing, and the names of slides written there.
// Files are published as platform/file_writes.h publishes them, by rename:
// a link at an output's name is replaced, never written through.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_writes.h"

namespace slb {

// Writes a file whole or not at all: a kill midway leaves no part of it.
// Replace::kNever refuses a name that is taken, when it is written too.
// False with *error.
[[nodiscard]] bool writeWhole(const std::string& path, std::string_view bytes, std::string* error,
                              platform::Replace replace = platform::Replace::kAlways);

// Writes `bytes` to standard output when `output` is empty or "-", else as
// the file `output` (writeWhole).
[[nodiscard]] bool writeOutput(const std::string& output, std::string_view bytes,
                               std::string* error);

// Makes `folder` and the folders on the way to it; false with *error.
[[nodiscard]] bool makeFolders(const std::string& folder, std::string* error);

// A count of the slides drawn so far, "n/N", kept on one line of standard
// error while a command draws, when standard error is a terminal (never in
// a file or a pipe) and the command is not asked to be quiet. Messages go
// through say(), which clears the count first; the destructor clears it.
class Progress {
 public:
  Progress(int total, bool quiet);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // One more slide done.
  void step();
  // A problem with one slide (see problem()): 1.
  [[nodiscard]] int say(const std::string& message);

 private:
  void show();
  void clear();

  int total_, done_ = 0;
  bool shown_;
};

// A file to write, and what it holds.
struct OutputFile {
  std::string path;
  std::string bytes;
};

// Writes the files into `folder`, made first with the folders on the way,
// and names them on standard output. Each file is whole or not there; and
// all or nothing: a failure midway removes what this run wrote (files that
// Replace::kAlways wrote over are gone either way). False with *error,
// which ends in `nothingWritten` ("nothing extracted"), or names the files
// written that could not be removed.
[[nodiscard]] bool writeAllOrNothing(const std::string& folder,
                                     const std::vector<OutputFile>& files,
                                     platform::Replace replace, const std::string& nothingWritten,
                                     std::string* error);

// Slides to write into a folder, each once, as NAME.EXTENSION: entries at
// one offset share one slide, which is written under the first name that
// may be written. No file name is written twice, compared as the file
// system of the output compares them (ignoring case, as Windows does, and
// as slide names are compared), and no name is written that no file may
// have.
class Outgoing {
 public:
  explicit Outgoing(std::string extension) : extension_(std::move(extension)) {}

  // Whether the slide at `offset` goes out under `name`; when not, why not
  // is kept for report().
  [[nodiscard]] bool take(const std::string& name, int64_t offset);
  // Keeps a slide that is left out for another reason.
  void leaveOut(const std::string& why) { refused_.push_back(why); }

  // Names on standard error each slide left out ("VERB: NAME: why"); the
  // exit status.
  [[nodiscard]] int report(const char* verb) const;

 private:
  // Empty when `name` may be written, which then takes its file name;
  // otherwise why not.
  std::string refusal(const std::string& name);

  std::string extension_;
  std::map<std::u16string, std::string> files_;  // file names upper-cased, and whose
  std::map<int64_t, std::string> written_;       // offset, and the name it went out as
  std::vector<std::string> refused_;
};

}  // namespace slb
