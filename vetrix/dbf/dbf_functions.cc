#include "vetrix/dbf/dbf_functions.h"

#include "frame/frame.h"
#include "platform/text.h"
#include "vetrix/dbf/dbf_engines.h"
#include "vetrix/handler_env.h"

namespace {

// "無法開啟檔案 " in Big5, whatever the ANSI code page.
constexpr char kCannotOpenBig5[] = "\xB5\x4C\xAA\x6B\xB6\x7D\xB1\xD2\xC0\xC9\xAE\xD7 ";

// Why a table is refused by both functions.
void reportTableFault(TableFault fault, const char16_t* table) {
  switch (fault) {
    case TableFault::kNone:
      break;
    case TableFault::kWidthsUnclear:
      zcutPrintf(u"\nDBF FIELD WIDTHS DISAGREE WITH THE RECORD LENGTH: %s", table);
      break;
    case TableFault::kLevel7:
      zcutPrintf(u"\nDBASE LEVEL 7 TABLES ARE NOT SUPPORTED: %s", table);
      break;
    case TableFault::kCodePageNotSupported:
      zcutPrintf(u"\nDBF CODE PAGE NOT SUPPORTED: %s", table);
      break;
  }
}

}  // namespace

int Read_Dbf(const ResultBuffer* args) {
  if (!isString(args)) return kRtError;
  std::u16string table(argText(args));
  const ResultBuffer* keyArg = args->rbnext;
  if (!isString(keyArg)) return kRtError;
  table = platform::toLowerWide(table);

  const LookupResult found = findDbfRecord(handlerEnv(), table, argText(keyArg));
  if (found.kind == LookupResult::Kind::kNotOpened) {
    zcutPrintf(u"\nOpen DBF NAME Fail->[%s]", found.tableName.c_str());
  } else if (found.kind == LookupResult::Kind::kRefused) {
    reportTableFault(found.fault, found.tableName.c_str());
  } else if (found.kind == LookupResult::Kind::kReadFailed) {
    // Not "Not Found Data": the key may well be there.
    zcutPrintf(u"\nREAD DBF FILE ERROR: %s", found.tableName.c_str());
    platform::reportCause(found.cause);
    return kRtError;
  }
  if (found.kind != LookupResult::Kind::kFound) {
    zcutPrintf(u"\nNot Found Data->[%s]", found.key.c_str());
    platform::reportCause(found.cause);
    return kRtError;
  }
  const std::u16string result = found.key + u" " + found.name + u" " + found.unit;
  zcutPrintf(u"\nFound Data->[%s]", found.key.c_str());
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
      storeDbfRecord(handlerEnv(), table, argText(keyArg), argText(nameArg), argText(unitArg));
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
    case StoreOutcome::kRefused:
      reportTableFault(stored.fault, name);
      break;
    case StoreOutcome::kHeaderTooShort:
      zcutPrintf(u"\nDBF HEADER TOO SHORT FOR ITS FIELDS: %s", name);
      break;
    case StoreOutcome::kUncountedRecords:
      zcutPrintf(u"\nDBF FILE HOLDS RECORDS ITS HEADER DOES NOT COUNT: %s", name);
      break;
    case StoreOutcome::kProductionIndex:
      zcutPrintf(u"\nDBF FILE HAS A PRODUCTION INDEX THAT WOULD MISS THE CHANGE: %s", name);
      break;
    case StoreOutcome::kNotInCodePage:
      zcutPrintf(u"\nVALUE NOT IN CODE PAGE %d OF DBF FILE %s: %s", stored.codePage, name,
                 stored.value.c_str());
      break;
    case StoreOutcome::kEmptyKey:
      zcutPrintf(u"\nEMPTY KEY FOR DBF FILE: %s", name);
      break;
    case StoreOutcome::kKeyTooLong:
      zcutPrintf(u"\nKEY TOO LONG FOR DBF FILE: %s", name);
      break;
    case StoreOutcome::kNoNameField:
      zcutPrintf(u"\nNO PNAME FIELD IN DBF FILE: %s", name);
      break;
    case StoreOutcome::kNoUnitField:
      zcutPrintf(u"\nNO UNIT FIELD IN DBF FILE: %s", name);
      break;
    case StoreOutcome::kNameNotCharacter:
      zcutPrintf(u"\nPNAME FIELD IS NOT A CHARACTER FIELD IN DBF FILE: %s", name);
      break;
    case StoreOutcome::kUnitNotCharacter:
      zcutPrintf(u"\nUNIT FIELD IS NOT A CHARACTER FIELD IN DBF FILE: %s", name);
      break;
    case StoreOutcome::kKeyNotCharacter:
      zcutPrintf(u"\nKEY FIELD IS NOT A CHARACTER FIELD, NO RECORD APPENDED: %s", name);
      break;
    case StoreOutcome::kUnknownFieldType:
      zcutPrintf(u"\nUNKNOWN DBF FIELD TYPE, NO RECORD APPENDED: %s", name);
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
    case StoreOutcome::kNotUndone:
      zcutPrintf(u"\nWRITE DBF FILE ERROR, TABLE NOT PUT BACK: %s", name);
      break;
  }
  platform::reportCause(stored.cause);
}
