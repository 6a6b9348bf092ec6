// Drawings in DXF, as slb make reads them: the layers, the blocks and the
// entities of model space, each entity as its groups.
//
// An ASCII DXF file is a sequence of groups, each two lines: a group code
// (an integer) and its value. Sections (0 SECTION, 2 NAME ... 0 ENDSEC)
// hold the header, the tables (of them the layers are read), the blocks
// (0 BLOCK ... 0 ENDBLK) and the entities; 0 EOF ends the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct DxfGroup {
  int code = 0;
  std::string_view value;  // into DxfDrawing::text, without the line's end
  size_t line = 0;         // the line of the code (1 is the first); the value's is next
};

// An entity: its type (LINE, CIRCLE, ...) and its groups after the 0 group.
struct DxfEntity {
  std::string_view type;
  size_t line = 0;              // of the type
  size_t first = 0, count = 0;  // its groups in DxfDrawing::groups
};

struct DxfLayer {
  int colour = 7;  // ACI, positive
  bool off = false, frozen = false;
};

struct DxfBlock {
  double baseX = 0, baseY = 0;
  std::vector<DxfEntity> entities;
};

struct DxfDrawing {
  std::string text;  // the file, which the groups point into
  std::vector<DxfGroup> groups;
  std::map<std::string, DxfLayer> layers;  // by name, ASCII letters upper-cased
  // The font file of each text style ("txt", "arial.ttf"), by the style's
  // name, ASCII letters upper-cased.
  std::map<std::string, std::string_view> styleFonts;
  std::map<std::string, DxfBlock> blocks;  // likewise
  std::vector<DxfEntity> entities;         // of the ENTITIES section, in order
  // From the HEADER section: the release that wrote the file ($ACADVER,
  // "AC1015") and the code page of its text ($DWGCODEPAGE, "ANSI_936").
  std::string_view version, codePage;
  // A binary file is read as the text of an ASCII one: the offset in the
  // file of each group (of lines 2k + 1 and 2k + 2).
  std::vector<uint64_t> binaryOffsets;

  const DxfGroup* group(const DxfEntity& e, size_t i) const { return &groups[e.first + i]; }
};

// Why a file is no drawing: the line at fault (0 when no line is) and what
// is wrong there; in a binary file, the offset of the group.
struct DxfFault {
  size_t line = 0;
  std::string what;
  bool atOffset = false;
  uint64_t offset = 0;
};

// Where a fault is, as messages say it: ":LINE" or ":OFFSET" (the offset
// of the group in a binary file), or nothing.
std::string dxfPlace(const DxfDrawing& drawing, const DxfFault& fault);

// Whether the bytes begin as a DXF file does: a group code on the first
// line, or the binary sentinel.
bool looksLikeDxf(std::string_view bytes);

// Reads a DXF file (`bytes`, moved into the drawing), ASCII or binary
// (codes of one byte, as Release 12 wrote them, or two); false with *fault
// for a group code that is none, a file cut short (a code without its
// value, a section or block that does not end, no EOF).
bool readDxf(std::string bytes, DxfDrawing* drawing, DxfFault* fault);

// The code page a drawing's text is in: 65001 (UTF-8) from Release 2007
// (AC1021) on; before, the one $DWGCODEPAGE names (ANSI_936: 936), else
// the system's ANSI code page.
int dxfCodePage(const DxfDrawing& drawing);

// A name as the tables key it: ASCII letters upper-cased.
std::string dxfName(std::string_view name);

// A group's value as a number; false for a value that is none, or not finite.
bool dxfNumber(std::string_view value, double* number);
