// zchost's LISP: scripts and what they print, as users rely on it.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>

#include "lisp/lisp.h"
#include "platform/env.h"
#include "platform/stack.h"
#include "support/host_support.h"

namespace {

// What a script printed, and the errors it reported, one line each.
struct ScriptRun {
  std::string out, errors;
};

struct Case {
  std::string script;
  std::string out;
};

// Tests of what functions compute read their reals exactly; tests of what
// scripts print see them as the hosts print them.
ScriptRun run(const std::string& script, lisp::Reals reals = lisp::Reals::kHost,
              bool prepared = false) {
  ScriptRun result;
  lisp::Interpreter lisp;
  lisp.setReals(reals);
  lisp.setPrepareFirst(prepared);
  lisp.setOutput([&](std::string_view text) { result.out += text; });
  lisp.setErrorOutput([&](const lisp::Error& e) { result.errors += e.report() + "\n"; });
  lisp.run(script, "t.lsp");
  return result;
}

// Each script runs as read, and (unless it changes what a second run would
// see) prepared, as function bodies run from their second call, which must
// print the same.
void expectOutputs(const std::vector<Case>& cases, lisp::Reals reals = lisp::Reals::kHost,
                   bool runTwice = true) {
  for (const Case& c : cases) {
    for (bool prepared : {false, true}) {
      if (prepared && !runTwice) break;
      const ScriptRun r = run(c.script, reals, prepared);
      EXPECT_EQ(r.out, c.out) << (prepared ? "prepared: " : "") << c.script;
      EXPECT_EQ(r.errors, "") << (prepared ? "prepared: " : "") << c.script;
    }
  }
}

// Scripts that change files: a second run would see what the first did.
void expectOutputsOnce(const std::vector<Case>& cases) {
  expectOutputs(cases, lisp::Reals::kHost, false);
}

TEST(Lisp, DataPrintAsTheDialectPrintsThem) {
  expectOutputs({
      {"(prin1 (+ 1 2)) (prin1 pi) (prin1 'abc) (prin1 nil) (prin1 T)", "33.14159ABCnilT"},
      {"(prin1 (/ 7 2)) (princ \" \") (prin1 (/ 7 2.0)) (princ \" \") (prin1 (/ -7 2))",
       "3 3.5 -3"},
      {"(prin1 (or nil 1)) (prin1 (and 1 nil)) (prin1 (and)) (prin1 (or))", "TnilTnil"},
      {"(prin1 (defun g () 1)) (prin1 (g))", "G1"},
      {"(prin1 (cons 1 2)) (prin1 '(1 (2 . 3) \"s\" x nil 2.5))",
       "(1 . 2)(1 (2 . 3) \"s\" X nil 2.5)"},
      {"(prin1 (1+ 2147483647)) (princ \" \") (prin1 3000000000)", "-2147483648 3.0e+09"},
      {"(setq m 2147483647 n -2147483648) (prin1 (list (+ m 1) (- n 1) (* m m) (* 65536 65536) "
       "(< m n) (>= n n) (= m 2147483647.0) (/= 1 \"1\") (+ m 0.5)))",
       "(-2147483648 2147483647 1 0 nil T T T 2.14748e+09)"},
      // A call takes the function its name named when the call began.
      {"(defun f () (+ (progn (defun + (a b) 0) 1) 2)) (prin1 (list (f) (+ 1 2)))", "(3 0)"},
      {"(prin1 \"a\\\"b\\\\c\\nd\\te\") (princ \"a\\\"b\")", "\"a\\\"b\\\\c\\nd\\te\"a\"b"},
      {"(prin1 \"😀中\") (prin1 (read (strcat \"\\\"\" \"😀\" \"\\\"\")))", "\"😀中\"\"😀\""},
      {"(print 1) (print \"s\") (terpri) (princ (list \"a\" 'b))", "\n1 \n\"s\" \n(a B)"},
      // Reals to six significant digits, wherever the printer makes text.
      {"(princ (* 1.1 1.1)) (prin1 (list 1234567.0)) (print 1e-5) (princ (vl-princ-to-string "
       "100.0)) "
       "(princ (vl-prin1-to-string (/ 1 3.0)))",
       "1.21(1.23457e+06)\n1.0e-05 100.00.333333"},
  });
}

TEST(Lisp, SpecialFormsControlEvaluation) {
  expectOutputs({
      {"(setq a 1 b (+ a 1)) (prin1 (list a b))", "(1 2)"},
      {"(prin1 (if nil 1 2)) (prin1 (if T 1)) (prin1 (if nil 1))", "21nil"},
      {"(prin1 (cond ((= 1 2) 'no) ((= 1 1) 'yes))) (prin1 (cond (5)))", "YES5"},
      {"(setq i 0 s 0) (while (< i 5) (setq s (+ s i) i (1+ i))) (prin1 s)", "10"},
      {"(repeat 3 (princ \"x\")) (prin1 (repeat 0 1))", "xxxnil"},
      {"(foreach x '(1 2 3) (princ x)) (prin1 x)", "123nil"},
      {"(defun f (a / b) (setq b (* a 2)) b) (setq b 7) (prin1 (f 3)) (prin1 b)", "67"},
      // A name given twice is bound by its first place, and restored once.
      {"(setq a 'out b 'out) (defun f (a / a) a) (defun g (a a / b a b) (setq b a) (list a b)) "
       "(prin1 (list (f 5) (g 1 2) a b))",
       "(5 (1 1) OUT OUT)"},
      {"(defun fact (n) (if (< n 2) 1 (* n (fact (1- n))))) (prin1 (fact 10))", "3628800"},
      {"(prin1 ((lambda (x) (* x x)) 5)) (prin1 (mapcar (function (lambda (x) (1+ x))) '(1 2)))",
       "25(2 3)"},
      {"(prin1 (mapcar '(lambda (a b) (+ a b)) '(1 2 3) '(10 20))) (prin1 (apply '+ '(1 2 3)))",
       "(11 22)6"},
      {"(prin1 (quote (a b))) (prin1 (eval '(+ 1 2)))", "(A B)3"},
      // Special forms that mean something given values take them from apply
      // and mapcar; the others are no functions.
      {"(prin1 (list (apply 'and '(1 2)) (apply 'and '(1 nil)) (apply 'and nil) (apply 'or '(nil "
       "2)) "
       "(apply 'or nil) (mapcar 'and '(1 nil) '(2 3)) (apply 'progn '(1 2)) (apply 'if '(nil 1 2)) "
       "(apply 'quote '(x)) (apply 'setq '(v 4)) v (apply 'defun '(sq (x) (* x x))) (sq 3) "
       "(vl-catch-all-error-message (vl-catch-all-apply 'while '(nil)))))",
       "(T nil T T nil (T nil) 2 2 X 4 4 SQ 9 \"bad function: WHILE\")"},
  });
}

TEST(Lisp, FunctionsAnswerAsTheDialectDoes) {
  expectOutputs(
      {
          {"(prin1 (list (rem 7 3) (rem 7.5 2) (abs -3) (min 3 1 2) (max 1 2.0) (fix 3.7) (fix "
           "-3.7)))",
           "(1 1.5 3 1 2.0 3 -3)"},
          {"(prin1 (list (float 2) (sqrt 16) (expt 2 10) (expt 2.0 0.5) (- 5) (*) (+)))",
           "(2.0 4.0 1024 1.4142135623730951 -5 0 0)"},
          {"(prin1 (list (sin 0) (cos 0) (atan 1 1) (1- 0)))", "(0.0 1.0 0.7853981633974483 -1)"},
          {"(prin1 (list (= 1 1.0) (/= 1 2) (< 1 2 3) (> 3 1 2) (<= 1 1) (>= 2 3) (< \"a\" "
           "\"b\")))",
           "(T T T nil T nil T)"},
          {"(prin1 (list (eq 'a 'a) (eq '(1) '(1)) (equal '(1 \"s\") '(1 \"s\")) (equal 1.0 1.05 "
           "0.1)))",
           "(T nil T T)"},
          {"(prin1 (list (not nil) (null 1) (listp nil) (listp 1) (numberp 1.5) (atom '(1))))",
           "(T nil T nil T nil)"},
          {"(prin1 (mapcar 'type (list 1 1.0 \"s\" 'a '(1) car (lambda () 1) nil)))",
           "(INT REAL STR SYM LIST SUBR USUBR nil)"},
          {"(setq l '(1 2 3 4)) (prin1 (list (car l) (cdr l) (cadr l) (cddr l) (caar '((1))) "
           "(cdar '((1 2)))))",
           "(1 (2 3 4) 2 (3 4) 1 (2))"},
          {"(prin1 (list (nth 2 '(a b c)) (nth 5 '(a)) (length '(1 2)) (last '(1 2 3))))",
           "(C nil 2 3)"},
          {"(prin1 (list (append '(1) '(2 3) nil '(4)) (reverse '(1 2 3)) (member 2 '(1 2 3))))",
           "((1 2 3 4) (3 2 1) (2 3))"},
          {"(prin1 (assoc \"b\" '((\"a\" . 1) (\"b\" . 2)))) (prin1 (assoc 9 '((1 . 2))))",
           "(\"b\" . 2)nil"},
          {"(prin1 (list (strcat \"a\" \"中\") (strlen \"中文\" \"ab\") (substr \"hello\" 2 3) "
           "(substr \"hi\" 5)))",
           "(\"a中\" 4 \"ell\" \"\")"},
          {"(prin1 (list (strcase \"abcé\") (strcase \"ABC\" T) (itoa -42) (atoi \"12x\") (atof "
           "\"2.5\")))",
           "(\"ABCÉ\" \"abc\" \"-42\" 12 2.5)"},
          {"(prin1 (list (rtos 3.14159) (rtos 2 2 1) (rtos 1234.5 1 2) (ascii \"A\") (chr 20013)))",
           "(\"3.1416\" \"2.0\" \"1.23E+03\" 65 \"中\")"},
          {"(prin1 (list (rtos 2.5 2 0) (rtos -2.5 2 0) (rtos 1.5) (rtos 0.125 2 2)))",
           "(\"3\" \"-3\" \"1.5000\" \"0.13\")"},
          {"(prin1 (read \"(a \\\"b\\\" 1.5)\")) (prin1 (read \"\"))", "(A \"b\" 1.5)nil"},
      },
      lisp::Reals::kExact);
}

// The hosts' functions that need no drawing, a table per family, with the
// results their documentation gives.
TEST(Lisp, LibraryFunctionsAnswerAsDocumented) {
  expectOutputs(
      {
          // = and /= over any atoms
          {"(prin1 (list (= 'a 'a) (= 'a 'b) (= nil nil) (= 1 \"1\") (/= 'a 'b) (= \"s\" \"s\" "
           "\"s\")))",
           "(T nil T nil T T)"},
          {"(setq x \"t\") (prin1 (= (type x) 'STR))", "T"},
          // numbers and bits
          {"(prin1 (list (exp 0) (log 1) (gcd 81 57) (logand 7 15 3) (logior 1 2 4) (logand)))",
           "(1.0 0.0 3 3 7 0)"},
          {"(prin1 (list (lsh 2 1) (lsh 40 -2) (lsh 1 31) (~ 3) (boole 1 12 5) (boole 6 6 5) "
           "(boole 7 6 5)))",
           "(4 10 -2147483648 -4 4 3 7)"},
          // points
          {"(prin1 (list (distance '(0 0) '(3 4)) (distance '(0 0 0) '(1 2 2)) (angle '(0 0) '(0 "
           "1)) "
           "(angle '(0 0) '(0 -1))))",
           "(5.0 3.0 1.5707963267948966 4.71238898038469)"},
          {"(prin1 (list (polar '(1 1) 0 2) (polar '(0 0 5) 0 2) (inters '(0 0) '(2 2) '(0 2) '(2 "
           "0)) "
           "(inters '(0 0) '(0.5 0.5) '(0 2) '(2 0)) (inters '(0 0) '(0.5 0.5) '(0 2) '(2 0) nil) "
           "(inters '(0 0) '(1 0) '(0 1) '(1 1))))",
           "((3.0 1.0) (2.0 0.0 5.0) (1.0 1.0) nil (1.0 1.0) nil)"},
          // lists
          {"(setq l '((1 2 3 4) 5)) (prin1 (list (caddr '(1 2 3)) (cadddr '(1 2 3 4)) (caaddr '(1 "
           "2 "
           "(3))) "
           "(cdddr '(1 2 3 4))))",
           "(3 4 3 (4))"},
          {"(prin1 (list (subst 'x 2 '(1 2 3 2)) (subst '(a) '(1) '((1) 2)) (set 'q 7) q))",
           "((1 X 3 X) ((A) 2) 7 7)"},
          {"(prin1 (list (vl-position 'c '(a b c)) (vl-position 9 '(1)) (vl-remove 2 '(1 2 3 2)) "
           "(vl-list-length '(1 2)) (vl-list-length '(1 . 2)) (vl-consp nil) (vl-list* 1 2 3)))",
           "(2 nil (1 3) 2 nil nil (1 2 . 3))"},
          {"(prin1 (list (vl-remove-if 'minusp '(1 -2 3)) (vl-remove-if-not 'minusp '(1 -2 3)) "
           "(vl-member-if 'minusp '(1 -2 3)) (vl-member-if-not 'numberp '(1 a 2))))",
           "((1 3) (-2) (-2 3) (A 2))"},
          {"(prin1 (list (vl-every '< '(1 2) '(2 3)) (vl-every 'minusp '(1)) (vl-some 'minusp '(1 "
           "-2)) "
           "(vl-sort '(3 1 2) '<) (vl-sort-i '(\"b\" \"a\" \"c\") '<)))",
           "(T nil T (1 2 3) (1 0 2))"},
          // vl-sort leaves out what is eq to an element before it; vl-sort-i
          // keeps every index, the later of equals first.
          {"(setq s \"s\" p '(1)) (prin1 (list (vl-sort '(3 2 1 3) '<) (vl-sort '(a d c b a) "
           "'(lambda (a b) (< (vl-symbol-name a) (vl-symbol-name b)))) (vl-sort '(2.0 1 2.0) '<) "
           "(vl-sort (list \"b\" s \"b\" s) '<) (vl-sort (list p '(0) p) '(lambda (a b) (< (car a) "
           "(car b)))) (vl-sort-i '(3 2 1 3) '<) (vl-sort-i '(a d c b a) '(lambda (a b) "
           "(< (vl-symbol-name a) (vl-symbol-name b))))))",
           "((1 2 3) (A B C D) (1 2.0 2.0) (\"b\" \"b\" \"s\") ((0) (1)) (2 1 3 0) (4 0 3 2 1))"},
          // A comparison that contradicts itself loses and repeats nothing.
          {"(setq k 0 l '(1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20)) "
           "(prin1 (apply '+ (vl-sort-i l '(lambda (a b) (zerop (rem (setq k (+ k a b)) 3))))))",
           "190"},
          // strings
          {"(prin1 (list (vl-string-search \"ll\" \"hello\") (vl-string-search \"z\" \"hello\") "
           "(vl-string-search \"l\" \"hello\" 3) (vl-string-subst \"Ben\" \"Bill\" \"Bill and "
           "Bill\")))",
           "(2 nil 3 \"Ben and Bill\")"},
          {"(prin1 (list (vl-string-trim \" \\t\" \"  a b \\t\") (vl-string-left-trim \"x\" "
           "\"xxaxx\") "
           "(vl-string-right-trim \"x\" \"xxaxx\") (vl-string->list \"AB\") (vl-list->string "
           "'(20013 "
           "65))))",
           "(\"a b\" \"axx\" \"xxa\" (65 66) \"中A\")"},
          {"(prin1 (list (vl-string-position 97 \"banana\") (vl-string-position 97 \"banana\" 0 T) "
           "(vl-string-elt \"abc\" 1)))",
           "(1 5 98)"},
          {"(prin1 (list (vl-filename-base \"c:\\\\acad\\\\acad.exe\") "
           "(vl-filename-directory \"c:\\\\acad\\\\acad.exe\") (vl-filename-extension \"a/b.lsp\") "
           "(vl-filename-extension \"noext\")))",
           "(\"acad\" \"c:\\\\acad\" \".lsp\" nil)"},
          {"(prin1 (mapcar '(lambda (p) (wcmatch \"Name12\" p)) '(\"N*\" \"n*\" \"@@@@##\" \"*#\" "
           "\"???\" \"[MN]*\" \"[~N]*\" \"[A-Z]ame*\" \"~N*\" \"X*,*2\" \"Name1.\" \"*`,*\")))",
           "(T nil T T nil T nil T nil T nil nil)"},
          {"(prin1 (list (wcmatch \"a,b\" \"*`,*\") (wcmatch \"a.b\" \"@.@\") (wcmatch \"\" \"*\") "
           "(acad_strlsort '(\"Mar\" \"Jan\" \"Feb\"))))",
           "(T T T (\"Feb\" \"Jan\" \"Mar\"))"},
          // symbols and system
          {"(setq v 3) (prin1 (list (vl-symbol-name 'v) (vl-symbol-value 'v) (vl-symbolp 'v) "
           "(vl-symbolp nil) (vl-princ-to-string \"s\") (vl-prin1-to-string \"s\") (vl-load-com)))",
           "(\"V\" 3 T nil \"s\" \"\\\"s\\\"\" nil)"},
          {"(prin1 (setenv \"ZC_TEST_VARIABLE\" \"v1\")) (prin1 (getenv \"ZC_TEST_VARIABLE\")) "
           "(prompt \"p\") (prin1 (getenv \"ZC_NO_SUCH_VARIABLE\"))",
           "\"v1\"\"v1\"pnil"},
          {"(prin1 (list (vl-catch-all-error-message (vl-catch-all-apply '/ '(1 0))) "
           "(vl-catch-all-error-p (vl-catch-all-apply '+ '(1 2))) (atoms-family 1 '(\"CAR\" "
           "\"NO\"))))",
           "(\"divide by zero\" nil (\"CAR\" nil))"},
          {"(defun-q dq (x) (* x 2)) (prin1 (list (dq 4) (defun-q-list-ref 'dq)))",
           "(8 ((X) (* X 2)))"},
          {"(vl-bb-set 'k '(1 2)) (vl-bb-set 'gone 1) (vl-bb-set 'gone nil) (setq k 3) "
           "(prin1 (list (vl-bb-ref 'k) (vl-bb-ref 'gone) (vl-propagate 'k) k (gc) (vmon) "
           "(vl-load-reactors)))",
           "((1 2) nil nil 3 nil nil nil)"},
          {"(defun f (x)\n (vl-bt))\n(f (+ 1 2))",
           "Backtrace:\n[0] (VL-BT) (t.lsp:2)\n[1] (F (+ 1 2)) (t.lsp:3)\n"},
          // names of table entries, in both modes of EXTNAMES
          {"(setq names '(\"hocus-pocus\" \"hocus pocus\" \"hocus%pocus\" \"hocus|pocus\" \"a<b\" "
           "\"\" "
           "\"層1\" \"A23456789012345678901234567890XY\")) (prin1 (mapcar 'snvalid names)) "
           "(prin1 (list (snvalid \"x|y\" 1) (snvalid \"|y\" 1) (snvalid \"x|\" 1))) "
           "(setvar \"EXTNAMES\" 0) (prin1 (mapcar 'snvalid names))",
           "(T T T nil nil nil T T)(T nil nil)(T nil nil nil nil nil nil nil)"},
          // conversions between units, exact where the units are defined so
          {"(prin1 (list (cvunit 1 \"inch\" \"mm\") (cvunit 1 \"acre\" \"Sq  Ft\") (cvunit 2 "
           "\"hour\" \"minute\") (cvunit '(1 2.5) \"ft\" \"inches\") (= (cvunit 180 \"degree\" "
           "\"radian\") pi) (= (cvunit 1 \"lb\" \"kg\") 0.45359237) (= (cvunit 1 \"gallon\" "
           "\"liter\") "
           "3.785411784) (cvunit 1 \"inch\" \"kg\") (cvunit 1 \"furlong\" \"m\")))",
           "(25.4 43560.0 120.0 (12.0 30.0) T T T nil nil)"},
          // units
          // (feet past any integer type keep their digits)
          {"(prin1 (list (rtos 17.5 1 2) (rtos 17.5 3 2) (rtos 17.5 4 2) (rtos 17.5 5 2) "
           "(rtos 2.5 2 0) (rtos 1.5) (rtos -0.5 4 3) (rtos 1.2e19 4) (rtos -1.2e19 3 1) "
           "(rtos 1.2e19 5)))",
           "(\"1.75E+01\" \"1'-5.50\\\"\" \"1'-5 1/2\\\"\" \"17 1/2\" \"3\" \"1.5000\" "
           "\"-0'-0 1/2\\\"\" \"1000000000000000000'-0\\\"\" \"-1000000000000000000'-0.0\\\"\" "
           "\"12000000000000000000\")"},
          {"(prin1 (list (distof \"1'-5 1/2\\\"\") (distof \"17 1/2\") (distof \"1.75E+01\") "
           "(distof \"nan\") (distof \"1'x\")))",
           "(17.5 17.5 17.5 nil nil)"},
          {"(prin1 (list (angtos 0.785398) (angtos 0.785398 1 4) (angtos 0.785398 2 2) "
           "(angtos (* 1.25 pi) 4 2) (angtof \"45d30'\") (angtof \"50g\" 2) (angtof \"S 45d W\" 4) "
           "(angtof \"x\")))",
           "(\"45\" \"45d0'0\\\"\" \"50.00g\" \"S 45d0' W\" 0.7941248096574199 "
           "0.7853981633974483 3.9269908169872414 nil)"},
          // a string grown in place stays unseen by those who share it
          {"(setq s \"ab\" k s) (setq s (strcat s \"c\")) (setq s (strcat s (progn (setq s \"x\") "
           "\"y\"))) (repeat 2 (setq s (strcat s \"z\") q s)) (setq s (strcat s \"!\")) "
           "(prin1 (list s k q))",
           "(\"abcyzz!\" \"ab\" \"abcyzz\")"},
          {"(prin1 (list (vl-string-translate \"abc\" \"12\" \"a-b-c\") "
           "(vl-string-mismatch \"VL-FUN\" \"vl-var\" 0 0 T)))",
           "(\"1-2-c\" 3)"},
      },
      lisp::Reals::kExact);
}

// getvar and setvar: the hosts' types and defaults, the unit variables
// rtos, angtos and distof follow, and the refusals of setvar.
TEST(Lisp, SystemVariablesKeepTheHostsTypesAndRules) {
  struct VariableCase {
    const char* script;
    const char* out;
    const char* errors;
  };
  const VariableCase cases[] = {
      {"(prin1 (mapcar 'getvar '(\"lunits\" \"LUPREC\" \"AUNITS\" \"AUPREC\" \"DIMZIN\" "
       "\"USERI1\" \"USERR5\" \"USERS3\" \"CMDECHO\" \"OSMODE\" \"ERRNO\" \"DWGNAME\" "
       "\"NOSUCH\")))",
       "(2 4 0 0 0 0 0.0 \"\" 1 4133 0 \"Drawing1.dwg\" nil)", ""},
      {"(prin1 (list (setvar \"USERI1\" -7) (setvar \"userr1\" 2) (getvar \"USERR1\") "
       "(setvar \"USERS1\" \"中\") (getvar \"USERS1\") (setvar \"ERRNO\" 52) (getvar \"errno\")))",
       "(-7 2 2.0 \"中\" \"中\" 52 52)", ""},
      {"(prin1 (list (type (getvar \"CDATE\")) (type (getvar \"DATE\")) (type (getvar "
       "\"MILLISECS\")) (type (getvar \"DWGPREFIX\")) (type (getvar \"TEMPPREFIX\")) (wcmatch "
       "(getvar \"SYSCODEPAGE\") \"ANSI_#*\") (type (getvar \"PLATFORM\")) (> (getvar \"CDATE\") "
       "20000101.0) "
       "(< 2451544 (getvar \"DATE\"))))",
       "(REAL REAL INT STR STR T STR T T)", ""},
      // the units of rtos, angtos and distof when their arguments are left out
      {"(setvar \"LUPREC\" 2) (princ (rtos 1.5)) (setvar \"LUNITS\" 4) (princ (list (rtos 17.5) "
       "(rtos 17.5 2) (distof \"1'-5 1/2\\\"\"))) (setvar \"AUNITS\" 1) (setvar \"AUPREC\" 4) "
       "(princ (angtos (/ pi 4)))",
       "1.50(1'-5 1/2\" 17.50 17.5)45d0'0\"", ""},
      {"(setvar \"DIMZIN\" 8) (princ (list (rtos 17.5) (rtos 30 2 3) (rtos 0.0))) "
       "(setvar \"DIMZIN\" 12) (princ (list (rtos 0.5) (rtos -0.25 2 2) (rtos 0 2 2)))",
       "(17.5 30 0)(.5 -.25 0)", ""},
      // refusals: unknown, read-only, the wrong type, out of range
      {"(setvar \"NOSUCH\" 1)", "",
       "; error: AutoCAD variable setting rejected: \"NOSUCH\" 1 (t.lsp:1)\n"},
      {"(setvar \"cdate\" 1.0)", "",
       "; error: AutoCAD variable setting rejected: \"cdate\" 1.0 (t.lsp:1)\n"},
      {"(setvar \"LUNITS\" 6) (setvar \"LUNITS\" 2.0) (setvar \"USERS1\" 1) (princ (getvar "
       "\"LUNITS\"))",
       "2",
       "; error: AutoCAD variable setting rejected: \"LUNITS\" 6 (t.lsp:1)\n"
       "; error: AutoCAD variable setting rejected: \"LUNITS\" 2.0 (t.lsp:1)\n"
       "; error: AutoCAD variable setting rejected: \"USERS1\" 1 (t.lsp:1)\n"},
      {"(getvar 'lunits)", "", "; error: bad argument type: stringp LUNITS (t.lsp:1)\n"},
  };
  for (const VariableCase& c : cases) {
    const ScriptRun r = run(c.script);
    EXPECT_EQ(r.out, c.out) << c.script;
    EXPECT_EQ(r.errors, c.errors) << c.script;
  }
}

// Numbers at the edges of 32 bits and of reals, lists a hundred thousand
// deep, and file functions given what they cannot use: an answer or an error
// as the dialect gives it, never a crash.
TEST(Lisp, EdgesAndMisuseAnswerWithoutACrash) {
  const std::string caught =
      "(defun try (f args / r) (setq r (vl-catch-all-apply f args)) "
      "(if (vl-catch-all-error-p r) (vl-catch-all-error-message r) r)) ";
  expectOutputs({
      {"(prin1 (list (* 65536 65536) (- -2147483648 1) (abs -2147483648) (/ -2147483648 -1) "
       "(expt 2 31) (type (fix 1e20))))",
       "(0 2147483647 -2147483648 -2147483648 -2147483648 REAL)"},
      {caught + "(prin1 (mapcar '(lambda (c) (try (car c) (cdr c))) "
                "'((/ 1 0) (/ 1.0 0) (rem 5 0) (sqrt -1) (log 0) (expt 2.0 1024))))",
       "(\"divide by zero\" \"divide by zero\" \"divide by zero\" "
       "\"function undefined for argument: -1\" \"function undefined for argument: 0\" 1.#INF)"},
      // Infinities and NaN print alike in prin1, rtos and angtos, any mode.
      {"(setq i (expt 2.0 1024) n (- i i)) (prin1 (list i (- i) n (rtos i) (rtos (- i) 4 2) "
       "(rtos n 1) (rtos i 5) (angtos i) (angtos (- i) 1) (angtos n 4)))",
       "(1.#INF -1.#INF 1.#QNAN \"1.#INF\" \"-1.#INF\" \"1.#QNAN\" \"1.#INF\" \"1.#INF\" "
       "\"-1.#INF\" \"1.#QNAN\")"},
      {"(setq a nil b nil) (repeat 200000 (setq a (list a) b (list b))) "
       "(prin1 (list (length a) (equal a b) (eq a b))) (setq a nil b nil)",
       "(1 T nil)"},
  });
}

class LispFilesTest : public test::TempDirTest {};

// The Visual LISP file functions, findfile and vl-directory-files.
TEST_F(LispFilesTest, FileFunctionsAnswerAsDocumented) {
  test::writeFile("a.txt", "hello\n");
  test::writeFile("all.lsp", "(setq loaded (1+ loaded))\n");
  expectOutputsOnce({
      {"(setq loaded 0) (prin1 (list (vl-load-all \"all\") loaded))", "(nil 1)"},
      {"(prin1 (list (vl-file-size \"a.txt\") (vl-file-copy \"a.txt\" \"b.txt\") "
       "(vl-file-copy \"a.txt\" \"b.txt\") (vl-file-copy \"a.txt\" \"b.txt\" T) "
       "(vl-file-size \"b.txt\") (vl-file-rename \"b.txt\" \"a.txt\") "
       "(vl-file-rename \"b.txt\" \"c.txt\") (vl-file-delete \"c.txt\") "
       "(vl-file-delete \"c.txt\")))",
       "(6 6 nil 6 12 nil T T nil)"},
      // Never onto itself, by its name or through another: it would grow
      // without end, or be cut first.
      {"(prin1 (list (vl-file-copy \"a.txt\" \"a.txt\" T) (vl-file-copy \"a.txt\" \"./A.TXT\" T) "
       "(vl-file-copy \"a.txt\" \"a.txt\") (vl-file-size \"a.txt\")))",
       "(nil nil nil 6)"},
      {"(prin1 (list (vl-mkdir \"d\") (vl-mkdir \"d\") (vl-file-directory-p \"d\") "
       "(vl-file-size \"d\") (vl-directory-files \".\" \"*.txt\" 1) "
       "(vl-directory-files nil nil -1) (length (vl-file-systime \"a.txt\")) "
       "(vl-filename-mktemp \"x.tmp\" \"d\") (findfile \"none.txt\") "
       "(= (findfile \"d\\\\..\\\\a.txt\") \"d\\\\..\\\\a.txt\")))",
       "(T nil T 0 (\"a.txt\") (\".\" \"..\" \"d\") 8 \"d\\\\x001.tmp\" nil T)"},
      // What cannot be opened, removed or found answers nil; a file used as
      // it was not opened is an error.
      {"(defun try (f args / r) (setq r (vl-catch-all-apply f args)) "
       "(if (vl-catch-all-error-p r) (vl-catch-all-error-message r) r)) "
       "(setq f (open \"w.txt\" \"w\")) "
       "(prin1 (list (open \"nowhere/x.txt\" \"w\") (try 'open '(\"x.txt\" \"q\")) "
       "(try 'close '(3)) (vl-file-delete \"nowhere\") (vl-file-rename \"nowhere\" \"x\") "
       "(try 'read-line (list f)) (close f) (try 'write-line (list \"x\" f))))",
       "(nil \"bad argument value: open mode \\\"q\\\"\" \"bad argument type: filep 3\" nil nil "
       "\"bad argument value: a file opened for writing\" nil "
       "\"bad argument value: a closed file #<FILE \\\"w.txt\\\">\")"},
      // A folder is no file to load: the second argument answers.
      {"(prin1 (load \"d\" \"not loaded\"))", "\"not loaded\""},
  });
  // A file last written before 1970: noon UTC on Sunday 20 July 1969 and
  // 7.5 s, whose date is the same in any time zone within 11 hours.
  {
    std::unique_ptr<platform::File> file;
    ASSERT_TRUE(platform::Env::defaultEnv()
                    ->openFile(u"a.txt", platform::OpenMode::kReadWrite, &file)
                    .ok());
    ASSERT_TRUE(file->setModified(-14212793LL * 1000000000 + 500000000).ok());
    ASSERT_TRUE(file->close().ok());
  }
  expectOutputsOnce(
      {{"(setq s (vl-file-systime \"a.txt\")) "
        "(prin1 (list (nth 0 s) (nth 1 s) (nth 2 s) (nth 3 s) (nth 6 s) (nth 7 s)))",
        "(1969 7 0 20 7 0)"}});
#if !defined(_WIN32)
  // A link that leads nowhere holds its name: (open name "w") would make
  // the file it leads to.
  std::filesystem::create_symlink("../elsewhere", "d/y001.tmp");
  expectOutputsOnce({{"(prin1 (vl-filename-mktemp \"y.tmp\" \"d\"))", "\"d\\\\y002.tmp\""}});
#endif
}

// A script's bytes are UTF-8 or UTF-16 by a mark, UTF-8 when valid, else in
// the ANSI code page; bytes that fit none stop it, naming the line.
TEST(Lisp, ScriptsAreReadInTheirEncodings) {
  struct Row {
    const char* codePage;
    std::string_view bytes;
    const char* out;
    const char* errors;
  };
  const Row rows[] = {
      // Two Big5 names stay two symbols.
      {"950",
       "(defun \xA5\xD2 () \"A\")\n(defun \xA4\x41 () \"B\")\n(princ (\xA5\xD2))(princ "
       "\"\xA4\xA4\")",
       "A中", ""},
      {"936", "(defun \xBC\xD7 () \"A\")\n(defun \xD2\xD2 () \"B\")\n(princ (\xD2\xD2))", "B", ""},
      {nullptr, "\xEF\xBB\xBF(princ \"\xE4\xB8\xAD\")", "中", ""},
      {nullptr, std::string_view("\xFF\xFE(\0p\0r\0i\0n\0c\0 \0\"\0\x2D\x4E\"\0)\0", 24), "中", ""},
      // Such bytes are left out of comments, and stop the script anywhere
      // else.
      {nullptr, "(princ 1)\n(princ \"\xE4\xB8\xAD\")\n; caf\xE9\n(princ \"\xFF\")\n(princ 2)",
       "1中", "; error: bad text: bytes that are no characters in UTF-8 (t.lsp:4)\n"},
      {"950", "(princ 1)\n(princ \"\xA4\xA4\")\n(princ \"\xA4\xFF\")\n(princ 2)", "1中",
       "; error: bad text: bytes that are no characters in code page 950; run with --codepage N "
       "for a script in code page N (t.lsp:3)\n"},
      {"950",
       "(princ 1) ; caf\xE9\n(princ ;| \xFF\x80 |; 2)\n;|\n\xA4\n|;(princ 3)\n(setq b\xFF "
       "1)\n(princ 4)",
       "123",
       "; error: bad text: bytes that are no characters in code page 950; run with --codepage N "
       "for a script in code page N (t.lsp:6)\n"},
  };
  for (const Row& row : rows) {
    test::ScopedCodePage codePage(row.codePage);
    if (row.codePage && !codePage.active()) continue;
    ScriptRun r;
    lisp::Interpreter lisp;
    lisp.setOutput([&](std::string_view text) { r.out += text; });
    lisp.setErrorOutput([&](const lisp::Error& e) { r.errors += e.report() + "\n"; });
    lisp::Script script(lisp, "t.lsp", lisp::Script::Mode::kTopLevel);
    // A byte at a time: a stream decides as a file does.
    for (char c : row.bytes) script.feed(std::string_view(&c, 1));
    script.finish();
    EXPECT_EQ(r.out, row.out) << row.bytes;
    EXPECT_EQ(r.errors, row.errors) << row.bytes;
  }
}

// User functions recurse 10,000 deep, through apply, mapcar and eval too, on
// the stack zchost gives the LISP; equal compares structures of any depth.
TEST(Lisp, RecursionGoesTenThousandDeep) {
  ScriptRun r;
  platform::runWithStack(size_t{128} << 20, [&] {
    r =
        run("(defun a (n) (if (= n 0) 0 (+ 1 (apply 'a (list (1- n))))))"
            "(defun m (n) (if (= n 0) 0 (+ 1 (car (mapcar 'm (list (1- n)))))))"
            "(defun e (n) (if (= n 0) 0 (+ 1 (eval (list 'e (1- n))))))"
            "(defun nest (n) (setq l nil) (repeat n (setq l (list l))))"
            "(princ (list (a 10000) (m 10000) (e 10000) (equal (nest 200000) (nest 200000))"
            "(equal (nest 200000) (nest 199999))))");
  });
  EXPECT_EQ(r.out, "(10000 10000 10000 T nil)");
  EXPECT_EQ(r.errors, "");
}

// Text files as the hosts write and read them: the ANSI code page unless
// open is told an encoding, any mark or valid UTF-8 recognised on reading,
// every line ended CR LF however it was written.
// The registry functions: keys made as needed, names in any case, a key
// with keys under it kept; on POSIX the file in the configuration folder,
// never written over when it is not a registry file.
TEST_F(LispFilesTest, RegistryKeepsKeysAndValues) {
#if !defined(_WIN32)
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string previous = saved ? saved : "";
  ::setenv("XDG_CONFIG_HOME", dir_.string().c_str(), 1);
#endif
  const std::string k =
      "(setq k \"HKEY_CURRENT_USER\\\\Software\\\\ZcTest\" s (strcat k \"\\\\Sub\")) ";
  expectOutputsOnce({
      {k + "(prin1 (list (vl-registry-write s \"Name\" \"v\\\"1\\\\\") (vl-registry-write "
           "(strcat k \"\\\\sub\\\\\") \"N2\" 42) (vl-registry-write k nil \"d\") "
           "(vl-registry-read (strcat k \"\\\\SUB\") \"name\") (vl-registry-read s \"n2\") "
           "(vl-registry-read k) (vl-registry-descendents k) (vl-registry-descendents s T) "
           "(vl-registry-delete k) (vl-registry-delete s \"N2\") (vl-registry-read s \"N2\") "
           "(vl-registry-delete s) (vl-registry-delete k) (vl-registry-descendents k) "
           "(vl-registry-read \"HKEY_NOWHERE\\\\x\") (vl-registry-write \"Software\\\\x\" \"a\" "
           "\"b\")))",
       "(\"v\\\"1\\\\\" 42 \"d\" \"v\\\"1\\\\\" 42 \"d\" (\"Sub\") (\"N2\" \"Name\") nil T nil T "
       "T nil nil nil)"},
  });
#if !defined(_WIN32)
  expectOutputsOnce({{k + "(prin1 (list (vl-registry-write (strcat k \"\\n\") \"a\" \"b\") "
                          "(vl-registry-write k \"Name\" \"a\\\"b\")))",
                      "(nil \"a\\\"b\")"}});
  EXPECT_NE(test::readFile("zchost/registry")
                .find("\n[HKEY_CURRENT_USER\\Software\\ZcTest]\n\"Name\"=\"a\\\"b\"\n"),
            std::string::npos)
      << test::readFile("zchost/registry");
  test::writeFile("zchost/registry", "not a registry\n");
  expectOutputsOnce({{k + "(prin1 (list (vl-registry-write k \"a\" \"b\") (vl-registry-read k "
                          "\"Name\")))",
                      "(nil nil)"}});
  EXPECT_EQ(test::readFile("zchost/registry"), "not a registry\n");
  if (saved) {
    ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
#endif
}

TEST_F(LispFilesTest, TextFilesKeepTheirEncodings) {
  struct Row {
    const char* codePage;  // the ANSI code page the row needs
    const char* file;      // the file's bytes before the script, if any
    const char* script;
    const char* out;
    std::string_view bytes;  // the file's bytes after it, when given
  };
  const Row rows[] = {
      {"950", nullptr,
       "(setq f (open \"t.txt\" \"w\")) (write-char 20013 f) (write-char 10 f) (princ \"A\\nB\" f)"
       "(write-line \"C\" f) (terpri f) (close f) (setq f (open \"t.txt\" \"r\"))"
       "(prin1 (list (read-char f) (read-char f) (read-line f) (read-line f) (read-line f) "
       "(read-line f) (read-line f)))",
       "(20013 10 \"A\" \"BC\" \"\" nil nil)", "\xA4\xA4\r\nA\r\nBC\r\n\r\n"},
      {nullptr, nullptr,
       "(setq f (open \"t.txt\" \"w\" \"utf8\")) (write-line \"中\" f) (close f)"
       "(setq f (open \"t.txt\" \"a\")) (write-line \"é\" f) (close f)"
       "(prin1 (read-line (setq f (open \"t.txt\" \"r\"))))",
       "\"中\"", "\xE4\xB8\xAD\r\n\xC3\xA9\r\n"},
      {nullptr, nullptr,
       "(setq f (open \"t.txt\" \"w\" \"UTF8-BOM\")) (write-line \"中\" f) (close f)"
       "(setq f (open \"t.txt\" \"a\")) (write-line \"é\" f) (close f)"
       "(setq f (open \"t.txt\" \"r\")) (prin1 (list (read-line f) (read-line f)))",
       "(\"中\" \"é\")", "\xEF\xBB\xBF\xE4\xB8\xAD\r\n\xC3\xA9\r\n"},
      {nullptr, nullptr,
       "(setq f (open \"t.txt\" \"w\" \"utf16le\")) (write-line \"中A\" f) (close f)"
       "(setq f (open \"t.txt\" \"r\")) (prin1 (list (read-line f) (read-line f)))",
       "(\"中A\" nil)", std::string_view("\xFF\xFE\x2D\x4E\x41\x00\x0D\x00\x0A\x00", 10)},
      // Files other programs wrote.
      {"950",
       "\xA5\xD2,\xA4\x41\r\n",
       "(prin1 (read-line (open \"t.txt\" \"r\")))",
       "\"甲,乙\"",
       {}},
      {"936", "\xBC\xD7,\xD2\xD2\n", "(prin1 (read-line (open \"t.txt\" \"r\")))", "\"甲,乙\"", {}},
      {nullptr, "\xE7\x94\xB2\n", "(prin1 (read-line (open \"t.txt\" \"r\")))", "\"甲\"", {}},
      // Lines that end CR alone, CR LF or LF.
      {nullptr,
       "a\rb\r\nc\nd\r",
       "(setq f (open \"t.txt\" \"r\")) (prin1 (list (read-line f) (read-line f) (read-line f) "
       "(read-line f) (read-line f)))",
       "(\"a\" \"b\" \"c\" \"d\" nil)",
       {}},
      {nullptr,
       "\xE7\x94\xB2\n",
       "(prin1 (read-line (open \"t.txt\" \"r\" \"utf8\")))",
       "\"甲\"",
       {}},
  };
  for (const Row& row : rows) {
    test::ScopedCodePage codePage(row.codePage);
    if (row.codePage && !codePage.active()) continue;
    if (row.file) test::writeFile("t.txt", row.file);
    const ScriptRun r = run(row.script);
    EXPECT_EQ(r.out, row.out) << row.script;
    EXPECT_EQ(r.errors, "") << row.script;
    if (!row.bytes.empty()) {
      EXPECT_EQ(test::readFile("t.txt"), row.bytes) << row.script;
    }
  }
}

TEST(Lisp, CommentsOfBothKindsAreSkipped) {
  expectOutputs({
      {"(princ 1) ; (princ 2)\n(princ 3)", "13"},
      {"(princ 1) ;| (princ 2) |; (princ 3)", "13"},
      {"(princ 1)\n;| (princ 2)\n(Delfile \"x\")\n|;\n(princ 3)", "13"},
      {"(princ ;|inline|; 4)", "4"},
      {"(princ 1) ; see ;| note\n(princ 2)", "12"},  // ";|" inside a ';' comment is its text
      {"(prin1 \"a\r\nb\")", "\"a\\nb\""},           // CR LF inside a string reads as LF
  });
}

// The REPL's collector knows when a form is complete, line after line: a
// ";|" inside a ';' comment opens no block comment, an escaped quote ends no
// string, and taking the text starts afresh.
TEST(Lisp, FormsAreCompleteAtTheEndOfTheirLine) {
  struct Row {
    std::vector<const char*> lines;
    bool complete;
  };
  const Row rows[] = {
      {{"(princ 1) ; see ;| note\n"}, true},
      {{"(princ 1) ;| open\n"}, false},
      {{"(princ 1) ;| open\n", "still |; (princ 2)\n"}, true},
      {{"(princ \"a;|b\")\n"}, true},
      {{"(princ (\n"}, false},
      {{"(princ (\n", "  (+ 1 2)))\n"}, true},
      {{"(princ \"a\\\"b)\n"}, false},
      {{"(princ \"a\\\"b)\n", "c\")\n"}, true},
      {{"(princ \"(\")\n"}, true},
  };
  for (const Row& row : rows) {
    lisp::FormCollector collector;
    for (const char* line : row.lines) collector.add(line);
    EXPECT_EQ(collector.complete(), row.complete) << row.lines.back();
    const std::string taken = collector.take();
    EXPECT_EQ(taken.size(), std::string(row.lines[0]).size() +
                                (row.lines.size() > 1 ? std::string(row.lines[1]).size() : 0));
    EXPECT_TRUE(collector.empty() && collector.complete());
  }
}

TEST(Lisp, ErrorsNameTheirFileAndLine) {
  struct ErrorCase {
    const char* script;
    const char* out;
    const char* errors;
  };
  const ErrorCase cases[] = {
      {"(princ 1)\n\n(car 1)\n(princ 2)", "12", "; error: bad argument type: consp 1 (t.lsp:3)\n"},
      {"(defun f (x)\n  (+ x \"a\"))\n(f 1)", "",
       "; error: bad argument type: numberp \"a\" (t.lsp:2)\n"},
      {"(undefined 1)", "", "; error: no function definition: UNDEFINED (t.lsp:1)\n"},
      // A second call runs its body prepared: the same errors, at the same
      // lines, and a name redefined between calls means what it now means.
      {"(defun f (x)\n  (+ x \"a\"))\n(f 1)\n(f 1)", "",
       "; error: bad argument type: numberp \"a\" (t.lsp:2)\n"
       "; error: bad argument type: numberp \"a\" (t.lsp:2)\n"},
      {"(defun f (x) (if x (g x) 2)) (defun g (x) 1) (princ (list (f 1) (f 1)))\n"
       "(defun g (x) (list x)) (defun if (a b c) 'mine) (princ (f 5))\n(setq if nil) (f 5)",
       "(1 1)MINE", "; error: no function definition: IF (t.lsp:1)\n"},
      {"(/ 1 0) (car)", "",
       "; error: divide by zero (t.lsp:1)\n; error: too few arguments (t.lsp:1)\n"},
      {"(defun f () (f)) (f)", "", "; error: LISP stack overflow (t.lsp:1)\n"},
      {"(princ 1))(princ 2)", "12", "; error: extra right paren on input (t.lsp:1)\n"},
      {"(princ 1)\n(princ", "1", "; error: malformed list on input (t.lsp:2)\n"},
      {"(princ 1)\n(setq a (list\n \"x\n\n", "1", "; error: malformed string on input (t.lsp:3)\n"},
      {"(setq pi 3)", "", "; error: attempt to set a constant: PI (t.lsp:1)\n"},
      {"(defun *error* (m) (princ (strcat \"caught: \" m))) (car 1) (princ \".\")",
       "caught: bad argument type: consp 1.", ""},
  };
  for (const ErrorCase& c : cases) {
    for (bool prepared : {false, true}) {
      const ScriptRun r = run(c.script, lisp::Reals::kHost, prepared);
      EXPECT_EQ(r.out, c.out) << (prepared ? "prepared: " : "") << c.script;
      EXPECT_EQ(r.errors, c.errors) << (prepared ? "prepared: " : "") << c.script;
    }
  }
}

TEST(Lisp, AssignmentSharesStructureAndFreeingNeverRecurses) {
  const uint64_t before = lisp::liveObjects();
  {
    ScriptRun r = run("(setq a nil) (repeat 26 (setq a (list a a))) (prin1 (length a))");
    EXPECT_EQ(r.out, "2");
    // A long and a deep structure are freed without a deep recursion.
    r = run("(setq l nil d nil) (repeat 300000 (setq l (cons 1 l) d (list d))) (prin1 (length l))");
    EXPECT_EQ(r.out, "300000");
  }
  EXPECT_EQ(lisp::liveObjects(), before);
}

TEST(Lisp, LimitsStopRunawayScripts) {
  const std::pair<const char*, const char*> cases[] = {
      {"(while T 1)", "evaluation limit reached"},
      {"(setq s \"x\") (while T (setq s (strcat s s)))", "memory limit reached"},
      {"(setq l nil) (while T (setq l (cons l l)))", "memory limit reached"},
      {"(open \"f\" \"w\")", "files are not available here"},
  };
  for (const auto& [script, message] : cases) {
    lisp::Interpreter lisp;
    std::string errors;
    lisp.setOutput([](std::string_view) {});
    lisp.setErrorOutput([&](const lisp::Error& e) { errors += e.message; });
    lisp.setLimits({1000000, 100000, 1 << 20, false});
    lisp.run(script, "");
    EXPECT_EQ(errors, message) << script;
  }
  // Ctrl-C ends the form that runs, through vl-catch-all-apply too, and
  // the next form runs.
  lisp::Interpreter lisp;
  std::string out, errors;
  lisp.setOutput([&](std::string_view text) {
    if (text == "go") lisp::requestCancel();
    out += text;
  });
  lisp.setErrorOutput([&](const lisp::Error& e) { errors += e.message; });
  lisp.run("(while T (vl-catch-all-apply 'princ '(\"go\"))) (princ \"next\")", "");
  EXPECT_EQ(errors, "Function cancelled");
  EXPECT_EQ(out, "gonext");
}

// Reals print as the hosts print them, six significant digits with a
// decimal point kept; or exactly, in the shortest form that reads back.
TEST(LispPrinter, PrintsRealsAsTheHostsOrExactly) {
  struct RealCase {
    double x;
    const char* host;
    const char* exact;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const RealCase cases[] = {
      {180.0, "180.0", "180.0"},
      {57.29577951308232, "57.2958", "57.29577951308232"},
      {0.0, "0.0", "0.0"},
      {-0.0, "-0.0", "-0.0"},
      {123456.0, "123456.0", "123456.0"},
      {1234567.0, "1.23457e+06", "1234567.0"},
      {0.0001, "0.0001", "1e-04"},
      {0.00001234, "1.234e-05", "1.234e-05"},
      {1e300, "1.0e+300", "1e+300"},
      {-1e-300, "-1.0e-300", "-1e-300"},
      {inf, "1.#INF", "1.#INF"},
      {-inf, "-1.#INF", "-1.#INF"},
      {nan, "1.#QNAN", "1.#QNAN"},
      {-nan, "1.#QNAN", "1.#QNAN"},
  };
  for (const RealCase& c : cases) {
    EXPECT_EQ(lisp::formatReal(c.x), c.host);
    EXPECT_EQ(lisp::formatReal(c.x, lisp::Reals::kExact), c.exact);
  }
  lisp::Interpreter lisp;
  std::mt19937_64 random(7);
  for (int i = 0; i < 2000; ++i) {
    double x;
    uint64_t bits = random();
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x)) continue;
    const std::string text = lisp::formatReal(x, lisp::Reals::kExact);
    lisp::Reader reader(lisp, text);
    lisp::Value back;
    lisp::Error error;
    ASSERT_EQ(reader.next(&back, &error), lisp::Reader::Status::kForm) << text;
    ASSERT_EQ(back.type(), lisp::Type::kReal) << text;
    EXPECT_EQ(back.asReal(), x) << text;
  }
}

}  // namespace
