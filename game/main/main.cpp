// The program's entry: maps the console's devices, runs the game and hands the
// console back to its menu program.
#include "game/app.h"

int main() { return ZarnProgramEntry(); }
