#include "platform/file_writes.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "platform/coding.h"
#include "platform/path.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr size_t kCopyBlock = size_t{1} << 17;
constexpr size_t kTempUniqueLength = 6;
constexpr std::u16string_view kTempSuffix = u".tmp";

// A journal is the complete new file followed by this trailer.
constexpr char kJournalMagic[8] = {'Z', 'C', 'J', 'R', 'N', 'L', '0', '1'};
constexpr size_t kTrailerSize = kJournalRecordSize;
struct Trailer {
  uint64_t volume = 0, fileId = 0;  // the target's identity
  uint64_t oldLength = 0, newLength = 0;
  uint64_t checksum = 0;  // of the new content
};

// A 64-bit checksum of a byte stream fed in pieces of any size: each 8-byte
// word is mixed in, as in the finalisers of MurmurHash3 and SplitMix64.
class Checksum {
 public:
  void update(const unsigned char* data, size_t n) {
    length_ += n;
    while (n > 0) {
      const size_t take = std::min(n, sizeof pending_ - pendingSize_);
      std::memcpy(pending_ + pendingSize_, data, take);
      pendingSize_ += take;
      data += take;
      n -= take;
      if (pendingSize_ == sizeof pending_) mixPending();
    }
  }
  uint64_t value() {
    if (pendingSize_ > 0) {
      std::memset(pending_ + pendingSize_, 0, sizeof pending_ - pendingSize_);
      mixPending();
    }
    return mix(state_ ^ length_);
  }

 private:
  static uint64_t mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
  }
  void mixPending() {
    state_ = mix(state_ ^ decodeFixed64(pending_)) + 0x9E3779B97F4A7C15ULL;
    pendingSize_ = 0;
  }

  uint64_t state_ = 0x243F6A8885A308D3ULL;
  uint64_t length_ = 0;
  unsigned char pending_[8] = {};
  size_t pendingSize_ = 0;
};

std::string encodeTrailer(const Trailer& t) {
  unsigned char bytes[kTrailerSize];
  std::memcpy(bytes, kJournalMagic, sizeof kJournalMagic);
  encodeFixed64(bytes + 8, t.volume);
  encodeFixed64(bytes + 16, t.fileId);
  encodeFixed64(bytes + 24, t.oldLength);
  encodeFixed64(bytes + 32, t.newLength);
  encodeFixed64(bytes + 40, t.checksum);
  Checksum own;
  own.update(bytes, 48);
  encodeFixed64(bytes + 48, own.value());
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

bool decodeTrailer(const unsigned char* bytes, Trailer* t) {
  Checksum own;
  own.update(bytes, 48);
  if (std::memcmp(bytes, kJournalMagic, sizeof kJournalMagic) != 0 ||
      decodeFixed64(bytes + 48) != own.value()) {
    return false;
  }
  t->volume = decodeFixed64(bytes + 8);
  t->fileId = decodeFixed64(bytes + 16);
  t->oldLength = decodeFixed64(bytes + 24);
  t->newLength = decodeFixed64(bytes + 32);
  t->checksum = decodeFixed64(bytes + 40);
  return true;
}

std::u16string folderOf(std::u16string_view path) {
  const PathParts parts = splitPath(path);
  return parts.drive + parts.dir;
}

std::u16string lastNameOf(std::u16string_view path) {
  const PathParts parts = splitPath(path);
  return parts.name + parts.ext;
}

// Six characters no other temporary name of this process has, and that
// another process is unlikely to pick: a counter shared by every thread,
// mixed with a seed drawn from the clock and where this code was loaded.
std::u16string uniquePart() {
  static std::atomic<uint64_t> counter{0};
  static const uint64_t seed =
      static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^
      reinterpret_cast<uintptr_t>(&counter);
  uint64_t x = seed + (counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  x ^= x >> 31;
  static const char16_t kDigits[] = u"0123456789abcdefghijklmnopqrstuvwxyz";
  std::u16string out;
  for (size_t i = 0; i < kTempUniqueLength; ++i, x /= 36) out += kDigits[x % 36];
  return out;
}

// A new temporary file beside `target`: "~NAME.XXXXXX.tmp".
Status createTemporary(Env& env, std::u16string_view target, std::u16string* path,
                       std::unique_ptr<File>* file) {
  const std::u16string prefix = folderOf(target) + u"~" + lastNameOf(target) + u".";
  Status s;
  for (int attempt = 0; attempt < 100; ++attempt) {
    *path = prefix + uniquePart() + std::u16string(kTempSuffix);
    s = env.openFile(*path, OpenMode::kCreateTemporary, file);
    if (s.kind() != ErrorKind::kExists) break;
  }
  if (!s.ok()) path->clear();
  return s;
}

Status refused(ErrorKind kind, const std::string& operation, std::u16string_view path) {
  return Status::error(kind, 0, operation, path);
}

// Copies [from, to) of `source` to the same offsets of `target`. *wroteOld
// is set once a write may have reached the first `oldLength` bytes.
Status copyRange(File& source, File& target, uint64_t from, uint64_t to, bool* wroteOld = nullptr,
                 uint64_t oldLength = 0) {
  if (from >= to) return Status();
  if (wroteOld && from < oldLength) *wroteOld = true;
  return target.copyFrom(source, from, from, to - from);
}

// The checksum of the first `length` bytes of `file`.
Status checksumOf(File& file, uint64_t length, std::vector<unsigned char>& buffer,
                  uint64_t* value) {
  Checksum sum;
  for (uint64_t at = 0; at < length; at += buffer.size()) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - at));
    Status s = readExactly(file, at, buffer.data(), n);
    if (!s.ok()) return s;
    sum.update(buffer.data(), n);
  }
  *value = sum.value();
  return Status();
}

// Makes the new file in `temporary` (synced; `file` open on it) the
// journal of a write-over of `target`: its record appended and synced, then
// renamed to `journalName`, never over another file. *record receives what
// it records.
Status makeJournal(Env& env, std::unique_ptr<File> file, const std::u16string& temporary,
                   const FileInfo& target, const std::u16string& journalName, Trailer* record) {
  std::vector<unsigned char> buffer(kCopyBlock);
  record->volume = target.volume;
  record->fileId = target.fileId;
  record->oldLength = target.size;
  Status s = file->size(&record->newLength);
  if (s.ok()) s = checksumOf(*file, record->newLength, buffer, &record->checksum);
  (void)file->close();  // synced before, and only read since
  // It may be open for reading only (when a rename failed).
  std::unique_ptr<File> writable;
  if (s.ok()) s = env.openFile(temporary, OpenMode::kReadWrite, &writable);
  if (s.ok()) {
    const std::string trailer = encodeTrailer(*record);
    s = writable->write(record->newLength, trailer.data(), trailer.size());
  }
  if (s.ok()) s = writable->sync();
  if (writable) (void)writable->close();  // synced, or given up
  if (s.ok()) s = env.renameNoReplace(temporary, journalName);
  return s;
}

// What writing a journal over its target did.
enum class Applied { kNotChanged, kDone, kTorn };

// Writes the new content of `journal` over `target` (opened for update,
// whose identity the trailer holds) and syncs it. The part past the old
// length is written first: a full disk fails there, before a byte of the
// target changed. When `undoable`, a failure before any old byte was
// written cuts the target back and leaves it as it was (kNotChanged).
Applied applyJournal(File& journal, File& target, const Trailer& t, bool undoable, Status* cause) {
  uint64_t length = 0;
  Status s = target.size(&length);
  if (!s.ok()) {
    *cause = s;
    return Applied::kNotChanged;
  }
  const uint64_t oldLength = std::min(length, t.oldLength);
  if (t.newLength > oldLength) {
    s = copyRange(journal, target, oldLength, t.newLength);
    if (s.ok()) s = target.sync();
    if (!s.ok() && undoable) {
      // Cut back to the old length, the target is the old file again;
      // should that fail too, the journal finishes it another time.
      *cause = s;
      if (target.truncate(t.oldLength).ok() && target.sync().ok()) return Applied::kNotChanged;
      return Applied::kTorn;
    }
  }
  bool wroteOld = false;
  if (s.ok())
    s = copyRange(journal, target, 0, std::min(oldLength, t.newLength), &wroteOld, oldLength);
  if (!s.ok() && undoable && !wroteOld) {
    // Not a byte of the old file changed: cutting off what was added
    // restores it.
    const Status cut = t.newLength > oldLength ? target.truncate(oldLength) : Status();
    if (cut.ok() && target.sync().ok()) {
      *cause = s;
      return Applied::kNotChanged;
    }
  }
  if (s.ok()) s = target.truncate(t.newLength);
  if (s.ok()) s = target.sync();
  *cause = s;
  return s.ok() ? Applied::kDone : Applied::kTorn;
}

}  // namespace

Status lookUp(Env& env, std::u16string_view path, bool* exists, FileInfo* info) {
  const Status s = env.fileInfo(path, info);
  *exists = s.ok();
  return s.kind() == ErrorKind::kNotFound ? Status() : s;
}

Status checkChangeable(const FileInfo& info, const char* operation, std::u16string_view path) {
  if (info.isDirectory) return refused(ErrorKind::kAccessDenied, operation, path);
  if (!info.isRegular) return refused(ErrorKind::kAccessDenied, operation, path);
  if (info.readOnly) {
    return refused(ErrorKind::kAccessDenied, std::string(operation) + " (read-only)", path);
  }
  return Status();
}

Status deleteFile(Env& env, std::u16string_view path, bool* removed) {
  if (removed) *removed = false;
  bool exists = false;
  FileInfo info;
  Status s = lookUp(env, path, &exists, &info);
  if (!s.ok()) return s;
  // A link is removed whatever it leads to; a dangling one looks absent.
  if (exists && !info.isLink) s = checkChangeable(info, "remove", path);
  if (s.ok()) s = env.removeFile(path);
  if (!s.ok()) return s;
  if (removed) *removed = true;
  // Gone for good only once the folder is synced.
  return env.syncDirectory(folderOf(path));
}

Status openForUpdate(Env& env, std::u16string_view path, std::unique_ptr<File>* file) {
  std::unique_ptr<File> opened;
  Status s = env.openFile(path, OpenMode::kReadWrite, &opened);
  FileInfo info;
  if (s.ok()) s = opened->stat(&info);
  if (s.ok()) s = checkChangeable(info, "open", path);
  if (!s.ok()) {
    if (opened) (void)opened->close();  // nothing was written through it
    return s;
  }
  *file = std::move(opened);
  return Status();
}

std::u16string journalPath(std::u16string_view target) {
  return folderOf(target) + u"~" + lastNameOf(target) + u".new";
}

bool isTemporaryOf(std::u16string_view name, std::u16string_view targetName) {
  const size_t prefix = 1 + targetName.size() + 1;
  return name.size() == prefix + kTempUniqueLength + kTempSuffix.size() && name[0] == u'~' &&
         name.substr(1, targetName.size()) == targetName && name[prefix - 1] == u'.' &&
         name.substr(name.size() - kTempSuffix.size()) == kTempSuffix;
}

bool isWriterFileOf(std::u16string_view name, std::u16string_view targetName) {
  if (isTemporaryOf(name, targetName)) return true;
  const std::u16string own = u"~" + std::u16string(targetName);
  return name == own + u".new" || name == own + u".lock";
}

Status leftoverTemporaries(Env& env, std::u16string_view target,
                           std::vector<std::u16string>* leftovers) {
  leftovers->clear();
  const std::u16string folder = folderOf(target), name = lastNameOf(target);
  std::vector<DirEntry> entries;
  const Status s = findFiles(env, folder + u"~" + name + u".*.tmp", false, &entries);
  if (s.kind() == ErrorKind::kNotFound) return Status();
  if (!s.ok()) return s;
  for (const DirEntry& entry : entries) {
    if (!entry.isDirectory && isTemporaryOf(entry.name, name)) {
      leftovers->push_back(folder + entry.name);
    }
  }
  return Status();
}

namespace {

// A journal proved to be the one a write-over of the target left: its
// record, and both files opened.
struct ProvedJournal {
  Trailer record;
  std::unique_ptr<File> journal, target;
  FileInfo targetNow;
};

// Proves the journal `journalName` of `target`: *proved is false for one
// that is not ours, or does not match the target as found; a status that
// cannot be read is the failure it is.
Status proveJournal(Env& env, const std::u16string& journalName, std::u16string_view target,
                    ProvedJournal* journal, bool* proved) {
  *proved = false;
  // Only a plain file of the target's owner or of the caller is a journal
  // of ours: never a link, nor a file planted by someone else.
  FileInfo entry, targetInfo;
  bool targetExists = false;
  Status s = env.entryInfo(journalName, &entry);
  if (s.ok()) s = lookUp(env, target, &targetExists, &targetInfo);
  if (!s.ok()) return s;
  if (entry.isLink || !entry.isRegular || !targetExists) return Status();
  if (!entry.ownedByCaller && entry.owner != targetInfo.owner) return Status();
  s = env.openFile(journalName, OpenMode::kRead, &journal->journal);
  if (s.kind() == ErrorKind::kAccessDenied) return Status();  // a folder, a device: not ours
  uint64_t size = 0;
  if (s.ok()) s = journal->journal->size(&size);
  if (!s.ok() || size < kTrailerSize) return s;
  unsigned char bytes[kTrailerSize];
  s = readExactly(*journal->journal, size - kTrailerSize, bytes, sizeof bytes);
  Trailer& t = journal->record;
  if (!s.ok() || !decodeTrailer(bytes, &t) || t.newLength != size - kTrailerSize) return s;
  // The target must be the file the journal was made for, as a write-over
  // leaves it: the old length, or the new one once the part past the old
  // length was written. And the journal must hold what its record says.
  if (!targetInfo.isRegular || targetInfo.readOnly) return Status();
  s = openForUpdate(env, target, &journal->target);
  FileInfo& now = journal->targetNow;
  if (s.ok()) s = journal->target->stat(&now);
  if (!s.ok()) return s;
  if (now.volume != t.volume || now.fileId != t.fileId ||
      (now.size != t.oldLength && now.size != t.newLength)) {
    return Status();
  }
  std::vector<unsigned char> buffer(kCopyBlock);
  uint64_t sum = 0;
  s = checksumOf(*journal->journal, t.newLength, buffer, &sum);
  *proved = s.ok() && sum == t.checksum;
  return s;
}

}  // namespace

Status finishWriteOver(Env& env, std::u16string_view target, JournalState* state) {
  *state = JournalState::kNone;
  const std::u16string journalName = journalPath(target);
  bool exists = false, proved = false;
  FileInfo info;
  Status s = lookUp(env, journalName, &exists, &info);
  if (!s.ok() || !exists) return s;
  *state = JournalState::kForeign;
  ProvedJournal journal;
  s = proveJournal(env, journalName, target, &journal, &proved);
  if (!s.ok() || !proved) return s;
  const Trailer& t = journal.record;
  // Already done when the target holds the new content: a journal whose
  // removal failed.
  std::vector<unsigned char> buffer(kCopyBlock);
  uint64_t targetSum = 0;
  bool done = journal.targetNow.size == t.newLength;
  if (done) {
    s = checksumOf(*journal.target, t.newLength, buffer, &targetSum);
    if (!s.ok()) return s;
    done = targetSum == t.checksum;
  }
  if (!done && applyJournal(*journal.journal, *journal.target, t, false, &s) != Applied::kDone) {
    return s;
  }
  // Both synced or only read: closing cannot lose anything.
  (void)journal.target->close();
  (void)journal.journal->close();
  s = env.removeFile(journalName);
  if (!s.ok()) return s;
  *state = JournalState::kFinished;
  // A journal that comes back after a power loss is proved again, and
  // found done.
  (void)env.syncDirectory(folderOf(target));
  return Status();
}

NewFile::~NewFile() {
  discard();
}

void NewFile::discard() {
  // Given up: what closing says no longer matters, and a temporary file
  // that cannot be removed is a leftover the next edit sweeps (slb check
  // names it), never the target.
  if (file_) (void)file_->close();
  file_.reset();
  if (!temporary_.empty()) (void)env_.removeFile(temporary_);
  temporary_.clear();
}

Status NewFile::begin(std::u16string_view target, Replace replace, Locking locking, Links links) {
  Status s = prepare(target, replace, locking, links);
  return s.ok() ? createTemporary() : s;
}

Status NewFile::createTemporary() {
  return platform::createTemporary(env_, target_, &temporary_, &file_);
}

Status NewFile::prepare(std::u16string_view target, Replace replace, Locking locking, Links links) {
  replace_ = replace;
  Status s;
  if (links == Links::kFollow) {
    s = env_.resolveLink(target, &target_);
  } else {
    target_ = target;
  }
  if (!s.ok()) return s;
  folder_ = folderOf(target_);
  if (locking == Locking::kTake) {
    // With the name locked, a write-over a kill cut short is finished first.
    JournalState journal;
    s = env_.lockName(target_, kEditLockTimeoutMs, &lock_);
    if (s.ok()) s = finishWriteOver(env_, target_, &journal);
  }
  if (s.ok() && links == Links::kReplace) {
    // A link in the target's place is replaced as a file of its own would be.
    s = env_.entryInfo(target_, &info_);
    exists_ = s.ok();
    if (s.kind() == ErrorKind::kNotFound) s = Status();
    if (s.ok() && exists_ && info_.isLink) {
      info_ = FileInfo();
      info_.attributes = env_.newFileAttributes();
    }
  } else if (s.ok()) {
    s = lookUp(env_, target_, &exists_, &info_);
  }
  if (!s.ok()) return s;
  if (exists_) {
    if (replace == Replace::kNever) return refused(ErrorKind::kExists, "create", target);
    s = checkChangeable(info_, "replace", target);
  }
  return s;
}

void NewFile::takeAttributesOf(const FileInfo& source) {
  ownAttributes_ = true;
  attributesFrom_ = source;
}

Status NewFile::publish() {
  published_ = Published::kNo;
  if (!file_) return refused(ErrorKind::kOther, "publish", target_);
  const bool inPlace = exists_ && info_.links > 1;
  Status s = inPlace ? Status() : giveAttributes();
  if (s.ok()) s = file_->sync();
  if (!s.ok()) {
    discard();
    return s;
  }
  if (inPlace) return writeOver();
  s = rename();
  if (!s.ok()) {
    // Another program holding the target open forbids replacing it (a
    // sharing violation on Windows), not writing over it.
    const bool held =
        exists_ && !temporary_.empty() &&
        (s.kind() == ErrorKind::kBusy || (s.kind() == ErrorKind::kAccessDenied && !info_.readOnly));
    if (held && env_.openFile(temporary_, OpenMode::kRead, &file_).ok()) return writeOver();
    discard();
    return s;
  }
  temporary_.clear();
  s = env_.syncDirectory(folder_);
  if (!s.ok()) {
    published_ = Published::kUnsynced;
    return Status::error(s.kind(), s.systemError(), s.operation() + " (the new file is in place)",
                         s.path());
  }
  published_ = Published::kYes;
  return Status();
}

// A replaced file keeps its owner and group where the caller may give them
// back (root); then its mode, which a change of owner would clear of
// set-user-ID bits. All through the handle, before the new file has a name
// anyone else could reach.
Status NewFile::giveAttributes() {
  if (exists_) {
    const Status owned = file_->setOwner(info_.owner, info_.group);
    if (!owned.ok() && owned.kind() != ErrorKind::kAccessDenied) return owned;
  }
  const FileInfo* replaced = exists_ ? &info_ : nullptr;
  const uint32_t attributes = ownAttributes_ ? env_.attributesOfCopy(attributesFrom_, replaced)
                              : exists_      ? info_.attributes
                                             : env_.newFileAttributes();
  Status s = file_->setAttributes(attributes);
  if (s.ok() && ownAttributes_) s = file_->setModified(attributesFrom_.modified);
  return s;
}

// Closes the synced temporary file (Windows renames no open file) and gives
// it the target's name.
Status NewFile::rename() {
  // The name must still be the file written: in a folder others may write,
  // it could have been swapped for something of theirs meanwhile.
  FileInfo written, named;
  Status s = file_->stat(&written);
  (void)file_->close();  // synced: a failure to close loses nothing
  file_.reset();
  if (s.ok()) s = env_.entryInfo(temporary_, &named);
  if (s.ok() && (named.isLink || !named.sameFileAs(written))) {
    temporary_.clear();  // not ours to remove
    return refused(ErrorKind::kAccessDenied, "publish (the temporary file was replaced)", target_);
  }
  if (!s.ok()) return s;
  const bool fresh = !exists_ || replace_ == Replace::kNever;
  s = fresh ? env_.renameNoReplace(temporary_, target_) : env_.renameReplacing(temporary_, target_);
  if (s.kind() == ErrorKind::kExists && replace_ == Replace::kAlways) {
    // A file appeared at the target meanwhile, made by a program that
    // takes no lock: replaced, as it would have been a moment later.
    bool appeared = false;
    FileInfo now;
    s = lookUp(env_, target_, &appeared, &now);
    if (s.ok()) s = appeared ? checkChangeable(now, "replace", target_) : Status();
    if (s.ok()) s = env_.renameReplacing(temporary_, target_);
  }
  return s;
}

// The new file, complete and synced in the temporary file, goes over the
// target in place. It becomes the journal first: its trailer says which
// file it belongs to and what it holds, and it is renamed to the
// journal's name and made durable before the first byte of the target
// changes, so that a kill midway is finished by the next writer.
Status NewFile::writeOver() {
  Trailer t;
  const std::u16string journalName = journalPath(target_);
  Status s = makeJournal(env_, std::move(file_), temporary_, info_, journalName, &t);
  if (!s.ok()) {
    discard();
    return s;
  }
  temporary_.clear();
  s = env_.syncDirectory(folder_);
  std::unique_ptr<File> journal, target;
  FileInfo now;
  if (s.ok()) s = env_.openFile(journalName, OpenMode::kRead, &journal);
  if (s.ok()) s = openForUpdate(env_, target_, &target);
  if (s.ok()) s = target->stat(&now);
  if (s.ok() && (!now.sameFileAs(info_) || now.size != info_.size)) {
    s = refused(ErrorKind::kBusy, "write over (changed meanwhile)", target_);
  }
  Applied applied = Applied::kNotChanged;
  if (s.ok()) applied = applyJournal(*journal, *target, t, true, &s);
  if (applied == Applied::kDone && ownAttributes_) {
    // A copy's attributes and time, on the file every name now shows.
    s = target->setAttributes(env_.attributesOfCopy(attributesFrom_, &info_));
    if (s.ok()) s = target->setModified(attributesFrom_.modified);
    if (s.ok()) s = target->sync();
  }
  // The target was synced (or given up), the journal only read.
  if (journal) (void)journal->close();
  if (target) (void)target->close();
  if (applied == Applied::kNotChanged) {
    // Not a byte of the target was written. A journal that cannot be
    // removed would be finished by the next writer: then it is where the
    // new file is kept.
    if (!env_.removeFile(journalName).ok()) {
      published_ = Published::kTorn;
      kept_ = journalName;
    }
    return s;
  }
  if (!s.ok()) {
    published_ = Published::kTorn;
    kept_ = journalName;
    return Status::error(s.kind(), s.systemError(),
                         s.operation() + " (the new file is kept in " + toUtf8(journalName) + ")",
                         s.path());
  }
  s = env_.removeFile(journalName);
  if (!s.ok()) {
    published_ = Published::kJournalKept;
    kept_ = journalName;
    return s;
  }
  // A journal that comes back after a power loss is proved, found done and
  // removed.
  (void)env_.syncDirectory(folder_);
  published_ = Published::kYes;
  return Status();
}

Status writeNewFile(Env& env, std::u16string_view path, std::string_view bytes, Replace replace,
                    Published* published, std::u16string* kept) {
  NewFile out(env);
  Status s = out.begin(path, replace, Locking::kTake, Links::kReplace);
  if (s.ok()) s = out.file().write(0, bytes.data(), bytes.size());
  if (s.ok()) s = out.publish();
  if (published) *published = out.published();
  if (kept) *kept = out.keptPath();
  return s;
}

Status copyFile(Env& env, std::u16string_view from, std::u16string_view to, Replace replace,
                Published* published, std::u16string* kept) {
  if (published) *published = Published::kNo;
  std::unique_ptr<File> source;
  FileInfo sourceInfo;
  Status s = env.openFile(from, OpenMode::kRead, &source);
  if (s.ok()) s = source->stat(&sourceInfo);
  NewFile out(env);
  if (s.ok()) s = out.begin(to, replace);
  if (!s.ok()) return s;
  // Copying a file onto itself would cut it first.
  if (out.targetExists() && out.targetInfo().sameFileAs(sourceInfo)) {
    return refused(ErrorKind::kInvalidName, "copy onto itself", to);
  }
  // The length the source had when it was opened, in one copy; then
  // whatever it grew by meanwhile, to its end.
  s = out.file().copyFrom(*source, 0, 0, sourceInfo.size);
  std::vector<unsigned char> buffer(kCopyBlock);
  for (uint64_t at = sourceInfo.size; s.ok();) {
    size_t got = 0;
    s = readFully(*source, at, buffer.data(), buffer.size(), &got);
    if (s.ok() && got > 0) s = out.file().write(at, buffer.data(), got);
    if (got < buffer.size()) break;
    at += got;
  }
  if (!s.ok()) return s;
  (void)source->close();  // only read
  out.takeAttributesOf(sourceInfo);
  s = out.publish();
  if (published) *published = out.published();
  if (kept) *kept = out.keptPath();
  return s;
}

Status appendFile(Env& env, std::u16string_view from, std::u16string_view to, uint64_t* copied) {
  *copied = 0;
  std::unique_ptr<File> source, target;
  FileInfo sourceInfo, targetInfo;
  Status s = env.openFile(from, OpenMode::kRead, &source);
  if (s.ok()) s = source->stat(&sourceInfo);
  if (s.ok()) s = openForUpdate(env, to, &target);
  if (s.ok()) s = target->stat(&targetInfo);
  if (!s.ok()) return s;
  // A file appended to itself would grow as long as the disk allows.
  if (targetInfo.sameFileAs(sourceInfo)) {
    return refused(ErrorKind::kInvalidName, "append onto itself", to);
  }
  const uint64_t start = targetInfo.size;
  std::vector<unsigned char> buffer(kCopyBlock);
  uint64_t done = 0;
  for (;;) {
    size_t got = 0;
    s = readFully(*source, done, buffer.data(), buffer.size(), &got);
    if (s.ok() && got > 0) s = target->write(start + done, buffer.data(), got);
    if (!s.ok()) break;
    done += got;
    if (got < buffer.size()) break;
  }
  if (s.ok()) s = target->sync();
  if (!s.ok()) {
    // All or nothing: cut back to where it ended.
    Status undone = target->truncate(start);
    if (undone.ok()) undone = target->sync();
    if (undone.ok()) return s;
    return Status::error(s.kind(), s.systemError(),
                         s.operation() + " (and cutting it back failed: " + undone.toString() + ")",
                         s.path());
  }
  *copied = done;
  return Status();  // synced: a failed close loses nothing
}

}  // namespace platform
