// The program entry: the whole game is run_game; its status is the process's.
#include "game/play.h"

int main() { return run_game(); }
