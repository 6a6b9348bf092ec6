// Arbitrary bytes as a slide library: list, add and delete run on it in
// memory, and the library is afterwards either unchanged or a valid library
// with no temporary file left behind. The tolerant reader of damaged
// libraries reads it too, and every entry it keeps points into the file.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/coding.h"
#include "support/mem_env.h"
#include "vetrix/slides/slide_format.h"
#include "vetrix/slides/slide_library.h"

namespace {

// A library whose directory describes the file exactly, as the writers lay
// it out and as every slide reader reads it: names up to the first empty
// one, then a terminator of zeros, offsets that follow from the layout.
bool isValidLibrary(const std::string& lib) {
  if (lib.size() < 32 || lib.compare(0, 28, kLibraryHeader, 28) != 0) return false;
  if (lib.size() == 32) return true;
  size_t n = 0;
  while (32 + 36 * (n + 1) <= lib.size() && lib[32 + 36 * n] != '\0') ++n;
  const size_t terminator = 32 + 36 * n;
  if (terminator + 36 > lib.size()) return false;
  if (lib.find_first_not_of('\0', terminator) < terminator + 36) return false;
  if (n == 0) return lib.size() == terminator + 36;
  uint64_t expected = terminator + 36;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t offset = platform::decodeFixed32(lib.data() + 32 + 36 * i + 32);
    if (offset != expected && i == 0) return false;
    if (offset < expected || offset > lib.size()) return false;
    expected = offset;
  }
  return true;
}

void check(platform::MemEnv& env, const std::string& before) {
  const std::string after = *env.contents(u"lib.slb");
  if (after != before && !isValidLibrary(after)) std::abort();
  if (env.files().size() != 2) std::abort();  // a temporary file left behind
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  platform::MemEnv env;
  env.addFile(u"lib.slb", input);
  env.addFile(u"x.sld", "AutoCAD Slide\r\n\x1a" + std::string(40, 'v'));
  {
    std::unique_ptr<platform::File> file;
    if (!env.openFile(u"lib.slb", platform::OpenMode::kRead, &file).ok()) std::abort();
    DamagedDirectory damaged;
    if (readDamagedDirectory(*file, size, &damaged).ok()) {
      for (const DamagedDirectory::Entry& e : damaged.entries) {
        if (e.offset < 32 || e.offset >= size || e.name.size() > 31) std::abort();
      }
    }
  }
  SlideDirectory directory;
  (void)runSlbedit(env, makeSlbRequest(u'l', u"lib", u""), directory);
  check(env, input);
  (void)runSlbedit(env, makeSlbRequest(u'a', u"lib", u"x"), directory);
  check(env, input);
  const std::string added = *env.contents(u"lib.slb");
  (void)runSlbedit(env, makeSlbRequest(u'd', u"lib", u"x"), directory);
  check(env, added);
  return 0;
}
