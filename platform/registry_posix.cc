// The registry on POSIX: one text file in the user's configuration folder,
// read whole and written whole through the write component.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>

#include "platform/env.h"
#include "platform/file_writes.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr std::u16string_view kRoots[] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER",
                                          u"HKEY_LOCAL_MACHINE", u"HKEY_USERS",
                                          u"HKEY_CURRENT_CONFIG"};
constexpr int kLockWaitMs = 30000;

struct Key {
  std::u16string path;  // as first written, the root in capitals
  std::vector<std::pair<std::u16string, RegistryValue>> values;
};

// Keys by their path in capitals, so that a key's own keys follow it.
using Keys = std::map<std::u16string, Key>;

std::u16string upper(std::u16string_view text) {
  return toUpperWide(text);
}

// The key's path with its root in capitals and no empty parts; nothing for
// a path under no root, or holding a control character (which the file's
// lines could not hold).
std::optional<std::u16string> keyPath(std::u16string_view given) {
  for (char16_t c : given) {
    if (c < 0x20 || c == 0x7F) return std::nullopt;
  }
  std::vector<std::u16string_view> parts;
  for (size_t start = 0; start <= given.size();) {
    size_t end = given.find(u'\\', start);
    if (end == std::u16string_view::npos) end = given.size();
    if (end > start) parts.push_back(given.substr(start, end - start));
    start = end + 1;
  }
  if (parts.empty()) return std::nullopt;
  std::u16string path;
  for (std::u16string_view root : kRoots) {
    if (upper(parts[0]) == root) path = root;
  }
  if (path.empty()) return std::nullopt;
  for (size_t i = 1; i < parts.size(); ++i) path += u"\\" + std::u16string(parts[i]);
  return path;
}

std::u16string folderOf(std::u16string_view path) {
  return std::u16string(path.substr(0, path.rfind(u'/')));
}

std::u16string configurationFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return fromUtf8(xdg);
  const char* home = std::getenv("HOME");
  return fromUtf8(std::string(home && home[0] ? home : ".") + "/.config");
}

// ---------------------------------------------------------------- the file

std::string quoted(std::u16string_view text) {
  std::string out = "\"";
  for (char c : toUtf8(text)) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string fileText(const Keys& keys) {
  std::string out =
      "; zchost's registry: the keys and values of vl-registry-write, in the form of the\n"
      "; registry's export files (UTF-8).\n";
  for (const auto& [folded, key] : keys) {
    out += "\n[" + toUtf8(key.path) + "]\n";
    for (const auto& [name, value] : key.values) {
      out += name.empty() ? std::string("@") : quoted(name);
      if (value.isNumber) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value.number));
        out += std::string("=dword:") + digits + "\n";
      } else {
        out += "=" + quoted(value.text) + "\n";
      }
    }
  }
  return out;
}

// A quoted text from *at; false for anything else.
bool unquote(std::string_view line, size_t* at, std::u16string* text) {
  if (*at >= line.size() || line[*at] != '"') return false;
  std::string out;
  for (size_t i = *at + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      *at = i + 1;
      if (!isValidUtf8(out)) return false;
      *text = fromUtf8(out);
      return true;
    }
    if (c == '\\') {
      if (++i >= line.size()) return false;
      c = line[i] == 'n' ? '\n' : line[i] == 'r' ? '\r' : line[i];
    }
    out += c;
  }
  return false;
}

// The keys the file's text holds; false for text that is not such a file
// (which is then never written over).
bool parse(std::string_view text, Keys* keys) {
  Key* current = nullptr;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']' || !isValidUtf8(line)) return false;
      const std::optional<std::u16string> path = keyPath(fromUtf8(line.substr(1, line.size() - 2)));
      if (!path) return false;
      current = &(*keys)[upper(*path)];
      current->path = *path;
      continue;
    }
    if (!current) return false;
    size_t at = 0;
    std::u16string name;
    if (line[0] == '@') {
      at = 1;
    } else if (!unquote(line, &at, &name)) {
      return false;
    }
    if (at >= line.size() || line[at] != '=') return false;
    ++at;
    RegistryValue value;
    if (line.substr(at, 6) == "dword:") {
      const std::string digits(line.substr(at + 6));
      char* stop = nullptr;
      const unsigned long number = std::strtoul(digits.c_str(), &stop, 16);
      if (digits.empty() || digits.size() > 8 || *stop != '\0') return false;
      value.isNumber = true;
      value.number = static_cast<uint32_t>(number);
    } else if (!unquote(line, &at, &value.text) || at != line.size()) {
      return false;
    }
    current->values.emplace_back(std::move(name), std::move(value));
  }
  return true;
}

// Reads the file into *keys: none when there is no file yet. A file that
// cannot be read, or is not a registry file, is an error.
Status load(Env& env, Keys* keys) {
  const std::u16string path = registryLocation();
  std::unique_ptr<File> file;
  Status s = env.openFile(path, OpenMode::kRead, &file);
  if (s.kind() == ErrorKind::kNotFound) return Status();
  if (!s.ok()) return s;
  std::string text;
  std::string chunk(1 << 16, '\0');
  for (uint64_t offset = 0;;) {
    size_t got = 0;
    s = file->read(offset, chunk.data(), chunk.size(), &got);
    if (!s.ok()) return s;
    if (got == 0) break;
    text.append(chunk, 0, got);
    offset += got;
  }
  if (!parse(text, keys)) {
    return Status::error(ErrorKind::kCorrupt, 0, "read the registry", path);
  }
  return Status();
}

// Changes the file under a lock held from reading it to putting the new one
// in place: two programs writing at once lose neither's values.
template <typename Change>
Status update(Change change) {
  Env& env = *Env::defaultEnv();
  const std::u16string path = registryLocation();
  const std::u16string zchostFolder = folderOf(path);
  for (const std::u16string& folder : {folderOf(zchostFolder), zchostFolder}) {
    Status made = env.createDirectory(folder);
    if (!made.ok() && made.kind() != ErrorKind::kExists) return made;
  }
  std::unique_ptr<NameLock> lock;
  Status s = env.lockName(path + u".edit", kLockWaitMs, &lock);
  if (!s.ok()) return s;
  Keys keys;
  s = load(env, &keys);
  if (!s.ok()) return s;
  s = change(keys);
  if (!s.ok()) return s;
  return writeNewFile(env, path, fileText(keys));
}

Status notFound(std::u16string_view key) {
  return Status::error(ErrorKind::kNotFound, 0, "find registry key", key);
}

}  // namespace

std::u16string registryLocation() {
  return configurationFolder() + u"/zchost/registry";
}

Status registryRead(std::u16string_view key, std::u16string_view name, RegistryValue* value) {
  const std::optional<std::u16string> path = keyPath(key);
  if (!path) return notFound(key);
  Keys keys;
  Status s = load(*Env::defaultEnv(), &keys);
  if (!s.ok()) return s;
  auto it = keys.find(upper(*path));
  if (it == keys.end()) return notFound(key);
  for (const auto& [valueName, found] : it->second.values) {
    if (upper(valueName) == upper(name)) {
      *value = found;
      return Status();
    }
  }
  return notFound(key);
}

Status registryWrite(std::u16string_view key, std::u16string_view name,
                     const RegistryValue& value) {
  const std::optional<std::u16string> path = keyPath(key);
  if (!path) return notFound(key);
  return update([&](Keys& keys) {
    // The key and every key above it, below the root.
    for (size_t at = path->find(u'\\'); at != std::u16string::npos;) {
      at = path->find(u'\\', at + 1);
      const std::u16string above = path->substr(0, at);
      Key& made = keys[upper(above)];
      if (made.path.empty()) made.path = above;
    }
    Key& target = keys[upper(*path)];
    if (target.path.empty()) target.path = *path;
    for (auto& [valueName, old] : target.values) {
      if (upper(valueName) == upper(name)) {
        old = value;
        return Status();
      }
    }
    target.values.emplace_back(std::u16string(name), value);
    return Status();
  });
}

Status registryDelete(std::u16string_view key, const std::u16string* name) {
  const std::optional<std::u16string> path = keyPath(key);
  if (!path || path->find(u'\\') == std::u16string::npos) return notFound(key);
  return update([&](Keys& keys) {
    const std::u16string folded = upper(*path);
    auto it = keys.find(folded);
    if (it == keys.end()) return notFound(key);
    if (name) {
      auto& values = it->second.values;
      for (auto v = values.begin(); v != values.end(); ++v) {
        if (upper(v->first) == upper(*name)) {
          values.erase(v);
          return Status();
        }
      }
      return notFound(key);
    }
    auto below = keys.lower_bound(folded + u"\\");
    if (below != keys.end() && below->first.starts_with(folded + u"\\")) {
      return Status::error(ErrorKind::kAccessDenied, 0, "delete a registry key with keys under it",
                           key);
    }
    keys.erase(it);
    return Status();
  });
}

Status registryList(std::u16string_view key, bool values, std::vector<std::u16string>* names) {
  names->clear();
  const std::optional<std::u16string> path = keyPath(key);
  if (!path) return notFound(key);
  Keys keys;
  Status s = load(*Env::defaultEnv(), &keys);
  if (!s.ok()) return s;
  const std::u16string folded = upper(*path);
  auto it = keys.find(folded);
  // A root holds its keys whether or not it was written itself.
  const bool isRoot = path->find(u'\\') == std::u16string::npos;
  if (it == keys.end() && !isRoot) return notFound(key);
  if (values) {
    if (it != keys.end()) {
      for (const auto& [name, value] : it->second.values) names->push_back(name);
    }
    return Status();
  }
  const std::u16string prefix = folded + u"\\";
  for (auto k = keys.lower_bound(prefix); k != keys.end() && k->first.starts_with(prefix); ++k) {
    if (k->first.find(u'\\', prefix.size()) == std::u16string::npos) {
      names->push_back(k->second.path.substr(prefix.size()));
    }
  }
  return Status();
}

}  // namespace platform
