#include "run.h"

extern "C" int wmain(int argc, WCHAR** argv) { return tarvinRun(argc, argv); }
