// The processes of one marlet-mpi run: the MPI communicator, the agreement
// that ends every process with one message when any of them fails, and the
// hooks (teamHooks.h) through which the shared entry and loop use them.
//
// Assumes every process runs the same program with the same command line, so
// that all of them reach the same agreements in the same order; the first
// process (rank 0) alone prints and writes files, the others' standard output
// and error are silenced. MPI is called from the main thread only.
#pragma once

#include <mpi.h>

#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "mpi/teamHooks.h"

namespace lattis {

class CoverageShard;

// A fault every process has agreed on: the failing process with the lowest
// rank, and its message (with "rank r: " before it unless all processes failed).
class TeamFault : public std::runtime_error {
public:
    TeamFault(int from, const std::string& message) : std::runtime_error(message), from(from) {}
    int from;
};

class RankTeam {
public:
    RankTeam(int& argc, char**& argv);
    ~RankTeam();
    RankTeam(const RankTeam&) = delete;
    RankTeam& operator=(const RankTeam&) = delete;

    int rank() const { return me; }
    int ranks() const { return size; }

    // The command line with "-seed <rank 0's clock>" appended, so that a run
    // without -seed still seeds every process alike (a -seed given wins, the
    // first occurrence of an option being the one used); null-terminated.
    std::vector<char*> commonArguments(int argc, char** argv);

    // Agrees that every process was started with the same options and reads
    // the same input files (each file's size and hash, startAgreement.cpp):
    // 0 when they do; otherwise rank 0 prints one line naming the option or
    // file that differs and every process gets 1, the status to end with.
    // Called once, before anything is loaded, with commonArguments' result.
    int agreeOnStart(int argc, char** argv);

    // The hooks for marletMain; they refer to this team.
    TeamHooks hooks();

    // Agrees on the statuses the processes ended with and returns the one
    // this process exits with; unless a fault was already agreed, a non-zero
    // status of another process is named by rank 0 and makes it 1. With
    // showPeaks, rank 0 prints every process's peak memory.
    int finish(int status, bool showPeaks);

private:
    // Every process calls this at the same point: when any passes a fault,
    // all throw the TeamFault of the lowest failing rank.
    void agree(const std::string* fault);
    void together(const std::function<void()>& step);
    long long sum(long long value);
    void sumEach(std::vector<long long>& values);
    std::string fault(const std::exception& e);
    SelectionSummary select(const HyperGraph& hg, std::vector<int>& seeds, unsigned n, double k,
                            const std::vector<float>& costs, std::vector<double>& degree, long long& totalDegree,
                            SelectRule rule);
    double upperBound(const HyperGraph& hg, const std::vector<int>& seeds, unsigned n, double k,
                      const std::vector<float>& costs);
    // The run's gains (hyperedges per node over every store) at rank 0;
    // empty elsewhere.
    std::vector<int> gainsAtRoot(const CoverageShard& shard, unsigned n);
    // After `pick`: this rank's stream of newly covered hyperedges sent to
    // rank 0, which gets every rank's (its own first, in rank order) in
    // `streams`, backed by `received`; the others get an empty span.
    std::span<const std::span<const int>> gatherStreams(int pick, const std::vector<int>& stream,
                                                        std::vector<std::vector<int>>& received,
                                                        std::vector<std::span<const int>>& streams);
    // Inside an exchange the others cannot be told: print and end the job.
    [[noreturn]] void abort(const std::string& message);

    MPI_Comm comm = MPI_COMM_WORLD;
    int me = 0;
    int size = 1;
    int errFd = 2;  // this process's own standard error, kept for abort
    bool faultAgreed = false;
    std::string seedName = "-seed";
    std::string seedValue;
};

}  // namespace lattis
