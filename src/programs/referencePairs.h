// marlet's reference pair list ("db_Enron.txt" in the working directory, or
// the file of -pairs), whose pair counts give the report's last line,
// "Estimate Influence".
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
#include <optional>
#include <string>
#include <thread>

#include "io/pairList.h"

namespace lattis {

class ReferencePairs {
public:
    static constexpr const char* kDefaultFile = "db_Enron.txt";
    // The -pairs value that asks for no list.
    static constexpr const char* kNone = "none";

    // Opens the list and starts its parse: the file `given` (-pairs), or
    // kDefaultFile when none is given, whose absence gives the empty table
    // with a note on standard error. With `given` kNone the table is empty
    // without a note. A process that does not report (the other ranks of
    // marlet-mpi) has no use for the table: with wanted false nothing is
    // read. Throws std::runtime_error naming the file when it cannot be
    // opened (a default file only when it exists).
    ReferencePairs(bool wanted, const std::optional<std::string>& given);
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
