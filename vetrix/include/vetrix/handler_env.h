// The one Env the vetrix functions reach files through: the platform's own,
// unless a test puts another in its place (a MemEnv, a FaultyEnv) to drive
// the functions end to end without a disk, or with failures.
#pragma once

#include "platform/env.h"

platform::Env& handlerEnv();
// Makes `env` the functions' Env; nullptr gives them the platform's own again.
void setHandlerEnv(platform::Env* env);
