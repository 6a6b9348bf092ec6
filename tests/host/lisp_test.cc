// The reader and printer of zchost's LISP.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "host/lisp.h"
#include "tests/support/host_support.h"

namespace {

using lisp::Value;

std::string roundTrip(const std::string& text) {
  std::vector<Value> forms = lisp::readAll(text);
  std::string out;
  for (const Value& form : forms) out += (out.empty() ? "" : " ") + lisp::prin1String(form);
  return out;
}

TEST(LispReader, ReadsAtomsAsTheirTypes) {
  struct Case {
    const char* text;
    Value::Kind kind;
  };
  const Case cases[] = {
      {"42", Value::Kind::kInt},
      {"-7", Value::Kind::kInt},
      {"+3", Value::Kind::kInt},
      {"1.5", Value::Kind::kReal},
      {"-0.25", Value::Kind::kReal},
      {"1e3", Value::Kind::kReal},
      {".5", Value::Kind::kReal},
      {"5.", Value::Kind::kReal},
      {"3000000000", Value::Kind::kReal},
      {"nil", Value::Kind::kNil},
      {"NIL", Value::Kind::kNil},
      {"t", Value::Kind::kT},
      {"$acad_code", Value::Kind::kSymbol},
      {"Read_Dbf", Value::Kind::kSymbol},
      {"1+", Value::Kind::kSymbol},
      {"-", Value::Kind::kSymbol},
      {".", Value::Kind::kSymbol},
      {"\"s\"", Value::Kind::kString},
  };
  for (const Case& c : cases) {
    std::vector<Value> forms = lisp::readAll(c.text);
    ASSERT_EQ(forms.size(), 1u) << c.text;
    EXPECT_EQ(forms[0].kind, c.kind) << c.text;
  }
  EXPECT_EQ(lisp::readAll("70000")[0].integer, 70000);
  EXPECT_EQ(lisp::readAll("$ACAD_Code")[0].text, u"$acad_code");
}

TEST(LispReader, ReadsEscapesNestingQuotesAndComments) {
  EXPECT_EQ(roundTrip("\"a\\\\b\\\"c\\nd\\re\\tf\""), "\"a\\\\b\\\"c\\nd\\re\\tf\"");
  EXPECT_EQ(lisp::readAll("\"\\101\\102\\7\"")[0].text, u"AB\a");
  EXPECT_EQ(roundTrip("(a (b (c \"中文\")) ()) ; comment\n'x '(1 2)"),
            "(A (B (C \"中文\")) nil) (QUOTE X) (QUOTE (1 2))");
}

TEST(LispReader, ReportsUnbalancedInput) {
  for (const char* text : {"(a b", "\"open", "'", "(a))", ")"}) {
    EXPECT_THROW(lisp::readAll(text), lisp::Error) << text;
  }
  lisp::Reader reader("(a b");
  Value form;
  std::string message;
  EXPECT_EQ(reader.next(&form, &message), lisp::Reader::Status::kIncomplete);
  EXPECT_THROW(lisp::readAll(std::string(5000, '(') + std::string(5000, ')')), lisp::Error);
}

TEST(LispPrinter, PrintsRealsInTheShortestFormThatReadsBack) {
  struct Case {
    double x;
    const char* text;
  };
  const Case cases[] = {
      {180.0, "180.0"},
      {57.29577951308232, "57.29577951308232"},
      {-1.5707963267948966, "-1.5707963267948966"},
      {0.0, "0.0"},
      {1e300, "1e+300"},
      {0.1, "0.1"},
      {std::numeric_limits<double>::infinity(), "1.#INF"},
  };
  for (const Case& c : cases) EXPECT_EQ(lisp::formatReal(c.x), c.text);
  std::mt19937_64 random(7);
  for (int i = 0; i < 2000; ++i) {
    double x;
    uint64_t bits = random();
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    std::vector<Value> back = lisp::readAll(lisp::formatReal(x));
    ASSERT_EQ(back.size(), 1u);
    ASSERT_EQ(back[0].kind, Value::Kind::kReal) << lisp::formatReal(x);
    EXPECT_EQ(back[0].real, x) << lisp::formatReal(x);
  }
}

TEST(LispPrinter, PrincPrintsStringsAsTheyAre) {
  Value v = Value::makeList({Value::makeString(u"a\"b\n"), Value::makeInt(-3)});
  EXPECT_EQ(lisp::princString(v), "(a\"b\n -3)");
  EXPECT_EQ(lisp::prin1String(v), "(\"a\\\"b\\n\" -3)");
}

}  // namespace
