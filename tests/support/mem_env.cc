#include "support/mem_env.h"

#include <algorithm>
#include <cstring>

#include "platform/path.h"
#include "platform/text.h"

namespace platform {

struct MemEnv::Node {
  bool directory = false;
  uint32_t attributes = 0644;
  int64_t modified = 0;
  uint32_t owner = 0, group = 0;
  uint64_t id = 0;
  std::string data;
  std::string durableData;
  struct Lock {
    const void* holder;  // the handle
    uint64_t offset, length;
  };
  std::vector<Lock> locks;
};

namespace {

// The path without its drive, with '/' between names and no "." names.
std::u16string normalise(std::u16string_view path) {
  if (path.size() >= 2 && path[1] == u':') path.remove_prefix(2);
  std::u16string out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view name = path.substr(start, end - start);
    if (!name.empty() && name != u".") {
      if (!out.empty()) out += u'/';
      out += name;
    }
    start = end + 1;
  }
  return out;
}

std::u16string keyOf(std::u16string_view path) {
  return toLowerWide(normalise(path));
}

std::u16string parentOf(const std::u16string& key) {
  const size_t slash = key.rfind(u'/');
  return slash == std::u16string::npos ? std::u16string() : key.substr(0, slash);
}

std::u16string lastName(const std::u16string& path) {
  const size_t slash = path.rfind(u'/');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

Status failure(ErrorKind kind, const char* operation, std::u16string_view path) {
  return Status::error(kind, 0, operation, path);
}

class MemFile : public File {
 public:
  MemFile(const MemEnv* env, std::shared_ptr<MemEnv::Node> node, std::u16string path, bool writable)
      : env_(env), node_(std::move(node)), path_(std::move(path)), writable_(writable) {}

  Status read(uint64_t offset, void* data, size_t n, size_t* got) override {
    if (!node_) return failure(ErrorKind::kIoError, "read", path_);
    const std::string& bytes = node_->data;
    *got = offset >= bytes.size() ? 0 : std::min<uint64_t>(n, bytes.size() - offset);
    if (*got > 0) std::memcpy(data, bytes.data() + offset, *got);
    return Status();
  }

  Status write(uint64_t offset, const void* data, size_t n) override {
    if (!node_ || !writable_) return failure(ErrorKind::kAccessDenied, "write", path_);
    std::string& bytes = node_->data;
    if (bytes.size() < offset + n) bytes.resize(offset + n, '\0');
    if (n > 0) std::memcpy(bytes.data() + offset, data, n);
    return Status();
  }

  // Another MemFile's bytes are copied at once, as the kernel copies.
  Status copyFrom(File& source, uint64_t sourceOffset, uint64_t offset, uint64_t n) override {
    auto* from = dynamic_cast<MemFile*>(&source);
    if (!from) return File::copyFrom(source, sourceOffset, offset, n);
    if (!node_ || !writable_) return failure(ErrorKind::kAccessDenied, "write", path_);
    if (!from->node_) return failure(ErrorKind::kIoError, "read", from->path_);
    const std::string& bytes = from->node_->data;
    if (sourceOffset > bytes.size() || bytes.size() - sourceOffset < n) {
      return failure(ErrorKind::kIoError, "copy (the file ends sooner) from", from->path_);
    }
    const std::string piece =
        bytes.substr(static_cast<size_t>(sourceOffset), static_cast<size_t>(n));
    return write(offset, piece.data(), piece.size());
  }

  Status size(uint64_t* size) override {
    if (!node_) return failure(ErrorKind::kIoError, "size", path_);
    *size = node_->data.size();
    return Status();
  }

  Status truncate(uint64_t size) override {
    if (!node_ || !writable_) return failure(ErrorKind::kAccessDenied, "truncate", path_);
    node_->data.resize(size, '\0');
    return Status();
  }

  Status sync() override {
    if (!node_) return failure(ErrorKind::kIoError, "sync", path_);
    node_->durableData = node_->data;
    return Status();
  }
  std::u16string path() const override { return path_; }

  // Locks exclude other handles at once: nothing else runs to release them.
  Status lock(uint64_t offset, uint64_t length, int) override {
    if (!node_) return failure(ErrorKind::kIoError, "lock", path_);
    for (const MemEnv::Node::Lock& held : node_->locks) {
      if (held.holder != this && held.offset < offset + length &&
          offset < held.offset + held.length) {
        return failure(ErrorKind::kBusy, "lock", path_);
      }
    }
    node_->locks.push_back({this, offset, length});
    return Status();
  }

  Status stat(FileInfo* info) override {
    if (!node_) return failure(ErrorKind::kIoError, "stat", path_);
    *info = FileInfo();
    info->size = node_->data.size();
    info->attributes = node_->attributes;
    info->readOnly = (node_->attributes & 0222) == 0;
    info->modified = node_->modified;
    info->owner = node_->owner;
    info->group = node_->group;
    info->fileId = node_->id;
    info->links = env_->linkCount(node_.get());
    return Status();
  }

  Status setAttributes(uint32_t attributes) override {
    if (!node_) return failure(ErrorKind::kIoError, "chmod", path_);
    node_->attributes = attributes;
    return Status();
  }

  Status setOwner(uint32_t owner, uint32_t group) override {
    if (!node_) return failure(ErrorKind::kIoError, "chown", path_);
    node_->owner = owner;
    node_->group = group;
    return Status();
  }

  Status setModified(int64_t modified) override {
    if (!node_) return failure(ErrorKind::kIoError, "utime", path_);
    node_->modified = modified;
    return Status();
  }

  Status close() override {
    if (node_) {
      auto& locks = node_->locks;
      locks.erase(std::remove_if(locks.begin(), locks.end(),
                                 [this](const MemEnv::Node::Lock& l) { return l.holder == this; }),
                  locks.end());
    }
    node_.reset();
    return Status();
  }
  ~MemFile() override { (void)close(); }

 private:
  const MemEnv* env_;
  std::shared_ptr<MemEnv::Node> node_;
  std::u16string path_;
  bool writable_;
};

}  // namespace

MemEnv::MemEnv() = default;
MemEnv::~MemEnv() = default;

const MemEnv::Name* MemEnv::find(std::u16string_view path) const {
  auto it = names_.find(keyOf(path));
  return it == names_.end() ? nullptr : &it->second;
}

std::shared_ptr<MemEnv::Node> MemEnv::newNode(bool directory) {
  auto node = std::make_shared<Node>();
  node->directory = directory;
  node->id = nodes_.size() + 1;
  nodes_.push_back(node);
  return node;
}

bool MemEnv::parentExists(const std::u16string& key) const {
  const std::u16string parent = parentOf(key);
  if (parent.empty()) return true;
  auto it = names_.find(parent);
  return it != names_.end() && it->second.node->directory;
}

Status MemEnv::makeFile(std::u16string_view path, const char* operation,
                        std::shared_ptr<Node>* node) {
  const std::u16string key = keyOf(path);
  if (key.empty() || !parentExists(key)) return failure(ErrorKind::kNotFound, operation, path);
  *node = newNode(false);
  names_[key] = Name{normalise(path), *node, nextOrder_++};
  return Status();
}

void MemEnv::addFile(std::u16string_view path, std::string_view bytes) {
  std::shared_ptr<Node> node;
  if (const Name* name = find(path)) {
    node = name->node;
  } else if (!makeFile(path, "add", &node).ok()) {
    return;
  }
  node->data = node->durableData = std::string(bytes);
  durableNames_[keyOf(path)] = names_[keyOf(path)];
}

void MemEnv::addDirectory(std::u16string_view path) {
  const std::u16string key = keyOf(path);
  if (key.empty() || names_.count(key)) return;
  if (!parentExists(key)) addDirectory(parentOf(normalise(path)));
  names_[key] = Name{normalise(path), newNode(true), nextOrder_++};
  durableNames_[key] = names_[key];
}

void MemEnv::addHardLink(std::u16string_view existing, std::u16string_view link) {
  const Name* name = find(existing);
  if (!name) return;
  const std::u16string key = keyOf(link);
  names_[key] = Name{normalise(link), name->node, nextOrder_++};
  durableNames_[key] = names_[key];
}

void MemEnv::setReadOnly(std::u16string_view path, bool readOnly) {
  if (const Name* name = find(path)) name->node->attributes = readOnly ? 0444 : 0644;
}

uint32_t MemEnv::linkCount(const Node* node) const {
  uint32_t links = 0;
  for (const auto& [key, other] : names_) links += other.node.get() == node;
  return links;
}

std::optional<std::string> MemEnv::contents(std::u16string_view path) const {
  const Name* name = find(path);
  if (!name || name->node->directory) return std::nullopt;
  return name->node->data;
}

std::vector<std::u16string> MemEnv::files() const {
  std::vector<const Name*> found;
  for (const auto& [key, name] : names_) {
    if (!name.node->directory) found.push_back(&name);
  }
  std::sort(found.begin(), found.end(),
            [](const Name* a, const Name* b) { return a->order < b->order; });
  std::vector<std::u16string> paths;
  for (const Name* name : found) paths.push_back(name->path);
  return paths;
}

void MemEnv::powerLoss() {
  names_ = durableNames_;
  for (const auto& node : nodes_) node->data = node->durableData;
}

Status MemEnv::openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) {
  const Name* name = find(path);
  if (name && name->node->directory) return failure(ErrorKind::kAccessDenied, "open", path);
  std::shared_ptr<Node> node = name ? name->node : nullptr;
  switch (mode) {
    case OpenMode::kRead:
    case OpenMode::kReadWrite:
      if (!node) return failure(ErrorKind::kNotFound, "open", path);
      break;
    case OpenMode::kCreateNew:
    case OpenMode::kCreateTemporary:
      if (node) return failure(ErrorKind::kExists, "create", path);
      if (Status made = makeFile(path, "create", &node); !made.ok()) return made;
      if (mode == OpenMode::kCreateTemporary) node->attributes = 0600;
      break;
  }
  *file = std::make_unique<MemFile>(this, node, std::u16string(path), mode != OpenMode::kRead);
  return Status();
}

Status MemEnv::fileInfo(std::u16string_view path, FileInfo* info) {
  const Name* name = find(path);
  if (!name) {
    if (keyOf(path).empty()) {  // the current directory
      *info = FileInfo();
      info->isDirectory = true;
      info->isRegular = false;
      return Status();
    }
    return failure(ErrorKind::kNotFound, "stat", path);
  }
  const Node& node = *name->node;
  *info = FileInfo();
  info->isDirectory = node.directory;
  info->isRegular = !node.directory;
  info->readOnly = !node.directory && (node.attributes & 0222) == 0;
  info->size = node.directory ? 0 : node.data.size();
  info->attributes = node.attributes;
  info->modified = node.modified;
  info->owner = node.owner;
  info->group = node.group;
  info->fileId = node.id;
  info->links = linkCount(&node);
  return Status();
}

Status MemEnv::entryInfo(std::u16string_view path, FileInfo* info) {
  return fileInfo(path, info);  // no links here
}

uint32_t MemEnv::attributesOfCopy(const FileInfo& source, const FileInfo* replaced) {
  return replaced ? replaced->attributes : source.attributes & 0755;  // a umask of 022
}

Status MemEnv::listFolder(std::u16string_view folderPath, bool, std::vector<DirEntry>* entries) {
  entries->clear();
  const std::u16string folder = keyOf(folderPath);
  if (!folder.empty()) {
    auto it = names_.find(folder);
    if (it == names_.end() || !it->second.node->directory) {
      return failure(ErrorKind::kNotFound, "list", folderPath);
    }
  }
  for (const auto& [key, name] : names_) {
    if (parentOf(key) != folder) continue;
    DirEntry entry;
    entry.name = lastName(name.path);
    entry.isDirectory = name.node->directory;
    entry.size = name.node->directory ? 0 : name.node->data.size();
    entries->push_back(std::move(entry));
  }
  return Status();
}

Status MemEnv::rename(std::u16string_view from, std::u16string_view to, bool replacing) {
  const Name* source = find(from);
  if (!source) return failure(ErrorKind::kNotFound, "rename", from);
  const std::u16string key = keyOf(to);
  if (key == keyOf(from)) return Status();
  if (!parentExists(key)) return failure(ErrorKind::kNotFound, "rename", to);
  const Name* target = find(to);
  if (target && !replacing) return failure(ErrorKind::kExists, "rename", to);
  if (target && target->node->directory != source->node->directory) {
    return failure(ErrorKind::kAccessDenied, "rename", to);
  }
  const std::u16string shown = target ? target->path : normalise(to);
  std::shared_ptr<Node> node = source->node;
  names_.erase(keyOf(from));
  names_[key] = Name{shown, node, nextOrder_++};
  return Status();
}

Status MemEnv::renameReplacing(std::u16string_view from, std::u16string_view to) {
  return rename(from, to, true);
}

Status MemEnv::renameNoReplace(std::u16string_view from, std::u16string_view to) {
  return rename(from, to, false);
}

Status MemEnv::linkFile(std::u16string_view existing, std::u16string_view link) {
  const Name* source = find(existing);
  if (!source) return failure(ErrorKind::kNotFound, "link", existing);
  if (source->node->directory) return failure(ErrorKind::kAccessDenied, "link", existing);
  const std::u16string key = keyOf(link);
  if (names_.count(key)) return failure(ErrorKind::kExists, "link", link);
  if (!parentExists(key)) return failure(ErrorKind::kNotFound, "link", link);
  names_[key] = Name{normalise(link), source->node, nextOrder_++};
  return Status();
}

Status MemEnv::removeFile(std::u16string_view path) {
  const Name* name = find(path);
  if (!name) return failure(ErrorKind::kNotFound, "remove", path);
  if (name->node->directory) return failure(ErrorKind::kAccessDenied, "remove", path);
  names_.erase(keyOf(path));
  return Status();
}

Status MemEnv::createDirectory(std::u16string_view path) {
  const std::u16string key = keyOf(path);
  if (key.empty() || names_.count(key)) return failure(ErrorKind::kExists, "make folder", path);
  if (!parentExists(key)) return failure(ErrorKind::kNotFound, "make folder", path);
  names_[key] = Name{normalise(path), newNode(true), nextOrder_++};
  return Status();
}

Status MemEnv::syncDirectory(std::u16string_view directory) {
  const std::u16string folder = keyOf(directory);
  for (auto it = durableNames_.begin(); it != durableNames_.end();) {
    it = parentOf(it->first) == folder && !names_.count(it->first) ? durableNames_.erase(it)
                                                                   : std::next(it);
  }
  for (const auto& [key, name] : names_) {
    if (parentOf(key) == folder) durableNames_[key] = name;
  }
  return Status();
}

Status MemEnv::resolveLink(std::u16string_view path, std::u16string* resolved) {
  *resolved = path;
  return Status();
}

namespace {

class MemNameLock : public NameLock {
 public:
  MemNameLock(std::shared_ptr<std::vector<std::u16string>> held, std::u16string key)
      : held_(std::move(held)), key_(std::move(key)) {
    held_->push_back(key_);
  }
  ~MemNameLock() override { held_->erase(std::find(held_->begin(), held_->end(), key_)); }

 private:
  std::shared_ptr<std::vector<std::u16string>> held_;
  std::u16string key_;
};

}  // namespace

Status MemEnv::lockName(std::u16string_view path, int, std::unique_ptr<NameLock>* lock) {
  const std::u16string key = keyOf(path);
  if (std::find(lockedNames_->begin(), lockedNames_->end(), key) != lockedNames_->end()) {
    return failure(ErrorKind::kBusy, "lock", path);
  }
  *lock = std::make_unique<MemNameLock>(lockedNames_, key);
  return Status();
}

}  // namespace platform
