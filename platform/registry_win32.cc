// The registry on Windows: the registry itself.
// <windows.h> comes first: the other Windows headers build on it.
#include <windows.h>

#include <cstring>
#include <optional>

#include "platform/registry.h"
#include "platform/text.h"

namespace platform {
namespace {

struct Root {
  std::u16string_view name;
  HKEY key;
};

// The root a key's path starts with, and the rest of the path.
std::optional<std::pair<HKEY, std::wstring>> split(std::u16string_view path) {
  static const Root roots[] = {{u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                               {u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                               {u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                               {u"HKEY_USERS", HKEY_USERS},
                               {u"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};
  const size_t separator = path.find(u'\\');
  const std::u16string first = toUpperWide(path.substr(0, separator));
  for (const Root& root : roots) {
    if (first != root.name) continue;
    std::u16string_view rest =
        separator == std::u16string_view::npos ? u"" : path.substr(separator + 1);
    while (!rest.empty() && rest.back() == u'\\') rest.remove_suffix(1);
    return std::make_pair(root.key, std::wstring(rest.begin(), rest.end()));
  }
  return std::nullopt;
}

std::wstring wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

Status failed(LSTATUS code, const char* operation, std::u16string_view key) {
  ErrorKind kind = ErrorKind::kOther;
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) kind = ErrorKind::kNotFound;
  if (code == ERROR_ACCESS_DENIED) kind = ErrorKind::kAccessDenied;
  return Status::error(kind, static_cast<int>(code), operation, key);
}

// An open key, closed when it goes.
class OpenKey {
 public:
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::u16string registryLocation() {
  return u"the registry";
}

Status registryRead(std::u16string_view key, std::u16string_view name, RegistryValue* value) {
  const auto where = split(key);
  if (!where) return failed(ERROR_FILE_NOT_FOUND, "find registry key", key);
  OpenKey open;
  LSTATUS code = RegOpenKeyExW(where->first, where->second.c_str(), 0, KEY_QUERY_VALUE, open.out());
  if (code != ERROR_SUCCESS) return failed(code, "open registry key", key);
  const std::wstring valueName = wide(name);
  for (;;) {
    DWORD type = 0, bytes = 0;
    code = RegQueryValueExW(open.get(), valueName.c_str(), nullptr, &type, nullptr, &bytes);
    if (code != ERROR_SUCCESS) return failed(code, "read registry value", key);
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    code = RegQueryValueExW(open.get(), valueName.c_str(), nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &size);
    if (code == ERROR_MORE_DATA) continue;  // it grew meanwhile
    if (code != ERROR_SUCCESS) return failed(code, "read registry value", key);
    if (type == REG_DWORD && size == sizeof(DWORD)) {
      DWORD number = 0;
      std::memcpy(&number, data.data(), sizeof number);
      value->isNumber = true;
      value->number = number;
      return Status();
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      return Status::error(ErrorKind::kCorrupt, 0, "read registry value of another type", key);
    }
    data.resize(size / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0') data.pop_back();
    value->isNumber = false;
    value->text.assign(data.begin(), data.end());
    return Status();
  }
}

Status registryWrite(std::u16string_view key, std::u16string_view name,
                     const RegistryValue& value) {
  const auto where = split(key);
  if (!where) return failed(ERROR_FILE_NOT_FOUND, "find registry key", key);
  OpenKey open;
  LSTATUS code = RegCreateKeyExW(where->first, where->second.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                 nullptr, open.out(), nullptr);
  if (code != ERROR_SUCCESS) return failed(code, "make registry key", key);
  const std::wstring valueName = wide(name);
  if (value.isNumber) {
    const DWORD number = value.number;
    code = RegSetValueExW(open.get(), valueName.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&number), sizeof number);
  } else {
    const std::wstring text = wide(value.text);
    code = RegSetValueExW(open.get(), valueName.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  if (code != ERROR_SUCCESS) return failed(code, "write registry value", key);
  return Status();
}

Status registryDelete(std::u16string_view key, const std::u16string* name) {
  const auto where = split(key);
  if (!where || where->second.empty())
    return failed(ERROR_FILE_NOT_FOUND, "find registry key", key);
  if (name) {
    OpenKey open;
    LSTATUS code = RegOpenKeyExW(where->first, where->second.c_str(), 0, KEY_SET_VALUE, open.out());
    if (code == ERROR_SUCCESS) code = RegDeleteValueW(open.get(), wide(*name).c_str());
    return code == ERROR_SUCCESS ? Status() : failed(code, "delete registry value", key);
  }
  // RegDeleteKeyW refuses a key with keys under it.
  const LSTATUS code = RegDeleteKeyW(where->first, where->second.c_str());
  return code == ERROR_SUCCESS ? Status() : failed(code, "delete registry key", key);
}

Status registryList(std::u16string_view key, bool values, std::vector<std::u16string>* names) {
  names->clear();
  const auto where = split(key);
  if (!where) return failed(ERROR_FILE_NOT_FOUND, "find registry key", key);
  OpenKey open;
  LSTATUS code = RegOpenKeyExW(where->first, where->second.c_str(), 0,
                               KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, open.out());
  if (code != ERROR_SUCCESS) return failed(code, "open registry key", key);
  for (DWORD index = 0;; ++index) {
    wchar_t buffer[16384];  // the longest name a key or a value may have, and its end
    DWORD length = 16384;
    code =
        values
            ? RegEnumValueW(open.get(), index, buffer, &length, nullptr, nullptr, nullptr, nullptr)
            : RegEnumKeyExW(open.get(), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_NO_MORE_ITEMS) return Status();
    if (code != ERROR_SUCCESS) return failed(code, "list registry key", key);
    names->emplace_back(buffer, buffer + length);
  }
}

}  // namespace platform
