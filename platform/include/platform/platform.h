// The platform layer: text and code pages, paths, and file services.
#pragma once

#include "platform/env.h"
#include "platform/path.h"
#include "platform/status.h"
#include "platform/text.h"
