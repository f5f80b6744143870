// DUDORE: contractor estimates against the budget of a work.

#include "programs/shell/shell_main.h"

int main(int argc, char** argv) { return velmora::shellMain(velmora::shell::dudore(), argc, argv); }
