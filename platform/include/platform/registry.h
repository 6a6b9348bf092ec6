// The user's registry of settings, as vl-registry-read and its kin reach it:
// keys under a root (HKEY_CURRENT_USER\Software\Firm\Tool), each holding
// named values, text or 32-bit numbers. Key and value names ignore case;
// the empty name is a key's default value.
//
// On Windows this is the registry itself. On POSIX it is one text file,
// registryLocation(), which every program of the project shares: UTF-8, in
// the form of the registry's own export files:
//
//   [HKEY_CURRENT_USER\Software\Firm\Tool]
//   @="the default value"
//   "Folder"="C:\\dwg"
//   "Count"=dword:0000002a
//
// Within quotes, \\ is a backslash, \" a quote, \n and \r line breaks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace platform {

struct RegistryValue {
  bool isNumber = false;
  uint32_t number = 0;
  std::u16string text;
};

// The value `name` of `key`; kNotFound when the key or the value is not there.
Status registryRead(std::u16string_view key, std::u16string_view name, RegistryValue* value);
// Sets the value `name` of `key`, making the key (and the keys above it).
Status registryWrite(std::u16string_view key, std::u16string_view name, const RegistryValue& value);
// Deletes the value `name` of `key`, or, when `name` is null, the key with
// its values; a key that has keys under it stays (kAccessDenied).
Status registryDelete(std::u16string_view key, const std::u16string* name);
// The names of the keys right under `key` (or of its values), in order.
Status registryList(std::u16string_view key, bool values, std::vector<std::u16string>* names);
// Where the values are kept: the file on POSIX, "the registry" on Windows.
std::u16string registryLocation();

}  // namespace platform
