// The whole run of the seed-selection program, from the command line to the
// report, as one entry so that every program that selects seeds shares it:
// options, inputs, the doubling loop, the report and the seed file.
#pragma once

namespace lattis {

// Runs marlet with the given arguments and returns what main returns: 0 (also
// after the usage of -h/--help), 1 for a fault named on standard error, -1
// (status 255) for the fixed command-line messages.
// marlet-mpi passes its process's part in the run (teamHooks.h); marlet none.
struct TeamHooks;
int marletMain(int argc, char** argv, const TeamHooks* team = nullptr);

}  // namespace lattis
