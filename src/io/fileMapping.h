// A whole regular file mapped read-only (a private mapping), for the
// network loader's "-load map": the pages are the page cache's own, so
// nothing is copied and no fresh memory is cleared for what is only read.
//
// The contents are the file's for as long as the mapping lives. A file
// rewritten in place meanwhile changes them under the reader, and one cut
// short makes a read past its new end raise SIGBUS (see
// stopOnShrunkMapping): the files netpack writes are replaced by rename and
// never change in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lattis {

// How the network loader (graph.h) brings the file's in-neighbour lists
// into memory: read into arrays of the Graph's own (Copy), or used where a
// read-only mapping of the file puts them (Map), which copies nothing and
// clears no fresh memory for them; the file must then stay as it is while
// the Graph lives. The degrees and probabilities are converted either way.
enum class NetworkLoad { Copy, Map };

class FileMapping {
public:
    FileMapping() = default;
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;
    FileMapping(FileMapping&& o) noexcept { swap(o); }
    FileMapping& operator=(FileMapping&& o) noexcept {
        FileMapping tmp(std::move(o));
        swap(tmp);
        return *this;
    }
    ~FileMapping();

    // Maps the first `bytes` bytes of the file open at fd; false with
    // err = errno when the system refuses. An empty range maps nothing.
    bool map(int fd, std::uint64_t bytes, int& err) noexcept;
    const std::byte* data() const { return base; }
    std::uint64_t size() const { return length; }
    // Lets go of the resident pages wholly inside [from, to), which have
    // been read and will not be read again soon: they stay in the page
    // cache, but no longer count in the process's resident memory.
    void release(std::uint64_t from, std::uint64_t to) const noexcept;
    // Unmaps the whole pages past the first `bytes` bytes, which will not be
    // read again; size() becomes at least `bytes`.
    void keepFirst(std::uint64_t bytes) noexcept;

private:
    void swap(FileMapping& o) noexcept {
        std::swap(base, o.base);
        std::swap(length, o.length);
    }
    const std::byte* base = nullptr;
    std::uint64_t length = 0;
};

// From now on a read of a mapping past its file's end (the file was cut
// short while mapped) ends the process with one line on standard error,
// "PROGRAM: "FILE" was cut short while it was read through a mapping; no
// output was written", and status 1, after removing the temporaries of the
// outputs being written (temporaryRegistry.h), instead of dying of SIGBUS.
void stopOnShrunkMapping(const std::string& program, const std::string& file);

}  // namespace lattis
