// The slide-library engine behind Slbedit: opens and checks a library, lists
// it, and adds, replaces and deletes slides. It prints nothing: every
// command answers an SlbResult that says what happened, and Slbedit turns it
// into the host's messages.
//
// Every change is a new library that takes the old one's place as
// platform/file_writes.h puts new files in place: whatever fails, and
// whenever the power goes, the library is either the old one or the new
// one, and a change reported done is on the disk.
//
// An edit locks the library's name from reading it to replacing it, so that
// two editors, in one process or two, never lose each other's slides, and
// two that make one new library keep both their slides; with the lock held
// it finishes a write-over a kill cut short and removes the temporary files
// of killed edits.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/env.h"
#include "vetrix/slides/slide_format.h"

// One Slbedit command, with the names built from its arguments.
struct SlbRequest {
  char16_t command = u'l';     // 'l', 'a' or 'd', either case
  std::u16string libraryPath;  // library argument + ".slb"
  std::u16string folder;       // drive and directory of the library argument
  std::u16string slideFile;    // slide argument + ".sld" (".sld" for 'l')
  std::string slideName;       // the name to look up and store: ASCII letters upper case, ANSI
  std::string typedName;       // the name as typed, ANSI: a new library's entry
  // Whether the name converts to the ANSI code page exactly: every
  // character has a form of its own there, so no two names meet.
  bool nameExact = true;
};

// The request for `command` on the library argument `library` (".slb" is
// appended) with the slide argument `slide` (".sld" is appended; empty for
// 'l').
SlbRequest makeSlbRequest(char16_t command, std::u16string_view library, std::u16string_view slide);

enum class SlbOutcome {
  kDone,                // listed, or the change is on the disk
  kSlideNotFound,       // 'd': no such slide; the library is unchanged
  kLibraryNotCreated,   // a missing library could not be made
  kLibraryUnopened,     // the library exists but cannot be opened
  kNotALibrary,         // header or directory refused (see `fault`)
  kTempNotCreated,      // no temporary file in `temporaryFolder`
  kSlideMissing,        // the slide file is not there or cannot be opened
  kNotASlide,           // the slide file is not one whole slide (header, records, end mark)
  kLibraryTooLarge,     // the library would pass kMaxLibraryLength
  kEmptyName,           // the slide's name is empty: other readers end a directory there
  kNameTaken,           // a rename to a name the library already has
  kNotChanged,          // reading, writing or replacing failed (see `cause`)
  kDamaged,             // writing over the library failed midway; the new one is in `keptPath`
  kNotSynced,           // the new library is in place, but its folder could not be synced
  kJournalKept,         // the new library is in place; its journal `keptPath` could not be removed
  kNameTakenMeanwhile,  // a new library's name was taken by another program meanwhile
};

struct [[nodiscard]] SlbResult {
  SlbOutcome outcome = SlbOutcome::kDone;
  bool created = false;            // the library was missing and was made first
  std::u16string temporaryFolder;  // the folder of the temporary file
  std::u16string keptPath;         // with kDamaged: the complete new library
  // The slide file (kSlideMissing, kNotASlide, kEmptyName) or the name
  // (kSlideNotFound, as ANSI bytes widened) the outcome is about.
  std::u16string subject;
  platform::Status cause;  // the failure of the platform, if any
  DirectoryFault fault;    // with kNotALibrary
};

// Runs one command. A missing library is first created holding the named
// slide, whatever the command (so 'l' on a missing library ends with
// kSlideMissing for the slide file ".sld"). `directory` receives the
// library's directory (for 'l', the listing). The request's name must be
// exact (see nameExact); Slbedit refuses the others first.
SlbResult runSlbedit(platform::Env& env, const SlbRequest& request, SlideDirectory& directory);

// An edit of several slides at once, as the slb tool makes them: all or
// nothing, in one replacement of the library.
struct LibraryEdit {
  std::u16string libraryPath;
  // Slide files and the names (ANSI) to store them under: each replaces the
  // last slide of its name, or is appended. A missing library is created.
  std::vector<std::pair<std::u16string, std::string>> add;
  // Names (ANSI) of slides to delete: the first slide of each name. A name
  // not in the library (kSlideNotFound) changes nothing.
  std::vector<std::string> remove;
  // A slide to rename (ANSI names): the first slide of the old name takes
  // the new one, as typed; refused (kNameTaken) when a slide has that name.
  std::string renameFrom, renameTo;
};

SlbResult editLibrary(platform::Env& env, const LibraryEdit& edit, SlideDirectory& directory);

// What killed edits left of a library, for a check. With the library locked,
// a write-over in place that a kill cut short is finished from its journal
// (the complete new library kept beside it), when the journal belongs to
// the library as it is.
struct [[nodiscard]] LibraryCheck {
  SlbResult result;       // kDone, or why the library could not be locked or finished
  bool restored = false;  // a write-over cut short was finished
  // The temporary files killed edits left ("~lib.slb.XXXXXX.tmp"), which
  // the next edit removes.
  std::vector<std::u16string> leftovers;
  std::u16string foreignJournal;  // a journal that does not match the library: left alone
};
LibraryCheck checkLibraryEdits(platform::Env& env, std::u16string_view libraryPath);
