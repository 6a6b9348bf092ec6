#include "output_files.h"

#include <cstdio>
#include <cstring>

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

namespace {

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

}  // namespace

bool writeAllOrNothing(const std::string& folder, const std::vector<OutputFile>& files,
                       platform::Replace replace, std::string* error) {
  if (!makeFolders(folder, error)) return false;
  for (size_t k = 0; k < files.size(); ++k) {
    if (!writeWhole(files[k].path, files[k].bytes, error, replace)) {
      for (size_t done = 0; done < k; ++done) env().removeFile(wide(files[done].path));
      return false;
    }
  }
  for (const OutputFile& file : files) std::printf("%s\n", shown(file.path).c_str());
  return true;
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
  for (const std::string& why : refused_) problem(std::string(verb) + ": " + why);
  return refused_.empty() ? 0 : 1;
}

}  // namespace slb
