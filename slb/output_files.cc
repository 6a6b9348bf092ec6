#include "output_files.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "common.h"
#include "platform/path.h"
#include "platform/text.h"

namespace slb {

bool writeWhole(const std::string& path, std::string_view bytes, std::string* error,
                platform::Replace replace) {
  const platform::Status s = platform::writeNewFile(env(), wide(path), bytes, replace);
  if (s.kind() == platform::ErrorKind::kExists) {
    *error = path + " exists (--force writes over it)";
  } else if (!s.ok()) {
    *error = s.toString();
  }
  return s.ok();
}

bool writeOutput(const std::string& output, std::string_view bytes, std::string* error) {
  if (output.empty() || output == "-") {
    // A failed write shows in the state of stdout, which main checks.
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    return true;
  }
  return writeWhole(output, bytes, error);
}

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

namespace {

// Removes the first `count` of the files, which this run wrote, after a
// failure: by the Env's primitive, as platform::deleteFile would refuse a
// new file that the umask left without write permission. What the
// failure's message adds: `nothingWritten`, or which of them are still
// there.
std::string takeBack(const std::vector<OutputFile>& files, size_t count,
                     const std::string& nothingWritten) {
  std::string left;
  for (size_t k = 0; k < count; ++k) {
    const platform::Status removed = env().removeFile(wide(files[k].path));
    if (!removed.ok()) left += (left.empty() ? "" : "; ") + removed.toString();
  }
  return left.empty() ? nothingWritten : "the files written before it are not all removed: " + left;
}

}  // namespace

bool writeAllOrNothing(const std::string& folder, const std::vector<OutputFile>& files,
                       platform::Replace replace, const std::string& nothingWritten,
                       std::string* error) {
  if (!makeFolders(folder, error)) {
    *error += "; " + nothingWritten;
    return false;
  }
  for (size_t k = 0; k < files.size(); ++k) {
    if (!writeWhole(files[k].path, files[k].bytes, error, replace)) {
      *error += "; " + takeBack(files, k, nothingWritten);
      return false;
    }
  }
  for (const OutputFile& file : files) std::printf("%s\n", shown(file.path).c_str());
  return true;
}

namespace {

bool standardErrorIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) == 1;
#endif
}

}  // namespace

Progress::Progress(int total, bool quiet)
    : total_(total), shown_(!quiet && total > 0 && standardErrorIsTerminal()) {}

Progress::~Progress() {
  clear();
}

void Progress::step() {
  ++done_;
  show();
}

void Progress::show() {
  if (!shown_ || done_ == 0) return;
  std::fprintf(stderr, "\r%d/%d", done_, total_);
  std::fflush(stderr);
}

int Progress::say(const std::string& message) {
  clear();
  const int status = problem(message);
  show();  // the count again, below the message
  return status;
}

void Progress::clear() {
  if (!shown_ || done_ == 0) return;
  // Spaces over the count, as wide as it can be: "\r" alone would leave it
  // under a shorter message.
  const std::string blank = std::to_string(total_) + "/" + std::to_string(total_);
  std::fprintf(stderr, "\r%s\r", std::string(blank.size(), ' ').c_str());
  std::fflush(stderr);
}

namespace {

// A file name for a slide: one that Windows takes.
bool fileNameAllowed(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 0x20 || std::strchr("\\/:*?\"<>|", c)) return false;
  }
  return true;
}

}  // namespace

std::string Outgoing::refusal(const std::string& name) {
  const std::string file = name + extension_;
  if (!fileNameAllowed(name)) return "no file name";
  // The files written are named on standard output as they are.
  if (shown(name) != name) return "a name with control or bidirectional formatting characters";
  if (platform::isReservedName(wide(file))) return "a device's name on Windows";
  const auto [at, added] = files_.emplace(platform::toUpperWide(wide(file)), name);
  if (!added) return "the same file name as " + at->second;
  return "";
}

bool Outgoing::take(const std::string& name, int64_t offset) {
  if (const auto it = written_.find(offset); it != written_.end()) {
    refused_.push_back(name + ": the same slide as " + it->second);
    return false;
  }
  const std::string why = refusal(name);
  if (!why.empty()) {
    refused_.push_back(name + ": " + why);
    return false;
  }
  written_.emplace(offset, name);
  return true;
}

int Outgoing::report(const char* verb) const {
  int status = 0;
  for (const std::string& why : refused_) status = problem(std::string(verb) + ": " + why);
  return status;
}

}  // namespace slb
