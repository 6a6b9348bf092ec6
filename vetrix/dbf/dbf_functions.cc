#include "vetrix/dbf/dbf_functions.h"
int Read_Dbf(const ResultBuffer*) {
  return kRtError;
}
int Write_Dbf(const ResultBuffer*) {
  return kRtError;
}
