#!/usr/bin/env python3
"""zchost's prompt in a pseudo-terminal: line editing, history and
completion, !x, Ctrl-C cancelling a running loop or a typed line with every
definition kept, and how it is left (Ctrl-D, two Ctrl-C) with its status.
Usage: repl_pty.py ZCHOST"""
import os
import pty
import select
import sys
import tempfile
import time

ZCHOST = os.path.abspath(sys.argv[1])


class Repl:
    def __init__(self, home):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(home)
            os.environ.update(HOME=home, TERM="xterm")
            os.execv(ZCHOST, [ZCHOST])
        self.seen = b""
        self.closed = False

    def expect(self, text, timeout=10):
        """Reads until `text` has come; what came up to it."""
        want = text.encode()
        end = time.time() + timeout
        while want not in self.seen:
            if time.time() > end or self.closed:
                raise AssertionError(f"{text!r} never came; got {self.seen!r}")
            ready, _, _ = select.select([self.fd], [], [], 0.1)
            if ready:
                try:
                    self.seen += os.read(self.fd, 4096)
                except OSError:  # the program ended
                    self.closed = True
        at = self.seen.index(want) + len(want)
        got, self.seen = self.seen[:at], self.seen[at:]
        return got.decode(errors="replace")

    def send(self, keys, then=None):
        os.write(self.fd, keys.encode())
        if then is not None:
            return self.expect(then)
        return None

    def ask(self, keys, answer):
        """Types at the prompt and waits for the answer and the next prompt,
        and a moment more: keys typed before the line editor takes the
        terminal meet the terminal's own line editing, as they would for a
        person typing ahead."""
        self.send(keys, answer)
        self.prompt()

    def prompt(self, text="Command: "):
        self.expect(text)
        time.sleep(0.3)

    def status(self):
        _, status = os.waitpid(self.pid, 0)
        return os.waitstatus_to_exitcode(status)

    def tail(self):
        """What it said last, for a failure's message."""
        try:
            while select.select([self.fd], [], [], 0.1)[0]:
                self.seen += os.read(self.fd, 4096)
        except OSError:
            pass
        return repr(self.seen[-300:])


def scenario():
    with tempfile.TemporaryDirectory() as home:
        repl = Repl(home)
        repl.expect("Ctrl-D leaves")
        repl.prompt()
        repl.ask("(setq x 41)\r", "41\r\n")
        repl.ask("!x\r", "41\r\n")
        # Editing: the cursor moved back two places takes the b in there.
        repl.ask('(strcat "a" "c")\x1b[D\x1b[Db\r', '"acb"\r\n')
        # History: Ctrl-P brings back the line before, to be changed.
        repl.ask("(setq z 5)\r", "5\r\n")
        repl.ask("\x10\x7f\x7f9)\r", "9\r\n")
        # Tab completes a function's name, in the letter case typed.
        repl.ask('(strl\t"abc")\r', "3\r\n")
        # Ctrl-C ends a running loop; what was defined stays.
        repl.ask("(setq n 0)\r", "0\r\n")
        repl.ask("(defun spin () (while t (setq n (1+ n))))\r", "SPIN\r\n")
        repl.send("(spin)\r")
        time.sleep(0.5)
        repl.send("\x03", "Function cancelled")
        repl.prompt()
        repl.ask("(list (> n 0) x z (type spin))\r", "(T 41 9 USUBR)\r\n")
        # Ctrl-C drops a form not yet ended and a line being typed.
        repl.send("(setq w\r")
        repl.prompt("(_> ")
        repl.send("1\x03")
        repl.prompt()
        repl.ask("(list w 2)\r", "(nil 2)\r\n")
        repl.send("\x04")
        code = repl.status()
        assert code == 0, f"Ctrl-D after a form that succeeded: {code}, {repl.tail()}"
        with open(os.path.join(home, ".zchost_history"), encoding="utf-8") as f:
            assert "(setq x 41)\n" in f.read(), "the history is kept"

        # A failed last form: Ctrl-D leaves with 1. A second Ctrl-C at an
        # empty prompt leaves too.
        repl = Repl(home)
        repl.prompt()
        repl.ask("\x10\r", "(nil 2)\r\n")  # the history of the last run
        repl.ask("(car 1)\r", "bad argument type")
        repl.send("\x04")
        code = repl.status()
        assert code == 1, f"Ctrl-D after a form that failed: {code}, {repl.tail()}"
        repl = Repl(home)
        repl.prompt()
        repl.ask("\x03", "Ctrl-C again")
        repl.send("\x03")
        code = repl.status()
        assert code == 0, f"two Ctrl-C at an empty prompt: {code}, {repl.tail()}"


def main():
    scenario()
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
