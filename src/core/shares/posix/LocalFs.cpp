// The local file system.

#include "core/shares/posix/Fs.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quorix::shares::posix {

namespace {

// A lock on an open file marks it as held by a copy; the lock ends with the process, so a killed copy's file
// is free to remove. False when another open of the file holds the lock; a file system without locks
// counts as unlocked.
bool lock(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

bool samePath(int fd, const std::string &where) {
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(where.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

class LocalStream : public Stream {
public:
    LocalStream(int fd, bool writing, std::string path = {})
        : m_fd(fd), m_writing(writing), m_path(std::move(path)) {}
    ~LocalStream() override {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    ssize_t read(char *buffer, std::size_t size) override {
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, size);
            if (n >= 0)
                return n;
            if (errno != EINTR)
                return -errno;
        }
    }

    int writeAll(const char *buffer, std::size_t size) override {
        while (size > 0) {
            const ssize_t n = ::write(m_fd, buffer, size);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            buffer += n;
            size -= static_cast<std::size_t>(n);
        }
        return 0;
    }

    int close() override {
        int error = 0;
        // A written file reaches the disk before it is renamed into place, so a crash cannot leave an
        // empty file under the final name.
        if (m_writing && ::fsync(m_fd) != 0)
            error = errno;
        return closeFd(error);
    }

    int closeAs(const std::string &target) override {
        // Renamed while still open and locked: until then no other copy can take it for a leftover.
        int error = ::fsync(m_fd) == 0 ? 0 : errno;
        if (error == 0 && ::rename(m_path.c_str(), target.c_str()) != 0)
            error = errno;
        if (error != 0)
            ::unlink(m_path.c_str());
        return closeFd(error);
    }

    void discard() override {
        ::unlink(m_path.c_str());
        closeFd(0);
    }

private:
    int closeFd(int error) {
        if (m_fd >= 0 && ::close(m_fd) != 0 && error == 0)
            error = errno;
        m_fd = -1;
        return error;
    }

    int m_fd;
    bool m_writing;
    std::string m_path; // of a created file
};

class LocalFs : public Fs {
public:
    int list(const std::string &where, std::vector<Entry> &entries) override {
        DIR *dir = ::opendir(where.c_str());
        if (!dir)
            return errno;
        errno = 0;
        while (dirent *entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            struct stat st {};
            const std::string full = where + "/" + name;
            if (::stat(full.c_str(), &st) == 0)
                entries.push_back({name, S_ISREG(st.st_mode)});
        }
        ::closedir(dir);
        return 0;
    }

    int isFolder(const std::string &where, bool &folder) override {
        struct stat st {};
        if (::stat(where.c_str(), &st) != 0)
            return errno;
        folder = S_ISDIR(st.st_mode);
        return 0;
    }

    int openRead(const std::string &where, std::unique_ptr<Stream> &stream) override {
        const int fd = ::open(where.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return errno;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            return EISDIR;
        }
        stream = std::make_unique<LocalStream>(fd, false);
        return 0;
    }

    int createNew(const std::string &where, std::unique_ptr<Stream> &stream) override {
        const int fd = ::open(where.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            return errno;
        // Between the creation and the lock another copy may have taken the file for a leftover and
        // removed it; then the name is no longer this file's.
        if (!lock(fd) || !samePath(fd, where)) {
            ::close(fd);
            return EBUSY;
        }
        stream = std::make_unique<LocalStream>(fd, true, where);
        return 0;
    }

    int removeUnused(const std::string &where) override {
        const int fd = ::open(where.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno;
        int error = 0;
        if (!lock(fd))
            error = EBUSY;
        else if (::unlink(where.c_str()) != 0)
            error = errno;
        ::close(fd);
        return error;
    }

    int rename(const std::string &from, const std::string &to, bool replace) override {
        if (replace)
            return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#ifdef RENAME_NOREPLACE
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return 0;
        if (errno != EINVAL && errno != ENOSYS)
            return errno;
#endif
        // File systems without an atomic no-replace rename: a hard link fails when the name exists.
        if (::link(from.c_str(), to.c_str()) != 0) {
            if (errno == EEXIST)
                return EEXIST;
            struct stat st {};
            if (::lstat(to.c_str(), &st) == 0)
                return EEXIST;
            return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
        }
        ::unlink(from.c_str());
        return 0;
    }
};

} // namespace

Fs &localFs() {
    static LocalFs fs;
    return fs;
}

} // namespace quorix::shares::posix
