#pragma once
#include "frame/host_api.h"
int Slbedit(const ResultBuffer* args);
