// zchost as a process: output bytes, standard error, exit status, files.
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/text.h"
#include "support/host_support.h"
#include "support/process.h"

namespace {

using test::runZchost;

class ZchostTest : public test::TempDirTest {};

TEST_F(ZchostTest, ExpressionsPrintExactlyWhatTheModulesPrint) {
  test::ProcessResult r = runZchost({"-e", "(Delfile \"missing.txt\")"});
  EXPECT_EQ(r.out, "\nDELETE->missing.txt\nDELETE FAIL");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST_F(ZchostTest, VerboseAddsTheCauseOfAFailureOnStandardError) {
  test::ProcessResult r = runZchost({"-v", "-e", "(Delfile \"missing.txt\")"});
  EXPECT_EQ(r.out, "\nDELETE->missing.txt\nDELETE FAIL");
  EXPECT_EQ(r.err.rfind("; cause: remove missing.txt: not found (system error ", 0), 0u) << r.err;
  EXPECT_EQ(r.status, 0);
}

TEST_F(ZchostTest, PrintFunctionsKeepTheirOrderWithModuleOutput) {
  test::ProcessResult r =
      runZchost({"-e",
                 "(princ \"a\") (Delfile \"x\") (prin1 \"q\\\"\") (print 1.5) (terpri) "
                 "(princ ($rtd 0.5235987755982988))"});
  EXPECT_EQ(r.out, "a\nDELETE->x\nDELETE FAIL\"q\\\"\"\n1.5 \n30.0");
  EXPECT_EQ(r.status, 0);
}

TEST_F(ZchostTest, ErrorsGoToStandardErrorAndEvaluationGoesOn) {
  test::ProcessResult r = runZchost(
      {"-e", "($addbl \"abc\" 2) (undefined_fn 1) (princ \"after\") (strcat 1) (princ \"end\")"});
  EXPECT_EQ(r.out, "afterend");
  EXPECT_EQ(r.err,
            "; error: 整數值小於字串的長度\n"
            "; error: no function definition: UNDEFINED_FN\n"
            "; error: bad argument type: stringp 1\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(ZchostTest, UnbalancedInputIsAnError) {
  test::ProcessResult r = runZchost({"-e", "(princ \"a\"))(princ \"b\")"});
  EXPECT_EQ(r.out, "ab");
  EXPECT_EQ(r.err, "; error: extra right paren on input\n");
  EXPECT_EQ(r.status, 1);
  r = runZchost({"-e", "(princ \"a\""});
  EXPECT_EQ(r.err, "; error: malformed list on input\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(ZchostTest, ReplPrintsEachValueOnALineOfItsOwn) {
  test::ProcessResult r =
      runZchost({},
                "($dtr 180)\n(setq $acad_code \"CHINESE\")\n($eorc \"中\" \"en\")\n"
                "(Delfile \"nothing\")\n(list 1\n 2)\n");
  EXPECT_EQ(r.out, "3.14159\n\"CHINESE\"\n\"中\"\n\nDELETE->nothing\nDELETE FAIL\nnil\n(1 2)\n");
  EXPECT_EQ(r.status, 0);
}

TEST_F(ZchostTest, FilesAndStandardInputRunInCommandLineOrder) {
  test::writeFile("script.lsp", "(setq x \"from file\")\n(princ x)\n");
  test::ProcessResult r =
      runZchost({"-e", "(princ 1)", "script.lsp", "-", "-e", "(princ 3)"}, "(princ 2)");
  EXPECT_EQ(r.out, "1from file23");
  EXPECT_EQ(r.status, 0);
  r = runZchost({"-e", "(load \"script.lsp\") (princ (strlen x))"});
  EXPECT_EQ(r.out, "from file9");
}

#if !defined(_WIN32)
// A script read from a pipe runs; output that cannot be written (a full
// device, a closed pipe) and input that cannot be read (a file the kernel
// refuses to read, a folder for standard input) end the run with status 1
// and say why.
TEST_F(ZchostTest, PipesRunAndFailedOutputOrInputIsAnErrorOnPosix) {
  const std::string zchost = test::zchostPath();
  struct Case {
    std::string command, out;
    int status;
  };
  const Case cases[] = {
      {zchost + " <(echo '(princ 12)')", "12", 0},
      {"echo '(princ 3)' | " + zchost + " /dev/stdin", "3", 0},
      {zchost + " -e '(princ 1)' 2>&1 >/dev/full; echo \" $?\"",
       "zchost: cannot write standard output: No space left on device\n 1\n", 0},
      // A reader that went away ends the run quietly, as SIGPIPE ends cat.
      {"{ " + zchost +
           " -e '(repeat 100000 (princ \"line of text\n\"))' 2>&1; } | head -1"
           " >/dev/null; echo \"${PIPESTATUS[0]}\"",
       "141\n", 0},
      {zchost + " /proc/self/mem 2>&1; echo \" $?\"",
       "; error: cannot read /proc/self/mem: Input/output error\n 1\n", 0},
      {zchost + " - < . 2>&1; echo \" $?\"", "; error: cannot read -: Is a directory\n 1\n", 0},
      {zchost + " < . 2>&1; echo \" $?\"",
       "; error: cannot read standard input: Is a directory\n 1\n", 0},
  };
  for (const Case& c : cases) {
    test::ProcessResult r = test::runProcess({"/bin/bash", "-c", c.command});
    EXPECT_EQ(r.out, c.out) << c.command;
    EXPECT_EQ(r.status, c.status) << c.command;
  }
}

#if !defined(__SANITIZE_ADDRESS__)  // AddressSanitizer needs far more address space
// Memory running out is an error of the form, and the next form runs; an
// input without end is an error, not all the memory there is.
TEST_F(ZchostTest, MemoryRunningOutIsALispErrorOnPosix) {
  const std::string zchost = test::zchostPath();
  test::ProcessResult r = test::runProcess(
      {"/bin/bash", "-c",
       "ulimit -v 600000; " + zchost +
           " -e '(setq s \"xxxxxxxx\") (repeat 40 (setq s (strcat s s)))' -e '(princ \"next\")'"});
  EXPECT_EQ(r.out, "next");
  EXPECT_EQ(r.err, "; error: insufficient memory\n");
  EXPECT_EQ(r.status, 1);
  r = test::runProcess({"/bin/bash", "-c", zchost + " <(head -c 300000000 /dev/zero)"});
  EXPECT_NE(r.err.find("; error: line too long: over 256 MiB without an end"), std::string::npos)
      << r.err;
  EXPECT_EQ(r.status, 1);
}
#endif
#endif

TEST_F(ZchostTest, RelativePathsAreTheUsersWorkingDirectory) {
  test::writeFile("a.txt", "copy me");
  test::ProcessResult r = runZchost({"-e", "(Copyfile \"a.txt\" \"b.txt\") (Dirfile \"*.txt\")"});
  EXPECT_EQ(test::readFile("b.txt"), "copy me");
  EXPECT_NE(test::readFile("dirfile").find("       a.txt          7 \r\n"), std::string::npos);
}

TEST_F(ZchostTest, CodePageOptionSetsTheAnsiCodePage) {
  // POSIX takes any code page; Windows only the system's own, and refuses
  // another with a usage error.
  const bool settable = test::ScopedCodePage("1252").active();
  test::ProcessResult r = runZchost({"--codepage", "1252", "-e", "(prin1 ($addbl \"中\" 2))"});
  EXPECT_EQ(r.status, settable ? 0 : 2);
  EXPECT_EQ(r.out, settable ? "\"? \"" : "");
  r = runZchost({"--codepage", test::chineseCodePage(), "-e", "(prin1 ($addbl \"中\" 3))"});
  EXPECT_EQ(r.out, "\"中 \"");
}

TEST_F(ZchostTest, ModulesLoadByNameOrPathAndOnlyThoseAreDefined) {
  test::ProcessResult r = runZchost({"-l", "calden", "-e", "(princ ($npi 1)) (Delfile \"x\")"});
  EXPECT_EQ(r.out, "3.14159");
  EXPECT_EQ(r.err, "; error: no function definition: DELFILE\n");
  r = runZchost({"--load", test::modulePath("vetrix"), "-e", "(DELFILE \"x\")"});
  EXPECT_EQ(r.out, "\nDELETE->x\nDELETE FAIL");
  // A script loads and unloads modules by name too.
#if defined(_WIN32)
  const std::string extension = ".dll";
#else
  const std::string extension = ".so";
#endif
  r = runZchost({"-l", "calden", "-e",
                 "(princ (arx)) (princ (arxload \"vetrix\")) (Delfile \"x\") (princ (arxload "
                 "\"VETRIX.arx\" 'again)) (princ (arxunload \"calden\")) (princ (arx)) ($npi 1) "
                 "(arxunload \"calden\")"});
  EXPECT_EQ(r.out, "(calden" + extension + ")vetrix\nDELETE->x\nDELETE FAILAGAINcalden(vetrix" +
                       extension + ")");
  EXPECT_EQ(r.err,
            "; error: no function definition: $NPI\n; error: ARXUNLOAD failed: \"calden\"\n");
}

// startapp starts a program without a shell: its one argument keeps its
// blank, and a program that cannot be started gives nil.
TEST_F(ZchostTest, StartappStartsAProgramWithItsArgumentAsGiven) {
  test::writeFile("a script.lsp",
                  "(setq f (open \"started.txt\" \"w\")) (princ \"ok\" f) (close f)");
  std::string program;
  for (char c : test::zchostPath()) program += c == '\\' ? std::string("\\\\") : std::string(1, c);
  test::ProcessResult r = runZchost(
      {"-e", "(princ (list (numberp (startapp \"" + program +
                 "\" \"a script.lsp\")) (startapp \"zc-no-such-program\") (startapp \"\")))"});
  EXPECT_EQ(r.out, "(T nil nil)");
  for (int i = 0; i < 200 && test::readFile("started.txt") != "ok"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(test::readFile("started.txt"), "ok");
}

TEST_F(ZchostTest, UsageErrorsAndUnloadableModulesExitWithTwo) {
  test::writeFile("bogus.so", "not a library");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--frobnicate"},
                                               {"-e"},
                                               {"-x"},
                                               {"--exact-reals=yes", "-e", "1"},
                                               {"--codepage", "abc"},
                                               {"--codepage=4294968246", "-e", "1"},
                                               {"-l", "./bogus.so", "-e", "1"},
                                               {"-l", "nosuchmodule", "-e", "1"}}) {
    test::ProcessResult r = runZchost(args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_FALSE(r.err.empty());
    if (args[0] != "-l") {  // one line, and where help is
      EXPECT_EQ(r.err.substr(r.err.find('\n') + 1), "Try 'zchost --help' for more information.\n")
          << args[0];
    }
  }
  test::ProcessResult r = runZchost({"-l", "./bogus.so", "-e", "1"});
  EXPECT_NE(r.err.find("bogus.so"), std::string::npos);
}

// The command line as GNU tools read it: --name=value, bundled letters,
// "--", and "-" for standard input.
TEST_F(ZchostTest, CommandLinesReadAsGnuToolsDo) {
  test::writeFile("-e", "(princ \"file\")");
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"-lcalden", "-e", "(princ (arx))"}, "(calden"},
      {{"--load=vetrix", "-e(princ (arx))"}, "(vetrix"},
      {{"--exact-reals", "-e", "(princ 1.21)"}, "1.21"},
      {{"-v", "-e", "(princ 1)", "--", "-e"}, "1file"},
      {{"-e", "(princ 1)", "-"}, "1stdin"},
  };
  for (const Case& c : cases) {
    const test::ProcessResult r = runZchost(c.args, "(princ \"stdin\")");
    EXPECT_EQ(r.status, 0) << c.args.back() << ": " << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << c.args.back() << ": " << r.out;
  }
  // --version names the code page in use, --codepage's when given.
  const std::string codePage = std::to_string(platform::ansiCodePage());
  EXPECT_NE(runZchost({"--codepage=" + codePage, "--version"})
                .out.find("\nANSI code page " + codePage + "\n"),
            std::string::npos);
}

TEST_F(ZchostTest, ExitEndsTheRunWithItsStatus) {
  EXPECT_EQ(runZchost({"-e", "(princ 1) (exit 3) (princ 2)"}).out, "1");
  for (const auto& [expression, status] :
       std::vector<std::pair<const char*, int>>{{"(exit 3)", 3},
                                                {"(exit -1)", 255},
                                                {"(exit 256)", 0},
                                                {"(exit)", 0},
                                                {"(car 1) (exit)", 1}}) {
    EXPECT_EQ(runZchost({"-e", expression}).status, status) << expression;
  }
  EXPECT_EQ(runZchost({"--help"}).status, 0);
  EXPECT_EQ(runZchost({"--version"}).out.rfind("zchost ", 0), 0u);
}

TEST_F(ZchostTest, ScriptsLoadFilesAsTheModulesFindThemAndStopAtALoadLoop) {
  std::filesystem::create_directory("Lib");
  test::writeFile("Lib/Shapes.lsp", "(defun area (w h) (* w h))\n");
  test::writeFile("main.lsp",
                  "(load \"C:lib\\\\shapes\")\n(princ (area 3 4))\n\n(car (area 1 2))\n");
  test::writeFile("self.lsp", "(load \"self.lsp\")\n");
  test::ProcessResult r = runZchost({"main.lsp", "self.lsp"});
  EXPECT_EQ(r.out, "12");
  EXPECT_EQ(r.err,
            "; error: bad argument type: consp 2 (main.lsp:4)\n"
            "; error: LOAD nested too deeply: \"self.lsp\" (self.lsp:1)\n");
  EXPECT_EQ(r.status, 1);
}

TEST_F(ZchostTest, UnknownCodePagesAreUsageErrors) {
  EXPECT_EQ(runZchost({"--codepage", "12345", "-e", "1"}).status, 2);
#if !defined(_WIN32)
  ::setenv("ANSI_CODEPAGE", "12345", 1);
  test::ProcessResult r = runZchost({"-e", "1"});
  ::unsetenv("ANSI_CODEPAGE");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("ANSI_CODEPAGE=12345"), std::string::npos) << r.err;
#endif
}

// A script driven by a file of answers on standard input, as a here-document
// gives them: what each request takes, what it refuses (with the hosts'
// messages, on standard output with the prompts) and asks again.
TEST_F(ZchostTest, GetFunctionsTakeTheirAnswersFromStandardInput) {
  struct Case {
    const char *script, *answers, *out;
  };
  const Case cases[] = {
      {"(prin1 (list (getint) (getint) (getint)))", "x\n7\n40000\n-5\n\n",
       "Requires an integer value.\nRequires an integer between -32768 and 32767.\n(7 -5 nil)"},
      {"(initget 7) (setq a (getint)) (initget 4) (setq b (getreal)) (initget 2)"
       " (prin1 (list a b (getdist) (getint)))",
       "\n0\n3\n-1.5\n0\n0\n1'6\"\n0\n",
       "Requires an integer value.\nValue must be positive and nonzero.\n"
       "Value must be positive.\nValue must be nonzero.\n(3 0.0 18.0 0)"},
      // Without its flag a space ends the answer, and what follows answers
      // the next request.
      {"(prin1 (list (getstring \"Name: \") (getstring) (getstring T) (getstring)))",
       "John Smith\r\nJohn  Smith\n", "Name: (\"John\" \"Smith\" \"John  Smith\" nil)"},
      {"(initget 1 \"LType eXit YES\") (setq a (getkword \"? \"))"
       " (initget \"LType eXit YES\") (setq b (getkword))"
       " (initget \"LTYPE,LT yes\") (setq c (getkword)) (initget \"LType yes\")"
       " (prin1 (list a b c (getkword) (getkword)))",
       "\nl\nlty\nx\nlt\nye\nYES\nLTYPE\n",
       "? \nInvalid option keyword.\n? \nInvalid option keyword.\n? \n"
       "Invalid option keyword.\n(\"LType\" \"eXit\" \"LTYPE\" \"yes\" nil)"},
      {"(initget \"Oui Non _ Yes No\") (setq a (getkword)) (initget \"Oui Non _ Yes No\")"
       " (setq b (getkword)) (initget \"All\") (setq c (getint)) (initget 128)"
       " (setq d (getreal)) (initget 129) (prin1 (list a b c d (getpoint)))",
       "o\n_no\na\nabc\n\n", "(\"Yes\" \"No\" \"All\" \"abc\" \"\")"},
      {"(prin1 (list (getpoint) (getpoint) (getpoint) (getpoint '(10 10))"
       " (getcorner '(0 0) \"C: \") (getdist) (getdist '(0 0)) (getangle) (getangle)"
       " (getorient \"O: \")))",
       "1,2\n@1,1,1\n@\nbad\n@-1,0\n3,4\n3,4\n0,0\n3,4\n45d30'\n0,0\n0,1\nN45dE\n",
       "Invalid point.\nC: \nSpecify second point: \nSpecify second point: O: "
       "((1.0 2.0 0.0) (2.0 3.0 1.0) (2.0 3.0 1.0) (9.0 10.0 0.0) (3.0 4.0 0.0)"
       " 5.0 5.0 0.7941248096574199 1.5707963267948966 0.7853981633974483)"},
      // At the end of the input every request answers nil.
      {"(prin1 (list (getint \"A: \") (getpoint) (getstring) (getdist)))", "",
       "A: (nil nil nil nil)"},
  };
  for (const Case& c : cases) {
    test::writeFile("s.lsp", c.script);
    test::ProcessResult r = runZchost({"--exact-reals", "s.lsp"}, c.answers);
    EXPECT_EQ(r.out, c.out) << c.script;
    EXPECT_EQ(r.err, "") << c.script;
  }
}

TEST_F(ZchostTest, ArgumentsReachTheModulesWithTheirTypeCodes) {
  // 70000 comes as a 32-bit integer and is taken; a list, nil or T is no
  // real. The result is read to its last bit.
  test::ProcessResult r =
      runZchost({"--exact-reals", "-e", "(princ ($rtd 70000)) ($rtd '(1 2)) ($rtd nil) ($rtd T)"});
  EXPECT_EQ(r.out, "4010704.5659157624");
  EXPECT_EQ(r.err,
            "; error: 接收到的輸入值不是實數\n; error: 接收到的輸入值不是實數\n"
            "; error: 接收到的輸入值不是實數\n");
}

}  // namespace
