#include "vetrix/handler_env.h"

namespace {

platform::Env* chosen = nullptr;

}  // namespace

platform::Env& handlerEnv() {
  return chosen ? *chosen : *platform::Env::defaultEnv();
}

void setHandlerEnv(platform::Env* env) {
  chosen = env;
}
