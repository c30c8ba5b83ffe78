// An output file that appears under its final name only when complete: it is
// written under a temporary name in the same directory (created exclusively,
// so a planted file or link is never written through), flushed, closed and
// then renamed into place. Until then an earlier file of that name stays
// untouched, and a failure (or destruction before publish) removes the
// temporary. A process killed meanwhile leaves at most the temporary.
//
// The target is checked when the file is created, before any work is done:
// a directory, a missing or unwritable directory, or an existing target that
// is not a regular file (a device, a fifo) is refused, since a rename would
// replace it; marlet's seed file and the JSON reports instead write such a
// target in place, as "-o /dev/null" has always done. A symbolic link as
// target is followed: the file it points to is replaced (a dangling link's
// target is created), the link stays. An empty name is refused. SIGINT and
// SIGTERM remove the temporary before they end the process
// (temporaryRegistry.h).
//
// Every failure throws std::runtime_error starting with the caller's label.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace lattis {

class AtomicFile {
public:
    enum class Special { Refuse, WriteInPlace };

    AtomicFile(std::string finalPath, std::string label, Special special = Special::Refuse, bool sync = false);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    void write(const void* data, std::size_t size);
    // Flushes (and with sync, forces to disk) and closes; throws on failure,
    // removing the temporary.
    void finish();
    // Renames the finished temporary into place.
    void publish();

    const std::string& path() const { return finalPath; }
    std::FILE* stream() { return file; }

private:
    [[noreturn]] void fail(const std::string& what, int err);
    // Removes the temporary, if any, and forgets it.
    void dropTemporary();
    std::string finalPath, target, tempPath, label;
    std::FILE* file = nullptr;
    bool inPlace = false, sync = false;
    int slot = -1;  // of the temporary in the signal registry
};

}  // namespace lattis
