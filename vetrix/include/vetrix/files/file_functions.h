// Delfile, Copyfile and Dirfile: the file utilities of vetrix.
#pragma once

#include "frame/host_interface.h"

// (Delfile path): deletes one file; prints "\nDELETE->path" and, on failure,
// "\nDELETE FAIL". Returns 1 after running, kRtError for a bad argument list.
int Delfile(const ResultBuffer* args);
// (Copyfile from to): copies a file over any existing destination.
int Copyfile(const ResultBuffer* args);
// (Dirfile pattern): lists every file matching the pattern, in its directory
// and every directory below, into "dirfile" in the current directory.
int Dirfile(const ResultBuffer* args);
