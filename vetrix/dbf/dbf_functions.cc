#include "vetrix/dbf/dbf_functions.h"

#include "frame/frame.h"
#include "platform/text.h"
#include "vetrix/dbf/dbf_engines.h"

namespace {

// "無法開啟檔案 " in Big5, whatever the ANSI code page.
constexpr char kCannotOpenBig5[] = "\xB5\x4C\xAA\x6B\xB6\x7D\xB1\xD2\xC0\xC9\xAE\xD7 ";

}  // namespace

int Read_Dbf(const ResultBuffer* args) {
  if (!isString(args)) return kRtError;
  std::u16string table(argText(args));
  const ResultBuffer* keyArg = args->rbnext;
  if (!isString(keyArg)) return kRtError;
  const std::string key = platform::toAnsi(argText(keyArg));
  table = platform::toLowerWide(table);

  const LookupResult found = DbfLookup(*platform::Env::defaultEnv(), table, key);
  const std::u16string shownKey = platform::fromAnsi(key);
  if (found.kind == LookupResult::Kind::kNotOpened) {
    zcutPrintf(u"\nOpen DBF NAME Fail->[%s]", found.tableName.c_str());
  } else if (found.kind == LookupResult::Kind::kWidthsUnclear) {
    zcutPrintf(u"\nDBF FIELD WIDTHS DISAGREE WITH THE RECORD LENGTH: %s", found.tableName.c_str());
  }
  if (found.kind != LookupResult::Kind::kFound) {
    zcutPrintf(u"\nNot Found Data->[%s]", shownKey.c_str());
    platform::reportCause(found.cause);
    return kRtError;
  }
  const std::u16string result = platform::fromAnsi(key + " " + found.name + " " + found.unit);
  zcutPrintf(u"\nFound Data->[%s]", shownKey.c_str());
  zcedRetStr(result.c_str());
  return kRtNormal;
}

int Write_Dbf(const ResultBuffer* args) {
  if (!args) return kRtNormal;
  if (!isString(args)) return kRtError;
  const std::u16string table(argText(args));
  const ResultBuffer* keyArg = args->rbnext;
  const ResultBuffer* nameArg = nextArg(keyArg);
  const ResultBuffer* unitArg = nextArg(nameArg);
  if (!isString(keyArg) || !isString(nameArg) || !isString(unitArg)) return kRtError;
  const StoreResult stored =
      DbfStore(*platform::Env::defaultEnv(), table, platform::toAnsi(argText(keyArg)),
               platform::toAnsi(argText(nameArg)), platform::toAnsi(argText(unitArg)));
  reportStore(table, stored);
  // The caller is not told whether the table could be written.
  return kRtNormal;
}

void reportStore(std::u16string_view table, const StoreResult& stored) {
  const std::u16string shown(table);
  const char16_t* name = shown.c_str();
  switch (stored.outcome) {
    case StoreOutcome::kUpdated:
    case StoreOutcome::kAppended:
      break;
    case StoreOutcome::kNotOpened:
      // The one message that goes to the process's standard output.
      platform::writeStandardOutput(std::string(kCannotOpenBig5) + platform::toAnsi(table));
      break;
    case StoreOutcome::kBusy:
      zcutPrintf(u"\nDBF FILE BUSY, NOT WRITTEN: %s", name);
      break;
    case StoreOutcome::kNotADbf:
      zcutPrintf(u"\nNOT A DBF FILE: %s", name);
      break;
    case StoreOutcome::kWidthsUnclear:
      zcutPrintf(u"\nDBF FIELD WIDTHS DISAGREE WITH THE RECORD LENGTH: %s", name);
      break;
    case StoreOutcome::kKeyTooLong:
      zcutPrintf(u"\nKEY TOO LONG FOR DBF FILE: %s", name);
      break;
    case StoreOutcome::kFewerRecords:
      zcutPrintf(u"\nDBF FILE HOLDS FEWER RECORDS THAN IT COUNTS: %s", name);
      break;
    case StoreOutcome::kFull:
      zcutPrintf(u"\nDBF FILE FULL: %s", name);
      break;
    case StoreOutcome::kWriteFailed:
      zcutPrintf(u"\nWRITE DBF FILE ERROR: %s", name);
      break;
  }
  platform::reportCause(stored.cause);
}
