// Arbitrary bytes as a slide library: list, add and delete run on it, and the
// file is afterwards either unchanged or a valid library.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/host.h"
#include "vetrix/slides/slbedit.h"

namespace {

std::string readAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t le32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

// A library whose directory describes the file exactly, as the writers lay
// it out.
bool isValidLibrary(const std::string& lib) {
  if (lib.size() < 32 || lib.compare(0, 28, kLibraryHeader, 28) != 0) return false;
  if (lib.size() == 32) return true;
  size_t n = 0;
  while (32 + 36 * (n + 1) <= lib.size() && lib[32 + 36 * n] != '\0') ++n;
  if (32 + 36 * (n + 1) > lib.size()) return false;
  uint64_t expected = 32 + 36 * (n + 1);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t offset = le32(lib, 32 + 36 * i + 32);
    if (offset != expected && i == 0) return false;
    if (offset < expected || offset > lib.size()) return false;
    expected = offset;
  }
  return true;
}

void call(std::vector<std::u16string> args) {
  std::vector<ResultBuffer> nodes(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    nodes[i].restype = kRtString;
    nodes[i].resval.rstring = args[i].data();
    nodes[i].rbnext = i + 1 < args.size() ? &nodes[i + 1] : nullptr;
  }
  Slbedit(nodes.data());
}

void check(const std::string& before) {
  const std::string after = readAll("lib.slb");
  if (after != before && !isValidLibrary(after)) std::abort();
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    if (entry.path().filename().string().rfind("~slb", 0) == 0) std::abort();  // left behind
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    zc::setEcho(false);
    char folder[] = "/tmp/slbfuzz-XXXXXX";
    if (!::mkdtemp(folder) || ::chdir(folder) != 0) std::abort();
    std::ofstream("x.sld", std::ios::binary) << "AutoCAD Slide\r\n\x1a" << std::string(40, 'v');
    return true;
  }();
  (void)ready;
  if (size > 1 << 16) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::ofstream("lib.slb", std::ios::binary | std::ios::trunc) << input;
  call({u"l", u"lib"});
  check(input);
  call({u"a", u"lib", u"x"});
  check(input);
  const std::string added = readAll("lib.slb");
  call({u"d", u"lib", u"x"});
  check(added);
  zc::clearTranscript();
  return 0;
}
