// Slbedit: lists, adds and deletes the slides of a slide library.
//
//   (Slbedit "l" "lib")        lists lib.slb
//   (Slbedit "a" "lib" "abc")  adds abc.sld to lib.slb (replacing a slide ABC)
//   (Slbedit "d" "lib" "abc")  deletes the slide ABC from lib.slb
//
// A missing library is created holding the named slide. Returns 1 after a
// command ran to its end, kRtError otherwise; the engine is in
// slide_library.h.
#pragma once

#include "frame/host_interface.h"
#include "vetrix/slides/slide_library.h"

int Slbedit(const ResultBuffer* args);

// Prints on the host's command line what the engine's result means (the
// listing of `directory` for 'l') and answers Slbedit's status.
int reportSlbedit(const SlbRequest& request, const SlbResult& result,
                  const SlideDirectory& directory);
