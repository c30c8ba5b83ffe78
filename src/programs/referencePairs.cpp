// The reference pair list read on a thread of its own; see referencePairs.h.
#include "programs/referencePairs.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include "io/textReader.h"

namespace lattis {

ReferencePairs::ReferencePairs(bool wanted, const std::optional<std::string>& given)
    : file(given.value_or(kDefaultFile)) {
    if (!wanted || file == kNone) return;
    // Through standard input, opened without waiting for a fifo's writer.
    const int fd = openInput(file);
    if (fd < 0 || (fd != 0 && (dup2(fd, 0) < 0 || ::close(fd) != 0))) {
        if (errno != ENOENT || given) throw std::runtime_error(file + ": cannot open: " + std::strerror(errno));
        std::cerr << "marlet: note: " << file
                  << " not found in the working directory: the pair-count table is empty, so \"Estimate Influence\" "
                     "reports 0\n";
        return;
    }
    reader = std::thread([this] {
        const auto start = std::chrono::steady_clock::now();
        try {
            TextReader in(fileno(stdin), file, TextReader::kDefaultBuffer);
            table = readPairList(in);
        } catch (...) {
            fault = std::current_exception();
        }
        parseSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
}

const PairList& ReferencePairs::get() {
    wait();
    if (fault) std::rethrow_exception(fault);
    return table;
}

std::exception_ptr ReferencePairs::failure() {
    wait();
    return fault;
}

double ReferencePairs::seconds() {
    wait();
    return parseSeconds;
}

}  // namespace lattis
