// The JSON report of marlet and ostrand (option -json FILE): one object per
// run with the program, the version, the settings in force, the network's
// size, the seeds and every figure of the run's report record (runReport.h).
// The fields are listed in readme.txt.
//
// The file is an AtomicFile (atomicFile.h) made with the object, so that an
// unusable place (a missing directory, a directory) is refused before the
// run: written under an exclusive temporary name beside the target, forced to
// disk and renamed into place only when complete; an object destroyed before
// that (a failed run) removes the temporary. Links are followed, and a
// device or fifo is written in place, never replaced.
#pragma once

#include <string>

#include "io/atomicFile.h"
#include "io/runReport.h"

namespace lattis {

class JsonReportFile {
public:
    // Throws std::runtime_error naming the file when it cannot be created.
    explicit JsonReportFile(const std::string& path);

    // Writes the report and renames the file into place; throws
    // std::runtime_error naming the file when a write fails.
    void commit(const MarletReport& report);
    void commit(const OstrandReport& report);

private:
    void commitText(const std::string& text);
    AtomicFile file;
};

}  // namespace lattis
