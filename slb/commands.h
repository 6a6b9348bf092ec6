// The commands of slb, one function each, and the type of the table that
// names them (slb_main.cc). A command takes the arguments that follow its
// name and answers the exit status: 0 done, 1 a problem it reported, 2 a
// usage error it reported.
#pragma once

#include "common.h"

namespace slb {

// A row of the command table: the command's name, its function, and its
// lines of --help. Each line is a form of the command (what follows
// "slb NAME ") and, after a tab, a line of what it does; a line with no
// form carries on what the line above says.
struct Command {
  const char* name;
  int (*run)(Arguments args);
  const char* usage;
};

// Each in commands/ under its name: list.cc, check.cc, and so on.
int listSlides(Arguments args);
int checkFile(Arguments args);
int describeSlide(Arguments args);
int extractSlides(Arguments args);
int addSlides(Arguments args);
int deleteSlides(Arguments args);
int renameSlide(Arguments args);
int drawSvg(Arguments args);
int drawPng(Arguments args);
int drawSheet(Arguments args);
int dumpSlide(Arguments args);
int makeSlide(Arguments args);

}  // namespace slb
