// The MPI side of marlet-mpi; see rankTeam.h. What crosses the network:
// per agreement two ints per process (and a fault message when there is
// one); per iteration two sums of one count and the gains reduced to rank 0
// (n ints per process); per pick the pick broadcast from rank 0 and one
// message from every other rank with the stream of its newly covered
// hyperedges, and alike per seed of a certificate's upper bound; per
// selection's end the node replacing the picks (or 0), the cost spent and
// the coverage from rank 0; per round of the benefit estimate an agreement
// and the sum of one hit count per block of the round; once the store's
// size per process.
#include "mpi/rankTeam.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <optional>
#include <span>
#include <string_view>

#include "selection/certificate.h"
#include "selection/distributedSelection.h"
#include "core/procStatus.h"

namespace lattis {

namespace {

// A count Open MPI's launcher put in the environment, or -1.
long launcherCount(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr) return -1;
    const std::string_view v(text);
    long value = -1;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
    return ec == std::errc{} && end == v.data() + v.size() ? value : -1;
}

// When every rank of the job runs on this machine, the default messaging
// layer's probe of network fabrics only slows start-up (about 0.2 s a run on
// a 2-core machine); the plain one (pml ob1) then sends through its
// shared-memory transport. Every rank sees the same counts and so chooses
// alike. A layer chosen on the command line or in the environment (--mca
// pml, OMPI_MCA_pml) stands; one set only in an MCA parameter file is
// overridden.
void preferSharedMemoryOnOneMachine() {
    const long ranks = launcherCount("OMPI_COMM_WORLD_SIZE");
    if (ranks > 0 && launcherCount("OMPI_COMM_WORLD_LOCAL_SIZE") == ranks) setenv("OMPI_MCA_pml", "ob1", 0);
}

}  // namespace

RankTeam::RankTeam(int& argc, char**& argv) {
    preferSharedMemoryOnOneMachine();
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    MPI_Comm_rank(comm, &me);
    MPI_Comm_size(comm, &size);
    if (me != 0) {
        errFd = dup(2);
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) {
            dup2(devNull, 1);
            dup2(devNull, 2);
            close(devNull);
        }
    }
}

RankTeam::~RankTeam() { MPI_Finalize(); }

std::vector<char*> RankTeam::commonArguments(int argc, char** argv) {
    unsigned long clockSeed = static_cast<unsigned long>(std::time(nullptr)) & 0xffffffffUL;
    MPI_Bcast(&clockSeed, 1, MPI_UNSIGNED_LONG, 0, comm);
    seedValue = std::to_string(clockSeed);
    std::vector<char*> args(argv, argv + argc);
    args.push_back(seedName.data());
    args.push_back(seedValue.data());
    args.push_back(nullptr);
    return args;
}

TeamHooks RankTeam::hooks() {
    TeamHooks h;
    h.share = BlockShare{me, size};
    h.together = [this](const std::function<void()>& step) { together(step); };
    h.sum = [this](long long value) { return sum(value); };
    h.sumEach = [this](std::vector<long long>& values) { sumEach(values); };
    h.select = [this](const HyperGraph& hg, std::vector<int>& seeds, unsigned n, double k,
                      const std::vector<float>& costs, std::vector<double>& degree, long long& totalDegree,
                      SelectRule rule) { return select(hg, seeds, n, k, costs, degree, totalDegree, rule); };
    h.upperBound = [this](const HyperGraph& hg, const std::vector<int>& seeds, unsigned n, double k,
                          const std::vector<float>& costs) { return upperBound(hg, seeds, n, k, costs); };
    h.reports = me == 0;
    h.fault = [this](const std::exception& e) { return fault(e); };
    return h;
}

void RankTeam::agree(const std::string* fault) {
    // {lowest failing rank, 1 when every process failed}, both by minimum.
    int local[2] = {fault != nullptr ? me : size, fault != nullptr ? 1 : 0};
    int global[2] = {size, 0};
    MPI_Allreduce(local, global, 2, MPI_INT, MPI_MIN, comm);
    const int from = global[0];
    if (from == size) return;
    std::string text = me == from ? *fault : std::string();
    int length = static_cast<int>(std::min<std::size_t>(text.size(), 4096));
    MPI_Bcast(&length, 1, MPI_INT, from, comm);
    text.resize(static_cast<std::size_t>(length));
    MPI_Bcast(text.data(), length, MPI_CHAR, from, comm);
    faultAgreed = true;
    throw TeamFault(from, global[1] == 1 ? text : "rank " + std::to_string(from) + ": " + text);
}

void RankTeam::together(const std::function<void()>& step) {
    std::optional<std::string> failure;
    try {
        step();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    agree(failure ? &*failure : nullptr);
}

long long RankTeam::sum(long long value) {
    long long total = 0;
    MPI_Allreduce(&value, &total, 1, MPI_LONG_LONG, MPI_SUM, comm);
    return total;
}

void RankTeam::sumEach(std::vector<long long>& values) {
    // The callers' vectors are short (a round's blocks, one entry per process).
    MPI_Allreduce(MPI_IN_PLACE, values.data(), static_cast<int>(values.size()), MPI_LONG_LONG, MPI_SUM, comm);
}

std::string RankTeam::fault(const std::exception& e) {
    if (const auto* agreed = dynamic_cast<const TeamFault*>(&e)) return agreed->what();
    // A fault of this process alone, between two agreements: the others are
    // at (or on their way to) the next one, where they learn of it.
    const std::string message = e.what();
    if (faultAgreed) return message;
    try {
        agree(&message);
    } catch (const TeamFault& agreed) {
        return agreed.what();
    }
    return message;
}

int RankTeam::finish(int status, bool showPeaks) {
    if (faultAgreed) return status;
    const std::string stopped = "stopped with status " + std::to_string(status & 0xff);
    try {
        agree(status != 0 ? &stopped : nullptr);
    } catch (const TeamFault& agreed) {
        if (me == 0 && agreed.from != 0) {
            std::cout.flush();
            std::cerr << "marlet: " << agreed.what() << '\n';
        }
        return status != 0 ? status : 1;
    }
    const auto peak = peakResidentBytes();
    unsigned long long mine = peak ? *peak : 0;
    std::vector<unsigned long long> peaks(static_cast<std::size_t>(size));
    MPI_Gather(&mine, 1, MPI_UNSIGNED_LONG_LONG, peaks.data(), 1, MPI_UNSIGNED_LONG_LONG, 0, comm);
    if (me == 0 && showPeaks) {
        std::fprintf(stderr, "marlet: timing: peak memory per rank");
        for (unsigned long long p : peaks) std::fprintf(stderr, " %.1f", static_cast<double>(p) / (1024.0 * 1024.0));
        std::fprintf(stderr, " MB\n");
    }
    return status;
}

std::span<const std::span<const int>> RankTeam::gatherStreams(int pick, const std::vector<int>& stream,
                                                              std::vector<std::vector<int>>& received,
                                                              std::vector<std::span<const int>>& streams) {
    // One message from each other rank to rank 0: every exchange waits for
    // the slowest rank, so they are few.
    constexpr int kStreamTag = 1;
    if (stream.size() > static_cast<std::size_t>(INT_MAX))
        throw std::runtime_error("the hyperedges node " + std::to_string(pick) +
                                 " covers hold more node ids than one message can carry");
    if (me != 0) {
        MPI_Send(stream.data(), static_cast<int>(stream.size()), MPI_INT, 0, kStreamTag, comm);
        return {};
    }
    received.resize(static_cast<std::size_t>(size));
    streams.resize(static_cast<std::size_t>(size));
    streams[0] = stream;
    for (int r = 1; r < size; ++r) {
        MPI_Status status;
        MPI_Probe(r, kStreamTag, comm, &status);
        int count = 0;
        MPI_Get_count(&status, MPI_INT, &count);
        std::vector<int>& in = received[static_cast<std::size_t>(r)];
        in.resize(static_cast<std::size_t>(count));
        MPI_Recv(in.data(), count, MPI_INT, r, kStreamTag, comm, MPI_STATUS_IGNORE);
        streams[static_cast<std::size_t>(r)] = in;
    }
    return streams;
}

std::vector<int> RankTeam::gainsAtRoot(const CoverageShard& shard, unsigned n) {
    const std::vector<int> local = shard.localGains(n);
    std::vector<int> gains(me == 0 ? n : 0);
    MPI_Reduce(local.data(), gains.data(), static_cast<int>(n), MPI_INT, MPI_SUM, 0, comm);
    return gains;
}

SelectionSummary RankTeam::select(const HyperGraph& hg, std::vector<int>& seeds, unsigned n, double k,
                                  const std::vector<float>& costs, std::vector<double>& degree,
                                  long long& totalDegree, SelectRule rule) {
    const std::size_t before = seeds.size();
    try {
        CoverageShard shard(hg, BlockShare{me, size});
        std::vector<int> gains = gainsAtRoot(shard, n);
        std::optional<GreedyRoot> root;
        if (me == 0) root.emplace(gains, k, costs, degree, totalDegree, rule);

        // Per pick one broadcast and the streams gathered at rank 0.
        std::vector<std::vector<int>> received;
        std::vector<std::span<const int>> streams;
        std::vector<int> stream;
        for (;;) {
            int pick = root ? root->next() : 0;
            MPI_Bcast(&pick, 1, MPI_INT, 0, comm);
            if (pick == 0) break;
            seeds.push_back(pick);
            shard.cover(pick, stream);
            const auto all = gatherStreams(pick, stream, received, streams);
            if (root) root->apply(all);
        }
        // The node that replaces every pick (-select fill), or 0.
        int single = root ? root->finish() : 0;
        MPI_Bcast(&single, 1, MPI_INT, 0, comm);
        if (single != 0) {
            seeds.resize(before);
            seeds.push_back(single);
        }
        SelectionSummary summary = root ? root->summary() : SelectionSummary{};
        double spent[2] = {summary.costSpent, summary.unspentUsable ? 1.0 : 0.0};
        MPI_Bcast(spent, 2, MPI_DOUBLE, 0, comm);
        summary = {seeds.size() - before, spent[0], spent[1] != 0};
        MPI_Bcast(&totalDegree, 1, MPI_LONG_LONG, 0, comm);
        return summary;
    } catch (const std::exception& e) {
        abort(e.what());
    }
}

double RankTeam::upperBound(const HyperGraph& hg, const std::vector<int>& seeds, unsigned n, double k,
                            const std::vector<float>& costs) {
    double value = 0;
    try {
        // The seeds are every rank's alike: each covers its own hyperedges
        // and rank 0 books the streams in the bound.
        CoverageShard shard(hg, BlockShare{me, size});
        std::vector<int> gains = gainsAtRoot(shard, n);
        std::optional<CoverageBound> bound;
        if (me == 0) bound.emplace(std::move(gains), costs, k, seeds.size());
        std::vector<std::vector<int>> received;
        std::vector<std::span<const int>> streams;
        std::vector<int> stream;
        for (int pick : seeds) {
            shard.cover(pick, stream);
            const auto all = gatherStreams(pick, stream, received, streams);
            if (bound) bound->add(pick, all);
        }
        if (bound) value = bound->value();
        MPI_Bcast(&value, 1, MPI_DOUBLE, 0, comm);
    } catch (const std::exception& e) {
        abort(e.what());
    }
    return value;
}

void RankTeam::abort(const std::string& message) {
    std::cout.flush();
    const std::string line = "marlet: rank " + std::to_string(me) + ": " + message + "\n";
    if (write(errFd, line.data(), line.size()) < 0) {
        // Nothing more can be done about a lost message: the job ends regardless.
    }
    MPI_Abort(comm, 1);
    std::_Exit(1);
}

}  // namespace lattis
