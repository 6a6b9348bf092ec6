// Values, their objects and their printed forms.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "internal.h"
#include "platform/text.h"

namespace lisp {
namespace {

uint64_t liveCount = 0;
uint64_t liveBytes = 0;

// Objects whose last reference went while another object was being freed:
// freeing a long list or a deep tree takes turns here instead of recursing.
std::vector<Object*>* freeing = nullptr;

constexpr int kMaxPrintDepth = 10000;

void appendEscaped(std::string* out, const std::u16string& text) {
  out->push_back('"');
  size_t plain = 0;
  auto flush = [&](size_t end) {
    *out += platform::toUtf8(std::u16string_view(text).substr(plain, end - plain));
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const char* escape = nullptr;
    char octal[8];
    switch (c) {
      case u'\\':
        escape = "\\\\";
        break;
      case u'"':
        escape = "\\\"";
        break;
      case u'\n':
        escape = "\\n";
        break;
      case u'\r':
        escape = "\\r";
        break;
      case u'\t':
        escape = "\\t";
        break;
      case 0x1B:
        escape = "\\e";
        break;
      default:
        if (c < 0x20) {
          std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned>(c));
          escape = octal;
        }
    }
    if (!escape) continue;
    // Runs between escapes go whole, so a surrogate pair stays one character.
    flush(i);
    *out += escape;
    plain = i + 1;
  }
  flush(text.size());
  out->push_back('"');
}

void print(std::string* out, const Value& value, bool readable, Reals reals, int depth) {
  if (depth > kMaxPrintDepth) {
    *out += "...";
    return;
  }
  switch (value.type()) {
    case Type::kNil:
      *out += "nil";
      break;
    case Type::kInt:
      *out += std::to_string(value.asInt());
      break;
    case Type::kReal:
      *out += formatReal(value.asReal(), reals);
      break;
    case Type::kString:
      if (readable) {
        appendEscaped(out, value.text());
      } else {
        *out += platform::toUtf8(value.text());
      }
      break;
    case Type::kSymbol:
      *out += platform::toUtf8(value.symbol()->name);
      break;
    case Type::kCons: {
      out->push_back('(');
      Value rest = value;
      bool first = true;
      while (rest.type() == Type::kCons) {
        if (!first) out->push_back(' ');
        first = false;
        print(out, rest.cons()->car, readable, reals, depth + 1);
        rest = rest.cons()->cdr;
      }
      if (!rest.isNil()) {
        *out += " . ";
        print(out, rest, readable, reals, depth + 1);
      }
      out->push_back(')');
      break;
    }
    case Type::kSubr:
      *out += "#<SUBR @";
      *out += static_cast<Subr*>(value.asObject())->name;
      *out += ">";
      break;
    case Type::kUsubr: {
      const auto* f = static_cast<Usubr*>(value.asObject());
      *out +=
          "#<USUBR @" + (f->name.empty() ? std::string("lambda") : platform::toUtf8(f->name)) + ">";
      break;
    }
    case Type::kExsubr:
      *out += "#<EXRXSUBR @" + platform::toUtf8(static_cast<Exsubr*>(value.asObject())->name) + ">";
      break;
    case Type::kFile:
      *out +=
          "#<FILE \"" + platform::toUtf8(static_cast<FileObject*>(value.asObject())->name) + "\">";
      break;
    case Type::kCaughtError:
      *out += "#<%catch-all-apply-error%>";
      break;
  }
}

}  // namespace

void destroy(Object* object) {
  if (freeing) {
    freeing->push_back(object);
    return;
  }
  // One list of pending frees, kept between calls: freeing allocates
  // nothing.
  static std::vector<Object*> work;
  work.push_back(object);
  freeing = &work;
  while (!work.empty()) {
    Object* next = work.back();
    work.pop_back();
    // Its values release their objects onto `work`.
    switch (next->type) {
      case Type::kString:
        delete static_cast<StringObject*>(next);
        break;
      case Type::kCons:
        delete static_cast<Cons*>(next);
        break;
      case Type::kUsubr:
        delete static_cast<Usubr*>(next);
        break;
      case Type::kExsubr:
        delete static_cast<Exsubr*>(next);
        break;
      case Type::kFile:
        delete static_cast<FileObject*>(next);
        break;
      case Type::kCaughtError:
        delete static_cast<CaughtError*>(next);
        break;
      default:
        break;  // not counted: never freed here
    }
  }
  freeing = nullptr;
}

Object::Object(Type t) : type(t) {
  if (isCounted(t)) ++liveCount;
}
Object::~Object() {
  if (isCounted(type)) --liveCount;
}

// Cells come from blocks of many, and go back to a list of free cells that
// new cells are taken from first. The blocks stay for the life of the
// program. With AddressSanitizer each cell is allocated alone, so that a
// use after free is caught.
#if defined(__SANITIZE_ADDRESS__)
#define ZC_CELLS_ALONE 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZC_CELLS_ALONE 1
#endif
#endif

namespace {
#ifndef ZC_CELLS_ALONE
union FreeCell {
  FreeCell* next;
  alignas(Cons) unsigned char bytes[sizeof(Cons)];
};
FreeCell* freeCells = nullptr;
constexpr size_t kCellsPerBlock = 2048;

void addBlock() {
  auto* block = static_cast<FreeCell*>(::operator new(sizeof(FreeCell) * kCellsPerBlock));
  for (size_t i = kCellsPerBlock; i-- > 0;) {
    block[i].next = freeCells;
    freeCells = &block[i];
  }
}
#endif
}  // namespace

namespace {
std::unordered_map<const Cons*, Cons::Location>* locations = nullptr;
}  // namespace

Cons::~Cons() {
  if (located) locations->erase(this);
}

Cons::Location Cons::location() const {
  if (!located) return {};
  return locations->at(this);
}

void Cons::locate(Location where) {
  if (!locations) locations = new std::unordered_map<const Cons*, Location>;
  (*locations)[this] = where;
  located = true;
}

void* Cons::operator new(size_t size) {
#ifdef ZC_CELLS_ALONE
  return ::operator new(size);
#else
  (void)size;
  if (!freeCells) addBlock();
  FreeCell* cell = freeCells;
  freeCells = cell->next;
  return cell;
#endif
}

void Cons::operator delete(void* cell) {
#ifdef ZC_CELLS_ALONE
  ::operator delete(cell);
#else
  auto* free = static_cast<FreeCell*>(cell);
  free->next = freeCells;
  freeCells = free;
#endif
}

uint64_t liveObjects() {
  return liveCount;
}

uint64_t liveStringBytes() {
  return liveBytes;
}

StringObject::StringObject(std::u16string t) : Object(Type::kString), text(std::move(t)) {
  liveBytes += text.size() * sizeof(char16_t);
}

void StringObject::append(std::u16string_view more) {
  text += more;
  liveBytes += more.size() * sizeof(char16_t);
}

StringObject::~StringObject() {
  liveBytes -= text.size() * sizeof(char16_t);
}

Value Value::string(std::u16string text) {
  return object(new StringObject(std::move(text)));
}

const std::u16string& Value::text() const {
  return static_cast<StringObject*>(asObject())->text;
}

Value makeList(std::vector<Value> items) {
  Value list;
  for (auto it = items.rbegin(); it != items.rend(); ++it) list = cons(std::move(*it), list);
  return list;
}

int64_t listLength(const Value& list) {
  int64_t n = 0;
  const Value* at = &list;
  while (at->type() == Type::kCons) {
    ++n;
    at = &at->cons()->cdr;
  }
  return at->isNil() ? n : -1;
}

std::string Error::report() const {
  return "; error: " + message + (where.empty() ? "" : " (" + where + ")");
}

std::string formatReal(double x, Reals reals) {
  if (std::isnan(x)) return "1.#QNAN";
  if (std::isinf(x)) return x > 0 ? "1.#INF" : "-1.#INF";
  char buffer[64];
  // to_chars, unlike printf, writes the same on every platform: two
  // exponent digits at least, whatever the C runtime.
  auto [end, ec] = reals == Reals::kExact ? std::to_chars(buffer, buffer + sizeof buffer, x)
                                          : std::to_chars(buffer, buffer + sizeof buffer, x,
                                                          std::chars_format::general, 6);
  std::string text(buffer, end);
  // A decimal point always ("100.0"); the hosts keep it before an exponent
  // too ("1.0e+20"), the exact form only where there is none ("1e+20").
  const size_t exponent = text.find('e');
  if (text.find('.') == std::string::npos &&
      (exponent == std::string::npos || reals == Reals::kHost)) {
    text.insert(exponent == std::string::npos ? text.size() : exponent, ".0");
  }
  return text;
}

std::string prin1String(const Value& value, Reals reals) {
  std::string out;
  print(&out, value, true, reals, 0);
  return out;
}

std::string princString(const Value& value, Reals reals) {
  std::string out;
  print(&out, value, false, reals, 0);
  return out;
}

}  // namespace lisp
