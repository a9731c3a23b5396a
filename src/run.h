// The run: parse the arguments, then either print the usage text or convert
// every report of every index file below every directory named, each report
// followed by "+++" and its running number.
#ifndef TARVIN_RUN_H
#define TARVIN_RUN_H

#include "win32.h"

// Returns the process exit code: 0; 1 when output was lost, or a file of -o
// or --split could not be had or put in place; 2 after a usage error, or
// under --strict or --verify an error text or damage.
int tarvinRun(int argc, WCHAR** argv);

#endif  // TARVIN_RUN_H
