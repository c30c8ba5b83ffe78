// File identity by device and inode, or by resolved path; see fileIdentity.h.
#include "io/fileIdentity.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace lattis {

namespace fs = std::filesystem;

namespace {

// The name a write to `name` lands on: the links at its end followed, also
// dangling ones (a link inside the path is resolved by weakly_canonical).
fs::path followLinks(fs::path name) {
    // The kernel's own limit on links in one lookup.
    constexpr int kMaxHops = 40;
    for (int hop = 0; hop < kMaxHops; ++hop) {
        struct stat st {};
        if (lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        std::error_code ec;
        const fs::path to = fs::read_symlink(name, ec);
        if (ec) break;
        name = to.is_absolute() ? to : name.parent_path() / to;
    }
    return name;
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

}  // namespace

std::string writeTarget(const std::string& name) { return followLinks(name).string(); }

FileIdentity fileIdentity(const std::string& name) {
    FileIdentity id;
    struct stat st {};
    if (stat(name.c_str(), &st) == 0) {
        id.exists = true;
        id.device = static_cast<std::uint64_t>(st.st_dev);
        id.inode = static_cast<std::uint64_t>(st.st_ino);
        return id;
    }
    std::error_code ec;
    fs::path absolute = fs::absolute(followLinks(name), ec);
    if (ec) absolute = name;
    const fs::path resolved = fs::weakly_canonical(absolute, ec);
    id.path = (ec ? absolute.lexically_normal() : resolved).string();
    return id;
}

std::string fileClash(std::span<const NamedFile> inputs, std::span<const NamedFile> outputs) {
    std::vector<FileIdentity> in, out;
    for (const NamedFile& f : inputs) in.push_back(fileIdentity(f.name));
    for (const NamedFile& f : outputs) out.push_back(fileIdentity(f.name));
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        if (outputs[o].name.empty()) continue;
        const std::string output = outputs[o].option + " " + quoted(outputs[o].name);
        for (std::size_t i = 0; i < inputs.size(); ++i)
            if (!inputs[i].name.empty() && out[o] == in[i])
                return "output " + output + " and input " + inputs[i].option + " " + quoted(inputs[i].name) +
                       " are the same file, which writing would destroy";
        for (std::size_t e = 0; e < o; ++e)
            if (!outputs[e].name.empty() && out[o] == out[e])
                return "outputs " + outputs[e].option + " " + quoted(outputs[e].name) + " and " + output +
                       " are the same file";
    }
    return "";
}

}  // namespace lattis
