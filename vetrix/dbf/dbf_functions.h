#pragma once
#include "frame/host_api.h"
int Read_Dbf(const ResultBuffer* args);
int Write_Dbf(const ResultBuffer* args);
