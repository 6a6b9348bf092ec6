#include "support/mem_env.h"

#include <algorithm>
#include <cstring>

#include "platform/path.h"
#include "platform/text.h"

namespace platform {

struct MemEnv::Node {
  bool directory = false;
  bool readOnly = false;
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
  MemFile(std::shared_ptr<MemEnv::Node> node, std::u16string path, bool writable)
      : node_(std::move(node)), path_(std::move(path)), writable_(writable) {}

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

  Status identify(uint64_t* volume, uint64_t* fileId) override {
    if (!node_) return failure(ErrorKind::kIoError, "stat", path_);
    *volume = 0;
    *fileId = node_->id;
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
  ~MemFile() override { close(); }

 private:
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
  if (const Name* name = find(path)) name->node->readOnly = readOnly;
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

Status MemEnv::findFiles(std::u16string_view pattern, bool, std::vector<DirEntry>* entries) {
  entries->clear();
  const PathParts parts = splitPath(pattern);
  const std::u16string folder = keyOf(parts.drive + parts.dir);
  const std::u16string last = parts.name + parts.ext;
  if (!folder.empty()) {
    auto it = names_.find(folder);
    if (it == names_.end() || !it->second.node->directory) {
      return failure(ErrorKind::kNotFound, "find", pattern);
    }
  }
  std::vector<DirEntry> found;
  for (const char16_t* dots : {u".", u".."}) {
    if (matchesPattern(last, dots)) {
      DirEntry entry;
      entry.name = dots;
      entry.isDirectory = true;
      found.push_back(entry);
    }
  }
  for (const auto& [key, name] : names_) {
    if (parentOf(key) != folder) continue;
    DirEntry entry;
    entry.name = lastName(name.path);
    if (!matchesPattern(last, entry.name)) continue;
    entry.isDirectory = name.node->directory;
    entry.size = name.node->directory ? 0 : name.node->data.size();
    found.push_back(entry);
  }
  if (found.empty()) return failure(ErrorKind::kNotFound, "find", pattern);
  sortByName(&found);
  *entries = std::move(found);
  return Status();
}

Status MemEnv::fileInfo(std::u16string_view path, FileInfo* info) {
  const Name* name = find(path);
  if (!name) {
    if (keyOf(path).empty()) {  // the current directory
      *info = FileInfo();
      info->isDirectory = true;
      return Status();
    }
    return failure(ErrorKind::kNotFound, "stat", path);
  }
  *info = FileInfo();
  info->isDirectory = name->node->directory;
  info->readOnly = name->node->readOnly;
  info->size = name->node->directory ? 0 : name->node->data.size();
  info->fileId = name->node->id;
  info->links = 0;
  for (const auto& [key, other] : names_) info->links += other.node == name->node;
  return Status();
}

Status MemEnv::copyFile(std::u16string_view from, std::u16string_view to) {
  const Name* source = find(from);
  if (!source) return failure(ErrorKind::kNotFound, "copy", from);
  // A folder is no file to copy: the platforms deny it.
  if (source->node->directory) return failure(ErrorKind::kAccessDenied, "copy", from);
  const Name* target = find(to);
  if (target && (target->node->directory || target->node->readOnly)) {
    return failure(ErrorKind::kAccessDenied, "copy", to);
  }
  if (target && target->node == source->node) return failure(ErrorKind::kAccessDenied, "copy", to);
  std::shared_ptr<Node> node = target ? target->node : nullptr;
  if (!node) {
    Status made = makeFile(to, "copy", &node);
    if (!made.ok()) return made;
  }
  node->data = source->node->data;
  return Status();
}

Status MemEnv::removeFile(std::u16string_view path) {
  const Name* name = find(path);
  if (!name) return failure(ErrorKind::kNotFound, "remove", path);
  if (name->node->directory || name->node->readOnly) {
    return failure(ErrorKind::kAccessDenied, "remove", path);
  }
  names_.erase(keyOf(path));
  return Status();
}

Status MemEnv::renameFile(std::u16string_view from, std::u16string_view to) {
  const Name* source = find(from);
  if (!source) return failure(ErrorKind::kNotFound, "rename", from);
  const std::u16string key = keyOf(to);
  if (names_.count(key) && key != keyOf(from)) return failure(ErrorKind::kExists, "rename", to);
  if (!parentExists(key)) return failure(ErrorKind::kNotFound, "rename", to);
  std::shared_ptr<Node> node = source->node;
  names_.erase(keyOf(from));
  names_[key] = Name{normalise(to), node, nextOrder_++};
  return Status();
}

Status MemEnv::createDirectory(std::u16string_view path) {
  const std::u16string key = keyOf(path);
  if (key.empty() || names_.count(key)) return failure(ErrorKind::kExists, "make folder", path);
  if (!parentExists(key)) return failure(ErrorKind::kNotFound, "make folder", path);
  names_[key] = Name{normalise(path), newNode(true), nextOrder_++};
  return Status();
}

Status MemEnv::openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) {
  const Name* name = find(path);
  if (name && name->node->directory) return failure(ErrorKind::kAccessDenied, "open", path);
  std::shared_ptr<Node> node = name ? name->node : nullptr;
  switch (mode) {
    case OpenMode::kRead:
      if (!node) return failure(ErrorKind::kNotFound, "open", path);
      break;
    case OpenMode::kReadWrite:
      if (!node) return failure(ErrorKind::kNotFound, "open", path);
      if (node->readOnly) return failure(ErrorKind::kAccessDenied, "open", path);
      break;
    case OpenMode::kCreateTruncate:
      if (node && node->readOnly) return failure(ErrorKind::kAccessDenied, "open", path);
      if (node) {
        node->data.clear();
      } else {
        Status made = makeFile(path, "open", &node);
        if (!made.ok()) return made;
      }
      break;
  }
  *file = std::make_unique<MemFile>(node, std::u16string(path), mode != OpenMode::kRead);
  return Status();
}

Status MemEnv::createTempFile(std::u16string_view directory, std::u16string_view prefix,
                              std::u16string* path, std::unique_ptr<File>* file) {
  for (;;) {
    std::string unique = std::to_string(1000000 + ++nextTemp_ % 1000000).substr(1);
    std::u16string candidate =
        std::u16string(directory) + std::u16string(prefix) + fromUtf8(unique) + u".tmp";
    if (find(candidate)) continue;
    std::shared_ptr<Node> node;
    Status made = makeFile(candidate, "create temporary", &node);
    if (!made.ok()) return made;
    *path = candidate;
    *file = std::make_unique<MemFile>(node, candidate, true);
    return Status();
  }
}

Status MemEnv::replaceFile(std::u16string_view from, std::u16string_view to) {
  const Name* source = find(from);
  if (!source) return failure(ErrorKind::kNotFound, "replace", from);
  const Name* target = find(to);
  if (target && (target->node->directory || target->node->readOnly)) {
    return failure(ErrorKind::kAccessDenied, "replace", to);
  }
  const std::u16string key = keyOf(to);
  if (!parentExists(key)) return failure(ErrorKind::kNotFound, "replace", to);
  if (key == keyOf(from)) return Status();
  const std::u16string shown = target ? target->path : normalise(to);
  std::shared_ptr<Node> node = source->node;
  names_.erase(keyOf(from));
  names_[key] = Name{shown, node, nextOrder_++};
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

}  // namespace platform
