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
  // Takes every write bit away (or gives 0644 back).
  void setReadOnly(std::u16string_view path, bool readOnly);

  // The bytes of the file at `path`, or nothing when there is none.
  std::optional<std::string> contents(std::u16string_view path) const;
  // The paths of every file, in creation order of their names.
  std::vector<std::u16string> files() const;

  // Drops whatever was not made durable: data written since a file's last
  // sync, and names changed since their folder's last sync. Open files stay
  // usable but no longer reach the files under their names.
  void powerLoss();

  Status openFile(std::u16string_view path, OpenMode mode, std::unique_ptr<File>* file) override;
  Status fileInfo(std::u16string_view path, FileInfo* info) override;
  Status entryInfo(std::u16string_view path, FileInfo* info) override;
  Status listFolder(std::u16string_view folder, bool wantSizes,
                    std::vector<DirEntry>* entries) override;
  Status renameReplacing(std::u16string_view from, std::u16string_view to) override;
  Status renameNoReplace(std::u16string_view from, std::u16string_view to) override;
  Status linkFile(std::u16string_view existing, std::u16string_view link) override;
  Status removeFile(std::u16string_view path) override;
  Status createDirectory(std::u16string_view path) override;
  Status syncDirectory(std::u16string_view folder) override;
  Status resolveLink(std::u16string_view path, std::u16string* resolved) override;
  // Held names exclude others at once: nothing else runs to release them.
  Status lockName(std::u16string_view path, int timeoutMs,
                  std::unique_ptr<NameLock>* lock) override;
  uint32_t newFileAttributes() override { return 0644; }
  uint32_t attributesOfCopy(const FileInfo& source, const FileInfo* replaced) override;

  struct Node;
  // The names a file has.
  uint32_t linkCount(const Node* node) const;

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
  Status rename(std::u16string_view from, std::u16string_view to, bool replacing);

  Names names_;
  Names durableNames_;
  std::vector<std::shared_ptr<Node>> nodes_;
  uint64_t nextOrder_ = 0;
  std::shared_ptr<std::vector<std::u16string>> lockedNames_ =
      std::make_shared<std::vector<std::u16string>>();
};

}  // namespace platform
