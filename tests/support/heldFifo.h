// A fifo in a test's temporary folder, held open for reading from the start,
// so that a writer (the code under test, or a program it runs) opens it
// without blocking; drain() then gives what the writers wrote. A writer that
// never opened it gives "" at once instead of a hang: a fifo without writers
// reads as its end.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace lattis::testnet {

class HeldFifo {
public:
    explicit HeldFifo(const std::string& path) {
        if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + path);
        fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0 || fcntl(fd, F_SETFL, 0) != 0) throw std::runtime_error("open fifo " + path);
    }
    HeldFifo(const HeldFifo&) = delete;
    HeldFifo& operator=(const HeldFifo&) = delete;
    ~HeldFifo() { close(fd); }
    // Reads until every writer has closed the fifo; call once they are done
    // (what is written must fit the fifo's buffer, 64 KiB on Linux).
    std::string drain() {
        std::string text;
        char buf[4096];
        for (ssize_t got; (got = read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(got));
        return text;
    }

private:
    int fd = -1;
};

// Whether path is still a fifo (a rename over it would leave a regular file).
inline bool isFifo(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

}  // namespace lattis::testnet
