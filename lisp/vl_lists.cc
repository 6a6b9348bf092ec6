// The Visual LISP list functions.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

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

// (vl-sort LIST LESS) and (vl-sort-i LIST LESS): sorted by a function of
// two arguments, stably. The hosts may drop elements that sort equal; these
// keep every one.
std::vector<size_t> sortedOrder(Interpreter& lisp, const std::vector<Value>& items,
                                const Value& less) {
  std::vector<size_t> order(items.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    std::vector<Value> callArgs{items[a], items[b]};
    return !callFunction(lisp, less, callArgs).isNil();
  });
  return order;
}
Value sortList(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::vector<Value> items = elements(lisp, args[0]);
  std::vector<Value> sorted;
  for (size_t i : sortedOrder(lisp, items, args[1])) sorted.push_back(items[i]);
  return makeList(std::move(sorted));
}
Value sortIndices(Interpreter& lisp, Args& args) {
  need(lisp, args, 2, 2);
  const std::vector<Value> items = elements(lisp, args[0]);
  std::vector<Value> indices;
  for (size_t i : sortedOrder(lisp, items, args[1])) {
    indices.push_back(Value::integer(static_cast<int32_t>(i)));
  }
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
