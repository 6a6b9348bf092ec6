// How files are written: the rules every writer of the project keeps
// (Copyfile, Dirfile, Slbedit, Write_Dbf, slb, the LISP file functions),
// written once, over the primitives of an Env.
//
// - A new file takes an old one's place whole or not at all. It is written
//   into a temporary file beside the target ("~NAME.XXXXXX.tmp"), synced,
//   given its attributes through its handle, renamed over the target, and
//   the folder is synced. A target reached through a symbolic link is
//   replaced where it lives; the link stays a link.
// - A target that must keep its identity is written over in place instead:
//   one with several hard links (each name must see the change), or one
//   another program holds open so that it cannot be renamed over (a sharing
//   violation on Windows). The complete new file is first kept beside it as
//   its journal ("~NAME.new"), which records what it belongs to: the
//   target's identity, its length before, and a checksum of the new
//   content. The part past the old length is written first, so that a full
//   disk fails before any old byte changed. A write-over cut short by a kill
//   is finished by the next writer of the name, but only from a journal
//   that matches the target as found; any other journal is left alone.
// - Unknown is not permission: a status that cannot be read is an error
//   naming the file, never "absent" or "writable".
// - A file nobody may write (no write bit; the read-only attribute) is never
//   changed, whoever runs the program.
// - Writers of one name exclude each other: each holds the name's lock
//   (Env::lockName) from looking at the target to publishing the new file,
//   and a new file is published only where no file appeared meanwhile.
// - Reported outcomes are true: success only once the new file is in place
//   and durable. A failed close after a successful sync is no failure.
//
// What this cannot give: locks on a network share are only as good as the
// share's, and a file system whose rename is not durable once its folder is
// synced keeps no promise of old-or-new across a power loss.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace platform {

// How long a writer waits for another to finish with the same name.
constexpr int kEditLockTimeoutMs = 10000;

// Looks at `path`. *exists is false only when nothing is there; a status
// that cannot be read is returned as the failure it is.
Status lookUp(Env& env, std::u16string_view path, bool* exists, FileInfo* info);

// kOk when the file `info` describes may be changed: a regular file
// somebody may write. Otherwise kAccessDenied for `operation` on `path`.
Status checkChangeable(const FileInfo& info, const char* operation, std::u16string_view path);

// Removes the file at `path`, durably: its folder is synced. A read-only
// file and a folder are refused (kAccessDenied); a symbolic link is
// removed, not what it leads to. *removed (when given) says whether the
// name is gone, which it is after a failure to sync the folder.
Status deleteFile(Env& env, std::u16string_view path, bool* removed = nullptr);

// Opens the existing file at `path` to change it in place. Refused
// (kAccessDenied) when nobody may write it, decided on the open handle.
Status openForUpdate(Env& env, std::u16string_view path, std::unique_ptr<File>* file);

enum class Replace {
  kAlways,  // the new file takes the place of any file at the target
  kNever,   // kExists when a file is at the target, before or at publish
};

// Where a publish left things.
enum class Published {
  kNo,           // the target is as it was (and still missing, if it was)
  kYes,          // the new file is in place and durable
  kUnsynced,     // the new file is in place, but its folder could not be synced
  kTorn,         // written over in part: the complete new file is in keptPath()
  kJournalKept,  // the new file is in place and durable; its journal could not be removed
};

// Who holds the lock of the target's name while a NewFile is made.
enum class Locking {
  kTake,  // the NewFile, from begin to publish
  // The caller, since before it read the old file (an edit of a library),
  // and it has finished a write-over cut short (finishWriteOver).
  kHeldByCaller,
  // Nobody: a file a LISP program keeps open as long as it likes, which a
  // lock held that long would make other writers of the name wait for.
  kNone,
};

// What a NewFile does with a target that is a symbolic link.
enum class Links {
  kFollow,   // writes where the link leads (a library or table edited where it lives)
  kReplace,  // puts the new file in the link's place (slb's outputs): never writes through it
};

// A new file that takes the place of a target once it is whole. Destroyed
// unpublished, it removes its temporary file.
class NewFile {
 public:
  explicit NewFile(Env& env) : env_(env) {}
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // Prepares the new file for `target`: links followed, the name locked
  // and a write-over cut short finished from its journal (see Locking),
  // the target looked at (kExists for Replace::kNever when a file is
  // there; a target that may not be changed refused), and the temporary
  // file made beside it.
  Status begin(std::u16string_view target, Replace replace = Replace::kAlways,
               Locking locking = Locking::kTake, Links links = Links::kFollow);
  // begin in two steps, for callers that tell a target refused from a
  // temporary file that could not be made: all but the temporary file...
  Status prepare(std::u16string_view target, Replace replace = Replace::kAlways,
                 Locking locking = Locking::kTake, Links links = Links::kFollow);
  // ...and the temporary file.
  Status createTemporary();

  File& file() { return *file_; }
  const std::u16string& temporaryPath() const { return temporary_; }
  // The target with its links followed: where the new file goes.
  const std::u16string& targetPath() const { return target_; }
  bool targetExists() const { return exists_; }
  const FileInfo& targetInfo() const { return info_; }

  // Makes the new file a copy of `source`: the attributes the platform's
  // copy gives (Env::attributesOfCopy) and the source's last-write time.
  void takeAttributesOf(const FileInfo& source);

  // Puts the new file in the target's place (see the top of this file).
  // kOk only with Published::kYes; a failure says in its status what
  // failed, and published() where that left the target.
  Status publish();
  Published published() const { return published_; }
  // With Published::kTorn, where the complete new file is kept.
  const std::u16string& keptPath() const { return kept_; }

 private:
  Status giveAttributes();
  Status rename();
  Status writeOver();
  void discard();

  Env& env_;
  std::unique_ptr<NameLock> lock_;
  std::unique_ptr<File> file_;
  std::u16string target_, folder_, temporary_, kept_;
  Replace replace_ = Replace::kAlways;
  bool exists_ = false;
  FileInfo info_;
  bool ownAttributes_ = false;
  FileInfo attributesFrom_;
  Published published_ = Published::kNo;
};

// Writes `bytes` as the file `path` through a NewFile, in the place of a
// link rather than through it. `published` and `kept`, when given, receive
// what NewFile::published() and keptPath() say.
Status writeNewFile(Env& env, std::u16string_view path, std::string_view bytes,
                    Replace replace = Replace::kAlways, Published* published = nullptr,
                    std::u16string* kept = nullptr);

// Copies the file `from` to `to` as CopyFileW does, through a NewFile: the
// copy gets the source's attributes and last-write time. The source must be
// a regular file, and never the target itself (kInvalidName), through links
// or hard links.
Status copyFile(Env& env, std::u16string_view from, std::u16string_view to,
                Replace replace = Replace::kAlways, Published* published = nullptr,
                std::u16string* kept = nullptr);

// Adds the bytes of the file `from` at the end of the existing file `to`,
// all or nothing: a failure cuts `to` back to its old length. *copied
// receives the number of bytes added. The two must be different files.
Status appendFile(Env& env, std::u16string_view from, std::u16string_view to, uint64_t* copied);

// The journal of a write-over in place of `target`, as the next writer of
// the name finds it.
enum class JournalState {
  kNone,      // there is none
  kFinished,  // it matched the target, and the write-over is now done
  kForeign,   // it does not match the target as found: left alone
};
// With the name locked: finishes a write-over of `target` (links followed
// already) that a kill cut short, from a journal that matches it.
Status finishWriteOver(Env& env, std::u16string_view target, JournalState* state);
// The name of the journal of `target`: "~NAME.new" beside it. A journal is
// the complete new file followed by a record of kJournalRecordSize bytes:
// the target's identity and old length, and the new content's length and
// checksum.
std::u16string journalPath(std::u16string_view target);
constexpr size_t kJournalRecordSize = 56;

// The temporary files that killed writers of `target` left beside it
// ("~NAME.XXXXXX.tmp"). A writer holding the name's lock may remove them.
Status leftoverTemporaries(Env& env, std::u16string_view target,
                           std::vector<std::u16string>* leftovers);
// Whether `name` (a last component) is the name of a temporary file of
// the target named `targetName`.
bool isTemporaryOf(std::u16string_view name, std::u16string_view targetName);
// Whether `name` is one of the files the writers of `targetName` keep
// beside it: its temporary files, its journal, its lock file (POSIX).
bool isWriterFileOf(std::u16string_view name, std::u16string_view targetName);

}  // namespace platform
