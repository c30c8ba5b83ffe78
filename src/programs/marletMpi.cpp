// marlet-mpi: marlet over the processes of an MPI job (mpirun -np R
// marlet-mpi with marlet's options; -t threads per process). Every process
// loads the network and samples its share of each batch's blocks; the greedy
// selection runs over the union, so the seeds and the report are those of
// marlet with the same -seed, printed by rank 0, which alone writes the seed
// file. The processes first agree that they run the same options on the
// same input files. The run itself is marletMain, shared with marlet.
#include <cstring>
#include <vector>

#include "programs/marletRun.h"
#include "io/option.h"
#include "mpi/rankTeam.h"

int main(int argc, char** argv) {
    lattis::RankTeam team(argc, argv);
    std::vector<char*> args = team.commonArguments(argc, argv);
    const int count = static_cast<int>(args.size()) - 1;
    if (const int status = team.agreeOnStart(count, args.data())) return status;
    const lattis::TeamHooks hooks = team.hooks();
    const int status = lattis::marletMain(count, args.data(), &hooks);
    const lattis::OptionParser op(count, args.data());
    const char* timing = op.validCheck() ? op.getPara("-timing") : nullptr;
    return team.finish(status, timing != nullptr && std::strcmp(timing, "1") == 0);
}
