// marlet: chooses a seed set within a cost budget; the run itself is
// marletMain (marletRun.h), shared with the programs that embed it.
#include "programs/marletRun.h"

int main(int argc, char** argv) { return lattis::marletMain(argc, argv); }
