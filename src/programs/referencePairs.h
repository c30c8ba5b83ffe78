// marlet's reference pair list ("db_Enron.txt" in the working directory),
// whose pair counts give the report's last line, "Estimate Influence".
//
// The list is read through standard input as a stream, before the options
// are parsed. It is opened on the calling thread and parsed on a thread of
// its own while the options are read, the network loads and the seeds are
// chosen (on large networks each takes seconds). get() waits for it; the run
// calls it before it uses the table and before it reports any other fault,
// so that a fault of the list is the one reported, as when the list was read
// before anything else.
#pragma once

#include <exception>
#include <string>
#include <thread>

#include "io/pairList.h"

namespace lattis {

class ReferencePairs {
public:
    static constexpr const char* kDefaultFile = "db_Enron.txt";

    // Opens `file` and starts its parse; a missing file gives the empty
    // table with a note on standard error. A process that does not report
    // (the other ranks of marlet-mpi) has no use for the table: with
    // wanted false nothing is read. Throws std::runtime_error naming the
    // file when it exists but cannot be opened.
    ReferencePairs(bool wanted, std::string file = kDefaultFile);
    ReferencePairs(const ReferencePairs&) = delete;
    ReferencePairs& operator=(const ReferencePairs&) = delete;
    ~ReferencePairs() { wait(); }

    const std::string& name() const { return file; }
    // The table; throws the list's fault.
    const PairList& get();
    // The list's fault, or null, once the parse has ended.
    std::exception_ptr failure();
    // Wall seconds the parse took (on its own thread).
    double seconds();

private:
    void wait() {
        if (reader.joinable()) reader.join();
    }
    std::string file;
    std::thread reader;
    PairList table;
    std::exception_ptr fault;
    double parseSeconds = 0;
};

}  // namespace lattis
