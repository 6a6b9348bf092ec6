#include "vetrix/dbf/dbf_functions.h"

#include "frame/frame.h"
#include "platform/platform.h"
#include "vetrix/dbf/dbf_engines.h"

int Read_Dbf(const ResultBuffer* args) {
  if (!isString(args)) return kRtError;
  std::u16string table(argText(args));
  const ResultBuffer* keyArg = args->rbnext;
  if (!isString(keyArg)) return kRtError;
  const std::string key = platform::toAnsi(argText(keyArg));
  table = platform::toLowerWide(table);

  std::string name, unit;
  const bool found = DbfLookup(table, key, &name, &unit);
  const std::u16string shownKey = platform::fromAnsi(key);
  if (!found) {
    zcutPrintf(u"\nNot Found Data->[%s]", shownKey.c_str());
    return kRtError;
  }
  const std::u16string result = platform::fromAnsi(key + " " + name + " " + unit);
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
  DbfStore(table, platform::toAnsi(argText(keyArg)), platform::toAnsi(argText(nameArg)),
           platform::toAnsi(argText(unitArg)));
  return kRtNormal;
}
