// The local file system.

#include "shares/posix/Fs.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorix::shares::posix {

namespace {

class LocalStream : public Stream {
public:
    LocalStream(int fd, bool writing) : m_fd(fd), m_writing(writing) {}
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
        if (::close(m_fd) != 0 && error == 0)
            error = errno;
        m_fd = -1;
        return error;
    }

private:
    int m_fd;
    bool m_writing;
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
        stream = std::make_unique<LocalStream>(fd, true);
        return 0;
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

    int remove(const std::string &where) override {
        return ::unlink(where.c_str()) == 0 ? 0 : errno;
    }
};

} // namespace

Fs &localFs() {
    static LocalFs fs;
    return fs;
}

} // namespace quorix::shares::posix
