// Slbedit: lists, adds and deletes the slides of a slide library.
//
//   (Slbedit "l" "lib")        lists lib.slb
//   (Slbedit "a" "lib" "abc")  adds abc.sld to lib.slb (replacing a slide ABC)
//   (Slbedit "d" "lib" "abc")  deletes the slide ABC from lib.slb
//
// A missing library is created holding the named slide. Every change is
// written into a temporary file in the library's folder and then put in the
// library's place in one atomic step: whatever fails, the library is either
// the old one or the new one. Returns 1 after a command ran to its end,
// kRtError otherwise.
#pragma once

#include <string>

#include "frame/host_interface.h"
#include "platform/platform.h"
#include "vetrix/slides/slide_format.h"

int Slbedit(const ResultBuffer* args);

// What the command steps work on, built from the arguments.
struct SlbeditRequest {
  char16_t command;
  std::u16string libraryPath;  // library argument + ".slb"
  std::u16string folder;       // drive and directory of the library argument
  std::u16string slideFile;    // slide argument + ".sld"
  std::string slideName;       // the name to store and look up, in the ANSI code page
  std::string typedName;       // the slide's name as typed, in the ANSI code page
};

int listSlides(platform::File& library, SlideDirectory& directory);
int createLibrary(const SlbeditRequest& request, SlideDirectory& directory);
int addSlide(const SlbeditRequest& request, std::unique_ptr<platform::File> library,
             SlideDirectory& directory);
int deleteSlide(const SlbeditRequest& request, std::unique_ptr<platform::File> library,
                SlideDirectory& directory);
int printUsage();
