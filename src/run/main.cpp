// varnel: Lempel-Ziv complexity of every sequence and every ordered pair in
// "input_file", and five distance matrices from them.
#include "run/run.h"

#ifndef VARNEL_FOLD_CASE
#define VARNEL_FOLD_CASE 0
#endif

int main() { return varnel::run(VARNEL_FOLD_CASE != 0); }
