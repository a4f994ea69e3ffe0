#include "game/run_hooks.h"

RunHooks& run_hooks() {
    static RunHooks hooks;
    return hooks;
}
