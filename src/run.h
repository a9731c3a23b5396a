// The run: parse the arguments, then either print the usage text or convert
// every report of every index file below every directory named, each report
// followed by "+++" and its running number.
#ifndef TARVIN_RUN_H
#define TARVIN_RUN_H

#include "win32.h"

// Returns the process exit code: 0 when everything was converted; 1 when
// something was not (an error text was written, output was lost, a file of
// -o or --split could not be had or put in place; under --strict or
// --verify also damage, or data that no index record names); 2 after a
// usage error, when nothing was converted.
int tarvinRun(int argc, WCHAR** argv);

#endif  // TARVIN_RUN_H
