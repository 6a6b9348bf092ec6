// Text on Win32: the system's own code-page conversion and case mapping,
// and the system's texts for its error numbers.
#include <windows.h>

#include <string>

#include "platform/status.h"
#include "platform/text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is UTF-16 on Windows");

namespace platform {
namespace {

std::u16string mapCase(std::u16string_view text, bool upper) {
  std::u16string out(text);
  if (out.empty()) return out;
  auto* buffer = reinterpret_cast<LPWSTR>(out.data());
  if (upper) {
    CharUpperBuffW(buffer, static_cast<DWORD>(out.size()));
  } else {
    CharLowerBuffW(buffer, static_cast<DWORD>(out.size()));
  }
  return out;
}

}  // namespace

int ansiCodePage() {
  return static_cast<int>(GetACP());
}

bool codePageAvailable(int codePage) {
  return codePage > 0 && IsValidCodePage(static_cast<UINT>(codePage));
}

int unavailableCodePageRequested() {
  return 0;
}

std::string toCodePage(int codePage, std::u16string_view text) {
  if (text.empty()) return std::string();
  const auto* source = reinterpret_cast<LPCWCH>(text.data());
  const int length = static_cast<int>(text.size());
  const auto cp = static_cast<UINT>(codePage);
  const int size = WideCharToMultiByte(cp, 0, source, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(cp, 0, source, length, out.data(), size, nullptr, nullptr);
  return out;
}

bool toCodePageExact(int codePage, std::u16string_view text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  const auto* source = reinterpret_cast<LPCWCH>(text.data());
  const int length = static_cast<int>(text.size());
  const auto cp = static_cast<UINT>(codePage);
  // Under UTF-8 every character has its own form; only broken UTF-16 fails.
  // Elsewhere no best-fit look-alike, and no default character.
  const bool utf8 = cp == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* defaultFlag = utf8 ? nullptr : &usedDefault;
  const int size = WideCharToMultiByte(cp, flags, source, length, nullptr, 0, nullptr, defaultFlag);
  if (size <= 0 || usedDefault) return false;
  out->assign(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(cp, flags, source, length, out->data(), size, nullptr, defaultFlag);
  return !usedDefault && fromCodePage(codePage, *out) == text;
}

std::u16string fromCodePage(int codePage, std::string_view text) {
  if (text.empty()) return std::u16string();
  const int length = static_cast<int>(text.size());
  const auto cp = static_cast<UINT>(codePage);
  const int size = MultiByteToWideChar(cp, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return std::u16string();
  std::u16string out(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(cp, 0, text.data(), length, reinterpret_cast<LPWSTR>(out.data()), size);
  return out;
}

bool fromCodePageExact(int codePage, std::string_view text, std::u16string* out) {
  out->clear();
  if (text.empty()) return true;
  const int length = static_cast<int>(text.size());
  const auto cp = static_cast<UINT>(codePage);
  const int size = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (size <= 0) return false;
  out->assign(static_cast<size_t>(size), u'\0');
  MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), length,
                      reinterpret_cast<LPWSTR>(out->data()), size);
  return true;
}

std::u16string toLowerWide(std::u16string_view text) {
  return mapCase(text, false);
}

std::u16string toUpperWide(std::u16string_view text) {
  return mapCase(text, true);
}

std::string systemErrorText(int error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = length > 0 && text
                        ? toUtf8(std::u16string(reinterpret_cast<const char16_t*>(text), length))
                        : "unknown error";
  LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
    out.pop_back();
  }
  return out;
}

}  // namespace platform
