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
bool writeWhole(const std::string& path, std::string_view bytes, std::string* error,
                platform::Replace replace = platform::Replace::kAlways);

// Writes `text` to standard output when `output` is empty or "-", else as
// the file `output` (writeWhole).
bool writeOutput(const std::string& output, const std::string& text, std::string* error);

// Writes each (path, bytes) into `folder`, made first with the folders on the
// way, and names them on standard output. Each file is whole or not there;
// and all or nothing: a failure midway removes what this run wrote (files
// that --force wrote over are gone either way).
bool writeAllOrNothing(const std::string& folder,
                       const std::vector<std::pair<std::string, std::string_view>>& files,
                       std::string* error, platform::Replace replace = platform::Replace::kAlways);

// The files one run writes into a folder, each slide's NAME.EXT: no name is
// written twice, compared as the file system of the output compares them
// (ignoring case, as Windows does, and as slide names are compared), and no
// name is written that no file may have.
class FileNames {
 public:
  // Empty when `name`.`extension` may be written, which is then taken;
  // otherwise why not.
  std::string refusal(const std::string& name, const std::string& extension);

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
  bool take(const std::string& name, int64_t offset);
  // Keeps a slide that is left out for another reason.
  void leaveOut(const std::string& why) { refused_.push_back(why); }

  // Names on standard error each slide left out; the exit status.
  int report(const char* verb) const;

 private:
  std::string extension_;
  FileNames names_;
  std::map<int64_t, std::string> written_;  // offset, and the name it went out as
  std::vector<std::string> refused_;
};

}  // namespace slb
