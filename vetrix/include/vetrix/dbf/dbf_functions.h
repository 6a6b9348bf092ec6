// Read_Dbf and Write_Dbf: look up and store the name and unit kept under a
// key in a dBASE table with the fields NO1, PNAME and UNIT.
#pragma once

#include <string_view>

#include "frame/host_interface.h"
#include "vetrix/dbf/dbf_engines.h"

// (Read_Dbf table key) -> "key name unit" with the name and unit fields at
// their full width. Prints "\nFound Data->[key]" or "\nNot Found Data->[key]".
int Read_Dbf(const ResultBuffer* args);
// (Write_Dbf table key name unit): updates the record of `key` or appends
// one. Answers kRtNormal whether or not the table could be written.
int Write_Dbf(const ResultBuffer* args);

// Reports what storeDbfRecord did to `table`, as Write_Dbf does.
void reportStore(std::u16string_view table, const StoreResult& stored);
