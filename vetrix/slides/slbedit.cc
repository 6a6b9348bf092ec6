#include "vetrix/slides/slbedit.h"
int Slbedit(const ResultBuffer*) {
  return kRtError;
}
