// The JSON report of marlet and ostrand (option -json FILE): one object per
// run with the program, the version, the settings in force, the network's
// size, the seeds and every figure of the run's report record (runReport.h).
// The fields are listed in readme.txt.
//
// The file is created under a temporary name in the target's directory when
// the object is made, so that an unusable path is refused before the run,
// and renamed into place only when complete and flushed; an object destroyed
// before that (a failed run) removes the temporary.
#pragma once

#include <cstdio>
#include <string>

#include "io/runReport.h"

namespace lattis {

class JsonReportFile {
public:
    // Throws std::runtime_error naming the file when it cannot be created.
    explicit JsonReportFile(std::string path);
    JsonReportFile(const JsonReportFile&) = delete;
    JsonReportFile& operator=(const JsonReportFile&) = delete;
    ~JsonReportFile();

    // Writes the report and renames the file into place; throws
    // std::runtime_error naming the file when a write fails.
    void commit(const MarletReport& report);
    void commit(const OstrandReport& report);

private:
    void commitText(const std::string& text);
    std::string finalPath, tempPath;
    std::FILE* file = nullptr;
};

}  // namespace lattis
