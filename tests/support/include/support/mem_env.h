// An Env that keeps its files in memory, for engine tests and fuzzers: no
// disk, no host, and a model of what survives a power loss.
//
// Names compare ignoring case, '\' and '/' both separate folders, and a
// drive is ignored, as on the host's file systems. The current directory is
// the root. Durability follows the rules of a POSIX file system: a file's
// data survives a power loss once the file was synced, and a name created,
// removed or replaced survives once its folder was synced.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace platform {

class MemEnv : public Env {
 public:
  MemEnv();
  ~MemEnv() override;

  // Test setup. Files and folders made here are durable at once.
  void addFile(std::u16string_view path, std::string_view bytes);
  void addDirectory(std::u16string_view path);
  // Gives the file at `existing` a second name.
  void addHardLink(std::u16string_view existing, std::u16string_view link);
  void setReadOnly(std::u16string_view path, bool readOnly);

  // The bytes of the file at `path`, or nothing when there is none.
  std::optional<std::string> contents(std::u16string_view path) const;
  // The paths of every file, in creation order of their names.
  std::vector<std::u16string> files() const;

  // Drops whatever was not made durable: data written since a file's last
  // sync, and names changed since their folder's last sync. Open files stay
  // usable but no longer reach the files under their names.
  void powerLoss();

  Status findFiles(std::u16string_view pattern, bool wantSizes,
                   std::vector<DirEntry>* entries) override;
  Status fileInfo(std::u16string_view path, FileInfo* info) override;
  Status copyFile(std::u16string_view from, std::u16string_view to) override;
  Status removeFile(std::u16string_view path) override;
  Status renameFile(std::u16string_view from, std::u16string_view to) override;
  Status createDirectory(std::u16string_view path) override;
  Status openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) override;
  Status createTempFile(std::u16string_view directory, std::u16string_view prefix,
                        std::u16string* path, std::unique_ptr<File>* file) override;
  Status replaceFile(std::u16string_view from, std::u16string_view to) override;
  Status syncDirectory(std::u16string_view directory) override;
  Status resolveLink(std::u16string_view path, std::u16string* resolved) override;
  Status lockName(std::u16string_view path, int timeoutMs,
                  std::unique_ptr<NameLock>* lock) override {
    return lockFileOfName(*this, path, timeoutMs, lock);
  }

  struct Node;

 private:
  struct Name {
    std::u16string path;  // as created, normalised
    std::shared_ptr<Node> node;
    uint64_t order = 0;
  };
  using Names = std::map<std::u16string, Name>;  // key: the folded path

  const Name* find(std::u16string_view path) const;
  std::shared_ptr<Node> newNode(bool directory);
  bool parentExists(const std::u16string& key) const;
  Status makeFile(std::u16string_view path, const char* operation, std::shared_ptr<Node>* node);

  Names names_;
  Names durableNames_;
  std::vector<std::shared_ptr<Node>> nodes_;
  uint64_t nextOrder_ = 0;
  uint64_t nextTemp_ = 0;
};

}  // namespace platform
