// A C stdio stream owned by a std::unique_ptr, so that a binary reader that
// works with fread and fseek closes its file on every path, thrown or not.
#pragma once

#include <cstdio>
#include <memory>

namespace lattis {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace lattis
