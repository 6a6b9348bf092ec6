// Forms prepared once to run many times: a function's body becomes a tree
// of nodes, each with the function that runs it. Running a node walks no
// list, looks no name up in a table and checks no shape: what a form is was
// found when it was prepared. A name prepared as a special form (if, setq,
// while, ...) is asked at each run whether it still names that form; when
// it no longer does, the form runs as it reads, so that redefining any name
// means what it meant before.
#include <algorithm>
#include <cstring>
#include <optional>

#include "library.h"
#include "platform/text.h"

namespace lisp {

struct Node;
using Run = Value (*)(Interpreter& lisp, const Node& node);

// What a call of two integers computes without calling its function.
enum class IntOp : uint8_t {
  kNone,
  kAdd,
  kSubtract,
  kMultiply,
  kLess,
  kGreater,
  kLessOrEqual,
  kGreaterOrEqual,
  kEqual,
  kNotEqual
};

struct Node {
  Run run = nullptr;
  IntOp op = IntOp::kNone;
  Value form;                    // the form as read
  Symbol* symbol = nullptr;      // a symbol; a call's name; a setq's target
  const Object* subr = nullptr;  // the special form the node stands for
  bool append = false;           // setq: the value may be (strcat TARGET ...)
  bool framed = false;           // binary: an argument may call or fail
  std::vector<Node> parts;
};

struct PreparedForms {
  std::vector<Node> forms;
};

void PreparedFormsDelete::operator()(PreparedForms* forms) const {
  delete forms;
}

// The nodes' runners, friends of the interpreter's.
struct Prepared {
  static constexpr size_t kFewArguments = 4;

  static Value run(Interpreter& lisp, const Node& node) { return node.run(lisp, node); }

  // progn's way: each value let go before the next form runs, so that a
  // string held by one symbol alone can grow where it is.
  static Value forms(Interpreter& lisp, const Node* at, const Node* end) {
    Value result;
    for (; at != end; ++at) {
      result = Value();
      result = at->run(lisp, *at);
    }
    return result;
  }
  static Value rest(Interpreter& lisp, const Node& node, size_t from) {
    return forms(lisp, node.parts.data() + from, node.parts.data() + node.parts.size());
  }

  // Whether the node's name still names the built-in (a special form, or
  // one of the numbers') it was prepared as.
  static bool still(const Node& node) { return node.symbol->value.objectOrNull() == node.subr; }

  static Value asRead(Interpreter& lisp, const Node& node) { return lisp.eval(node.form); }

  static Value constant(Interpreter& lisp, const Node& node) {
    lisp.count();
    return node.form;
  }

  static Value symbol(Interpreter& lisp, const Node& node) {
    lisp.count();
    const Value& value = node.symbol->value;
    if (!value.isNil()) return value;
    return lisp.evalUnbound(node.form);
  }

  static Value call(Interpreter& lisp, const Node& node) {
    lisp.count();
    Interpreter::Frame frame(lisp, node.form.cons());
    Value function = node.symbol->value;
    if (function.isNil()) {
      function = functionValue(lisp, node.form.cons()->car);
      if (function.isNil()) {
        lisp.fail("no function definition: " + platform::toUtf8(node.symbol->name));
      }
    }
    const Type type = function.type();
    if (type == Type::kSubr) {
      auto* subr = static_cast<Subr*>(function.asObject());
      if (subr->special) return subr->special(lisp, node.form.cons()->cdr);
    } else if (type == Type::kUsubr && node.parts.size() <= kFewArguments) {
      // A few arguments are held here: most calls of the script's own
      // functions.
      Value args[kFewArguments];
      const size_t n = node.parts.size();
      for (size_t i = 0; i < n; ++i) args[i] = node.parts[i].run(lisp, node.parts[i]);
      return callUsubr(lisp, static_cast<Usubr*>(function.asObject()), std::span(args, n));
    }
    return lisp.callWith(function, [&](std::vector<Value>& args) {
      for (const Node& part : node.parts) args.push_back(part.run(lisp, part));
    });
  }

  // A built-in of numbers (+ - * < > <= >= = /=) given two arguments: two
  // integers are answered here, as the function would answer them,
  // wrapping around as it does. Arguments that are symbols or constants,
  // which nothing can see being evaluated, need no frame unless the
  // function is called.
  static Value binary(Interpreter& lisp, const Node& node) {
    if (!still(node)) return call(lisp, node);
    lisp.count();
    std::optional<Interpreter::Frame> frame;
    if (node.framed) frame.emplace(lisp, node.form.cons());
    Value a = run(lisp, node.parts[0]), b = run(lisp, node.parts[1]);
    if (a.isInt() && b.isInt()) {
      const int64_t x = a.asInt(), y = b.asInt();
      switch (node.op) {
        case IntOp::kAdd:
          return Value::integer(wrap(x + y));
        case IntOp::kSubtract:
          return Value::integer(wrap(x - y));
        case IntOp::kMultiply:
          return Value::integer(wrap(x * y));
        case IntOp::kLess:
          return truth(x < y, lisp);
        case IntOp::kGreater:
          return truth(x > y, lisp);
        case IntOp::kLessOrEqual:
          return truth(x <= y, lisp);
        case IntOp::kGreaterOrEqual:
          return truth(x >= y, lisp);
        case IntOp::kEqual:
          return truth(x == y, lisp);
        case IntOp::kNotEqual:
          return truth(x != y, lisp);
        case IntOp::kNone:
          break;
      }
    }
    if (!frame) frame.emplace(lisp, node.form.cons());
    // The function the name named when the call began, as a call takes it.
    return lisp.callWith(Value::object(const_cast<Object*>(node.subr)),
                         [&](std::vector<Value>& args) {
                           args.push_back(std::move(a));
                           args.push_back(std::move(b));
                         });
  }

  static Value quote(Interpreter& lisp, const Node& node) {
    if (!still(node)) return lisp.eval(node.form);
    lisp.count();
    return node.parts[0].form;
  }

  static Value progn(Interpreter& lisp, const Node& node) {
    if (!still(node)) return lisp.eval(node.form);
    lisp.count();
    Interpreter::Frame frame(lisp, node.form.cons());
    return rest(lisp, node, 0);
  }

  static Value ifForm(Interpreter& lisp, const Node& node) {
    if (!still(node)) return lisp.eval(node.form);
    lisp.count();
    Interpreter::Frame frame(lisp, node.form.cons());
    if (!run(lisp, node.parts[0]).isNil()) return run(lisp, node.parts[1]);
    return node.parts.size() > 2 ? run(lisp, node.parts[2]) : Value();
  }

  // Parts in pairs: the target, then its value.
  static Value setq(Interpreter& lisp, const Node& node) {
    if (!still(node)) return lisp.eval(node.form);
    lisp.count();
    Interpreter::Frame frame(lisp, node.form.cons());
    Value result;
    for (size_t i = 0; i + 1 < node.parts.size(); i += 2) {
      Symbol* target = node.parts[i].symbol;
      if (target->constant) {
        lisp.fail("attempt to set a constant: " + platform::toUtf8(target->name));
      }
      const Node& value = node.parts[i + 1];
      if (!node.parts[i].append || target->value.type() != Type::kString ||
          !appendInPlace(lisp, target, value.form, &result)) {
        result = run(lisp, value);
      }
      target->value = result;
    }
    return result;
  }

  // Parts: the clauses, each with its test and then its forms.
  static Value cond(Interpreter& lisp, const Node& node) {
    if (!still(node)) return lisp.eval(node.form);
    lisp.count();
    Interpreter::Frame frame(lisp, node.form.cons());
    for (const Node& clause : node.parts) {
      Value test = run(lisp, clause.parts[0]);
      if (test.isNil()) continue;
      return clause.parts.size() == 1 ? test : rest(lisp, clause, 1);
    }
    return Value();
  }

  static Value andForm(Interpreter& lisp, const Node& node) {
    if (!still(node)) return lisp.eval(node.form);
    lisp.count();
    Interpreter::Frame frame(lisp, node.form.cons());
    for (const Node& part : node.parts) {
      if (run(lisp, part).isNil()) return Value();
    }
    return truth(true, lisp);
  }

  static Value orForm(Interpreter& lisp, const Node& node) {
    if (!still(node)) return lisp.eval(node.form);
    lisp.count();
    Interpreter::Frame frame(lisp, node.form.cons());
    for (const Node& part : node.parts) {
      if (!run(lisp, part).isNil()) return truth(true, lisp);
    }
    return Value();
  }

  static Value whileForm(Interpreter& lisp, const Node& node) {
    if (!still(node)) return lisp.eval(node.form);
    lisp.count();
    Interpreter::Frame frame(lisp, node.form.cons());
    Value result;
    while (!run(lisp, node.parts[0]).isNil()) {
      result = Value();
      result = rest(lisp, node, 1);
    }
    return result;
  }

  static Value repeat(Interpreter& lisp, const Node& node) {
    if (!still(node)) return lisp.eval(node.form);
    lisp.count();
    Interpreter::Frame frame(lisp, node.form.cons());
    const Value times = run(lisp, node.parts[0]);
    Value result;
    for (int32_t n = integer(lisp, times); n > 0; --n) {
      result = Value();
      result = rest(lisp, node, 1);
    }
    return result;
  }

  // Parts: the variable, the list, then the forms.
  static Value foreach (Interpreter& lisp, const Node& node) {
    if (!still(node)) return lisp.eval(node.form);
    lisp.count();
    Interpreter::Frame frame(lisp, node.form.cons());
    Symbol* variable = node.parts[0].symbol;
    const Value items = list(lisp, run(lisp, node.parts[1]));
    Bindings bindings(lisp);
    bindings.bind(variable, Value());
    Value result;
    for (Value at = items; at.type() == Type::kCons; at = at.cons()->cdr) {
      variable->value = at.cons()->car;
      result = Value();
      result = rest(lisp, node, 2);
    }
    return result;
  }
};

namespace {

// Forms nested deeper than this run as they read: preparing them would
// take native stack in proportion to a depth the text chose.
constexpr int kMaxDepth = 200;

// The elements of a proper list, or false for any other value.
bool elementsOf(const Value& list, std::vector<Value>* items) {
  for (const Value* at = &list;; at = &at->cons()->cdr) {
    if (at->isNil()) return true;
    if (at->type() != Type::kCons) return false;
    items->push_back(at->cons()->car);
  }
}

Node prepare(const Value& form, int depth);

bool isLeaf(const Node& node) {
  return node.run == Prepared::constant || node.run == Prepared::symbol;
}

IntOp intOp(const char* name) {
  static const std::pair<const char*, IntOp> kOps[] = {{"+", IntOp::kAdd},
                                                       {"-", IntOp::kSubtract},
                                                       {"*", IntOp::kMultiply},
                                                       {"<", IntOp::kLess},
                                                       {">", IntOp::kGreater},
                                                       {"<=", IntOp::kLessOrEqual},
                                                       {">=", IntOp::kGreaterOrEqual},
                                                       {"=", IntOp::kEqual},
                                                       {"/=", IntOp::kNotEqual}};
  for (const auto& [n, op] : kOps) {
    if (std::strcmp(name, n) == 0) return op;
  }
  return IntOp::kNone;
}

Node asRead(const Value& form) {
  Node node;
  node.run = Prepared::asRead;
  node.form = form;
  return node;
}

// The special forms prepared, with the shapes they must have: anything
// else runs as it reads, and reports what is wrong with it then.
bool prepareSpecial(Node* node, const char* name, const std::vector<Value>& items, int depth) {
  auto is = [&](const char* n) { return std::strcmp(name, n) == 0; };
  auto prepareAll = [&](size_t from) {
    for (size_t i = from; i < items.size(); ++i) node->parts.push_back(prepare(items[i], depth));
  };
  if (is("QUOTE") && items.size() == 1) {
    node->run = Prepared::quote;
    node->parts.emplace_back().form = items[0];
  } else if (is("PROGN")) {
    node->run = Prepared::progn;
    prepareAll(0);
  } else if (is("IF") && (items.size() == 2 || items.size() == 3)) {
    node->run = Prepared::ifForm;
    prepareAll(0);
  } else if (is("SETQ") && items.size() % 2 == 0) {
    for (size_t i = 0; i < items.size(); i += 2) {
      if (items[i].type() != Type::kSymbol) return false;
    }
    node->run = Prepared::setq;
    for (size_t i = 0; i < items.size(); i += 2) {
      Node& target = node->parts.emplace_back();
      target.symbol = items[i].symbol();
      const Value& value = items[i + 1];
      target.append = value.type() == Type::kCons && value.cons()->cdr.type() == Type::kCons &&
                      value.cons()->cdr.cons()->car.type() == Type::kSymbol &&
                      value.cons()->cdr.cons()->car.symbol() == target.symbol;
      node->parts.push_back(prepare(value, depth));
    }
  } else if (is("COND")) {
    std::vector<std::vector<Value>> clauses(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].type() != Type::kCons || !elementsOf(items[i], &clauses[i])) return false;
    }
    node->run = Prepared::cond;
    for (const auto& clause : clauses) {
      Node& part = node->parts.emplace_back();
      for (const Value& form : clause) part.parts.push_back(prepare(form, depth));
    }
  } else if (is("AND") || is("OR")) {
    node->run = is("AND") ? Prepared::andForm : Prepared::orForm;
    prepareAll(0);
  } else if (is("WHILE") && !items.empty()) {
    node->run = Prepared::whileForm;
    prepareAll(0);
  } else if (is("REPEAT") && !items.empty()) {
    node->run = Prepared::repeat;
    prepareAll(0);
  } else if (is("FOREACH") && items.size() >= 2 && items[0].type() == Type::kSymbol) {
    node->run = Prepared::foreach;
    node->parts.emplace_back().symbol = items[0].symbol();
    prepareAll(1);
  } else {
    return false;
  }
  return true;
}

Node prepare(const Value& form, int depth) {
  Object* object = form.objectOrNull();
  Node node;
  node.form = form;
  if (!object || (object->type != Type::kSymbol && object->type != Type::kCons)) {
    node.run = Prepared::constant;
    return node;
  }
  if (object->type == Type::kSymbol) {
    node.run = Prepared::symbol;
    node.symbol = form.symbol();
    return node;
  }
  const Value& head = form.cons()->car;
  std::vector<Value> items;
  if (depth >= kMaxDepth || head.type() != Type::kSymbol || !elementsOf(form.cons()->cdr, &items)) {
    return asRead(form);
  }
  node.symbol = head.symbol();
  const Value& value = node.symbol->value;
  if (value.type() == Type::kSubr && static_cast<Subr*>(value.asObject())->special) {
    const auto* subr = static_cast<const Subr*>(value.asObject());
    node.subr = subr;
    if (!prepareSpecial(&node, subr->name, items, depth + 1)) return asRead(form);
    return node;
  }
  node.run = Prepared::call;
  for (const Value& item : items) node.parts.push_back(prepare(item, depth + 1));
  if (value.type() == Type::kSubr && node.parts.size() == 2) {
    node.op = intOp(static_cast<const Subr*>(value.asObject())->name);
    if (node.op != IntOp::kNone) {
      node.run = Prepared::binary;
      node.subr = value.asObject();
      node.framed = !isLeaf(node.parts[0]) || !isLeaf(node.parts[1]);
    }
  }
  return node;
}

}  // namespace

Value callUsubr(Interpreter& lisp, Usubr* f, std::span<Value> args) {
  if (args.size() < f->parameters.size()) lisp.fail("too few arguments");
  if (args.size() > f->parameters.size()) lisp.fail("too many arguments");
  Bindings bindings(lisp);
  for (size_t i = 0; i < args.size(); ++i) {
    if (f->parameters[i]) bindings.bind(f->parameters[i], std::move(args[i]));
  }
  for (Symbol* local : f->locals) bindings.bind(local, Value());
  // A function called again has its body prepared; one called once (a
  // lambda made for one call) is read as it stands.
  if (!f->prepared && ++f->calls >= (lisp.prepareFirst() ? 1 : 2)) {
    f->prepared = prepareForms(f->body);
  }
  if (f->prepared) {
    const auto& forms = f->prepared->forms;
    return Prepared::forms(lisp, forms.data(), forms.data() + forms.size());
  }
  Value result;
  for (Value form = f->body; form.type() == Type::kCons; form = form.cons()->cdr) {
    result = Value();
    result = lisp.eval(form.cons()->car);
  }
  return result;
}

PreparedFormsPtr prepareForms(const Value& forms) {
  PreparedFormsPtr prepared(new PreparedForms);
  for (const Value* at = &forms; at->type() == Type::kCons; at = &at->cons()->cdr) {
    prepared->forms.push_back(prepare(at->cons()->car, 0));
  }
  return prepared;
}

Value runPrepared(Interpreter& lisp, const PreparedForms& forms, size_t from, size_t to) {
  const size_t end = std::min(to, forms.forms.size());
  if (from >= end) return Value();
  return Prepared::forms(lisp, forms.forms.data() + from, forms.forms.data() + end);
}

}  // namespace lisp
