// What the POSIX parts of the platform layer share: names in the file
// system's form, and the temporary files a signal removes.
#pragma once

#include <string>
#include <string_view>

#include "platform/status.h"

namespace platform::posix {

// The file-system name for a path given in the host's form: '\' between
// folders, a drive ignored, dots and blanks that end a name dropped, "."
// and ".." resolved by the text, and each name that does not exist as
// given looked up ignoring case.
// A name Windows would refuse (checkName), or a folder on the way that
// cannot be read, fails for `operation`.
Status nativePath(const char* operation, std::u16string_view path, std::string* native);
// nativePath for a folder: "." for the current one.
Status directoryPath(const char* operation, std::u16string_view directory, std::string* native);
// A name as it is on the disk: UTF-8, or else in the ANSI code page. Empty
// when it is neither.
std::u16string decodeName(std::string_view bytes);
// Refuses what Windows refuses as a name: * ? " < > |, control
// characters, device names and ':' streams.
Status checkName(const char* operation, std::u16string_view path);

// Made at the start of every operation that may create, remove or rename a
// name. The operation tells what it did (made, removed, nothing) and the
// names a NameCache keeps follow; when it tells nothing (it failed midway),
// they are all read again.
class NamesChange {
 public:
  NamesChange() = default;
  NamesChange(const NamesChange&) = delete;
  NamesChange& operator=(const NamesChange&) = delete;
  ~NamesChange();

  void made(const std::string& native);
  void removed(const std::string& native);
  void nothing() { known_ = true; }

 private:
  bool known_ = false;
};

// Creates the new file `native` (O_EXCL, mode 0600) with `flags` and notes
// it for removal when a signal stops the process. -1 with errno on failure.
int openTemporary(const std::string& native, int flags);
// Notes a file that a signal is to remove (a name's lock file, while it is
// held); more files than there are slots are left behind for whoever comes next.
void noteTemporary(const std::string& native);
// The temporary file was renamed or removed: a signal leaves it alone.
void forgetTemporary(const std::string& native);

}  // namespace platform::posix
