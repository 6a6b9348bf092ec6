#include "support/dbf.h"

#include <gtest/gtest.h>

#include "platform/coding.h"

namespace test {

std::string makeTable(const TableSpec& spec) {
  const size_t n = spec.fields.size();
  const size_t headerLength =
      32 + 32 * n + static_cast<size_t>(spec.terminatorBytes) + spec.afterTerminator.size();
  size_t recordLength = 1;
  for (const auto& f : spec.fields) recordLength += static_cast<size_t>(f.second);
  std::string out(32, '\0');
  out[0] = static_cast<char>(spec.version);
  out[1] = 124;
  out[2] = 5;
  out[3] = 17;
  out[28] = static_cast<char>(spec.tableFlags);
  out[29] = static_cast<char>(spec.languageDriver);
  const auto count = static_cast<uint32_t>(spec.records.size() - spec.uncounted);
  platform::encodeFixed32(out.data() + 4, count);
  platform::encodeFixed16(out.data() + 8, static_cast<uint16_t>(headerLength));
  platform::encodeFixed16(out.data() + 10, static_cast<uint16_t>(recordLength));
  for (size_t i = 0; i < n; ++i) {
    const auto& [name, width] = spec.fields[i];
    std::string d(32, '\0');
    d.replace(0, name.size(), name);
    d[11] = i < spec.types.size() ? spec.types[i] : 'C';
    d[16] = static_cast<char>(width & 0xFF);
    if (d[11] == 'C') d[17] = static_cast<char>(width >> 8);
    out += d;
  }
  out += '\r';
  if (spec.terminatorBytes == 2) out += '\0';
  out += spec.afterTerminator;
  for (const auto& values : spec.records) {
    size_t first = 0;
    char flag = ' ';
    if (!values.empty() && values[0] == "*") {
      flag = '*';
      first = 1;
    }
    out += flag;
    for (size_t i = 0; i < n; ++i) {
      std::string v = first + i < values.size() ? values[first + i] : "";
      v.resize(static_cast<size_t>(spec.fields[i].second), ' ');
      out += v;
    }
  }
  if (spec.endOfFileMark) out += '\x1a';
  return out;
}

TableView readTableStrictly(const std::string& bytes) {
  TableView view;
  EXPECT_GE(bytes.size(), 32u);
  if (bytes.size() < 32) return view;
  view.count = platform::decodeFixed32(bytes.data() + 4);
  view.headerLength = platform::decodeFixed16(bytes.data() + 8);
  view.recordLength = platform::decodeFixed16(bytes.data() + 10);
  const size_t expected =
      view.headerLength + static_cast<size_t>(view.count) * view.recordLength + 1;
  EXPECT_EQ(bytes.size(), expected) << "file length against the header";
  if (bytes.size() != expected) return view;
  EXPECT_EQ(bytes.back(), '\x1a');
  for (uint32_t i = 0; i < view.count; ++i) {
    const std::string record =
        bytes.substr(view.headerLength + i * view.recordLength, view.recordLength);
    EXPECT_TRUE(record[0] == ' ' || record[0] == '*') << "deletion flag of record " << i;
    view.records.push_back(record);
  }
  return view;
}

std::string field(const TableSpec& spec, const std::string& record, size_t index) {
  size_t at = 1;
  for (size_t i = 0; i < index; ++i) at += static_cast<size_t>(spec.fields[i].second);
  return record.substr(at, static_cast<size_t>(spec.fields[index].second));
}

}  // namespace test
