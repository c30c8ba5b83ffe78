// Whether two file names designate one file, and the check that no output of
// a run is one of its inputs or another of its outputs: writing an output
// replaces the file it names, so an output that is also an input destroys
// the input, and two outputs that are one file leave only the last.
//
// Names are compared by what they designate, not by spelling: an existing
// file by its device and inode (so "a", "./a", a symbolic link to it and a
// hard link all match), a name that does not exist yet by its absolute path
// with every link resolved (dangling ones too, as a write would follow them)
// and "." and ".." removed. Self-contained: POSIX stat and std::filesystem.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>

namespace lattis {

struct FileIdentity {
    bool exists = false;
    std::uint64_t device = 0, inode = 0;  // when it exists
    std::string path;                     // when it does not: the resolved absolute path

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

FileIdentity fileIdentity(const std::string& name);

// The name a write to `name` lands on: the symbolic links at its end
// followed, dangling ones too, so that a dangling link creates its target.
std::string writeTarget(const std::string& name);

inline bool sameFile(const std::string& a, const std::string& b) { return fileIdentity(a) == fileIdentity(b); }

// A file named on a command line, with the option that named it (such as
// "-o", or "-cost file:" for a name given inside a value).
struct NamedFile {
    std::string option;
    std::string name;
};

// The first clash among the names (empty ones are skipped): an output that
// is one of the inputs, or two outputs that are one file. The text names
// both options and both names, e.g.
//   output -o "e.txt" and input -i "./e.txt" are the same file, which writing would destroy
//   outputs -o "a.bin" and -bo "a.bin" are the same file
// Empty when there is none.
std::string fileClash(std::span<const NamedFile> inputs, std::span<const NamedFile> outputs);

}  // namespace lattis
