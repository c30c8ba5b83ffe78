// Output files renamed into place when complete; see atomicFile.h.
#include "io/atomicFile.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "io/fileIdentity.h"
#include "io/temporaryRegistry.h"

namespace lattis {

AtomicFile::AtomicFile(std::string finalName, std::string labelText, Special special, bool syncToDisk)
    : finalPath(std::move(finalName)), target(writeTarget(finalPath)), label(std::move(labelText)), sync(syncToDisk) {
    // An empty name would put the temporary in the working directory and
    // fail only at the rename, after the run.
    if (finalPath.empty()) throw std::runtime_error(label + ": the file name is empty");
    struct stat st {};
    mode_t mode = 0;
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw std::runtime_error(label + ": is a directory");
        if (!S_ISREG(st.st_mode)) {
            if (special == Special::Refuse)
                throw std::runtime_error(label + ": exists and is not a regular file (a device, fifo or socket), "
                                                 "which writing would replace; name a regular file");
            inPlace = true;
            file = std::fopen(target.c_str(), "w");
            if (file == nullptr) fail("cannot open", errno);
            return;
        }
        mode = st.st_mode & 0777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    std::string tmpl = target + ".tmp.XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    // Made and registered with SIGINT and SIGTERM held back, so that no
    // signal finds the file made but not yet registered for removal.
    sigset_t held, before;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &held, &before);
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    const int err = errno;
    if (fd >= 0) {
        tempPath = name.data();
        slot = registerTemporary(tempPath);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (fd < 0) throw std::runtime_error(label + ": cannot create (as " + tmpl + "): " + std::strerror(err));
    if (fchmod(fd, mode) != 0 || (file = fdopen(fd, "wb")) == nullptr) {
        const int err = errno;
        ::close(fd);
        dropTemporary();
        throw std::runtime_error(label + ": cannot create (as " + tempPath + "): " + std::strerror(err));
    }
}

AtomicFile::~AtomicFile() {
    if (file != nullptr) std::fclose(file);
    // publish() clears tempPath; anything else is an unfinished or failed file.
    dropTemporary();
}

void AtomicFile::dropTemporary() {
    if (!tempPath.empty()) std::remove(tempPath.c_str());
    tempPath.clear();
    forgetTemporary(slot);
    slot = -1;
}

void AtomicFile::fail(const std::string& what, int err) {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
    const std::string as = tempPath.empty() ? "" : " (as " + tempPath + ")";
    dropTemporary();
    throw std::runtime_error(label + ": " + what + as + ": " + std::strerror(err));
}

void AtomicFile::write(const void* data, std::size_t size) {
    if (size > 0 && std::fwrite(data, 1, size, file) != size) fail("write failed", errno);
}

void AtomicFile::finish() {
    if (std::fflush(file) != 0 || std::ferror(file) != 0) fail("write failed", errno);
    if (sync && !inPlace && fsync(fileno(file)) != 0) fail("write failed", errno);
    std::FILE* f = file;
    file = nullptr;
    if (std::fclose(f) != 0) fail("write failed", errno);
}

void AtomicFile::publish() {
    if (inPlace) return;
    if (std::rename(tempPath.c_str(), target.c_str()) != 0) {
        const int err = errno;
        dropTemporary();
        throw std::runtime_error(label + ": cannot rename the finished temporary into place: " + std::strerror(err));
    }
    tempPath.clear();
    forgetTemporary(slot);
    slot = -1;
}

}  // namespace lattis
