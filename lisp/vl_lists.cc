// The Visual LISP list functions.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <set>
#include <utility>

#include "library.h"

namespace lisp {
namespace {

Value position(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  int32_t index = 0;
  for (Value at = list(lisp, args[1]); at.type() == Type::kCons; at = cdr(at), ++index) {
    if (similar(car(at), args[0], 0)) return Value::integer(index);
  }
  return Value();
}

Value removeAll(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  std::vector<Value> kept;
  for (const Value& item : elements(lisp, args[1])) {
    if (!similar(item, args[0], 0)) kept.push_back(item);
  }
  return makeList(std::move(kept));
}

template <bool Keep>
Value removeIf(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  std::vector<Value> kept;
  for (const Value& item : elements(lisp, args[1])) {
    std::vector<Value> callArgs{item};
    if (callFunction(lisp, args[0], callArgs).isNil() == !Keep) kept.push_back(item);
  }
  return makeList(std::move(kept));
}

template <bool Holds>
Value memberIf(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  for (Value at = list(lisp, args[1]); at.type() == Type::kCons; at = cdr(at)) {
    std::vector<Value> callArgs{car(at)};
    if (callFunction(lisp, args[0], callArgs).isNil() != Holds) return at;
  }
  return Value();
}

// (vl-every F LIST...) and (vl-some F LIST...) over the lists in step.
template <bool Every>
Value everyOrSome(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, SIZE_MAX);
  std::vector<Value> lists(args.begin() + 1, args.end());
  for (const Value& l : lists) list(lisp, l);
  for (;;) {
    std::vector<Value> callArgs;
    for (Value& l : lists) {
      if (l.type() != Type::kCons) return Every ? Value::object(lisp.trueSymbol()) : Value();
      callArgs.push_back(car(l));
      l = cdr(l);
    }
    Value result = callFunction(lisp, args[0], callArgs);
    if (Every && result.isNil()) return Value();
    if (!Every && !result.isNil()) return result;
  }
}

Value listLengthOrNil(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  const int64_t n = listLength(list(lisp, args[0]));
  return n < 0 ? Value() : Value::integer(static_cast<int32_t>(n));
}

Value consp(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, 1);
  return truth(args[0].type() == Type::kCons, lisp);
}

// (vl-list* A B ... TAIL): the last argument ends the list.
Value listStar(Interpreter& lisp, Args& args) {
  need(lisp, args, 1, SIZE_MAX);
  Value result = args.back();
  for (size_t i = args.size() - 1; i-- > 0;) result = cons(args[i], result);
  return result;
}

// Sorts `order`, indices into `items`, by LESS, a function of two
// arguments: a merge sort that keeps the given order of elements neither of
// which precedes the other. Whatever LESS answers, even contradicting
// itself, every index stays once in the result.
void sortOrder(Interpreter& lisp, const std::vector<Value>& items, const Value& less,
               std::vector<size_t>* order) {
  auto precedes = [&](size_t a, size_t b) {
    std::vector<Value> callArgs{items[a], items[b]};
    return !callFunction(lisp, less, callArgs).isNil();
  };
  std::vector<size_t>& from = *order;
  std::vector<size_t> to(from.size());
  for (size_t width = 1; width < from.size(); width *= 2) {
    for (size_t low = 0; low < from.size(); low += 2 * width) {
      const size_t middle = std::min(low + width, from.size());
      const size_t high = std::min(low + 2 * width, from.size());
      size_t left = low, right = middle, out = low;
      while (left < middle && right < high) {
        to[out++] = precedes(from[right], from[left]) ? from[right++] : from[left++];
      }
      while (left < middle) to[out++] = from[left++];
      while (right < high) to[out++] = from[right++];
    }
    from.swap(to);
  }
}

// (vl-sort LIST LESS): the elements sorted, each element that is eq to an
// earlier one left out as the hosts leave it out (an integer, a symbol, the
// same object again); reals and strings that are only equal all stay.
Value sortList(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::vector<Value> items = elements(lisp, args[0]);
  std::set<std::pair<int, uintptr_t>> kept;
  std::vector<size_t> order;
  for (size_t i = 0; i < items.size(); ++i) {
    const Value& item = items[i];
    bool fresh = true;
    switch (item.type()) {
      case Type::kReal:
        break;
      case Type::kInt:
        fresh = kept.emplace(0, static_cast<uint32_t>(item.asInt())).second;
        break;
      case Type::kNil:
        fresh = kept.emplace(1, 0).second;
        break;
      default:
        fresh = kept.emplace(2, reinterpret_cast<uintptr_t>(item.asObject())).second;
    }
    if (fresh) order.push_back(i);
  }
  sortOrder(lisp, items, args[1], &order);
  std::vector<Value> sorted;
  for (size_t i : order) sorted.push_back(items[i]);
  return makeList(std::move(sorted));
}

// (vl-sort-i LIST LESS): the indices of every element in sorted order;
// of elements neither of which precedes the other, the later comes first,
// as in the hosts: (vl-sort-i '(3 2 1 3) '<) is (2 1 3 0).
Value sortIndices(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::vector<Value> items = elements(lisp, args[0]);
  std::vector<size_t> order(items.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = order.size() - 1 - i;
  sortOrder(lisp, items, args[1], &order);
  std::vector<Value> indices;
  for (size_t i : order) indices.push_back(Value::integer(static_cast<int32_t>(i)));
  return makeList(std::move(indices));
}

}  // namespace

std::span<const Subr> vlListFunctions() {
  static const Subr table[] = {
      {"VL-POSITION", position},
      {"VL-REMOVE", removeAll},
      {"VL-REMOVE-IF", removeIf<false>},
      {"VL-REMOVE-IF-NOT", removeIf<true>},
      {"VL-MEMBER-IF", memberIf<true>},
      {"VL-MEMBER-IF-NOT", memberIf<false>},
      {"VL-EVERY", everyOrSome<true>},
      {"VL-SOME", everyOrSome<false>},
      {"VL-LIST-LENGTH", listLengthOrNil},
      {"VL-CONSP", consp},
      {"VL-LIST*", listStar},
      {"VL-SORT", sortList},
      {"VL-SORT-I", sortIndices},
  };
  return table;
}

}  // namespace lisp
