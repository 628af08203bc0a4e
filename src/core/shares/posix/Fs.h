#pragma once

// The file systems behind the POSIX file layer: the local one and SMB shares. Every call returns 0 or an
// errno value; the file layer turns those into its error descriptions.

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorix::shares::posix {

struct Entry {
    std::string name;
    bool isFile = false;
};

class Stream {
public:
    virtual ~Stream() = default;
    // Bytes read (0 at the end) or -errno.
    virtual ssize_t read(char *buffer, std::size_t size) = 0;
    // 0 when all size bytes were written, else errno.
    virtual int writeAll(const char *buffer, std::size_t size) = 0;
    // Flushes and closes; 0 or errno. A stream not closed is closed by its destructor, ignoring errors.
    virtual int close() = 0;
    // For a stream of createNew: flushes, closes and renames its file to target, replacing a file of that
    // name; 0 or errno, and then the file is removed. Where the file system allows it the file stays held
    // until it has its new name.
    virtual int closeAs(const std::string &target) = 0;
    // For a stream of createNew: closes and removes its file.
    virtual void discard() = 0;
};

class Fs {
public:
    virtual ~Fs() = default;
    // where is a local path or an smb:// address.
    virtual int list(const std::string &where, std::vector<Entry> &entries) = 0;
    virtual int isFolder(const std::string &where, bool &folder) = 0; // ENOENT when absent
    virtual int openRead(const std::string &where, std::unique_ptr<Stream> &stream) = 0;
    // Creates a file that must not exist yet. The stream holds the file as in use until it is closed, so
    // removeUnused refuses it meanwhile, in this process and in others.
    virtual int createNew(const std::string &where, std::unique_ptr<Stream> &stream) = 0;
    // Removes a file that no stream of createNew holds; EBUSY when one does.
    virtual int removeUnused(const std::string &where) = 0;
    // With replace false, EEXIST when to exists.
    virtual int rename(const std::string &from, const std::string &to, bool replace) = 0;
};

Fs &localFs();
Fs &smbFs();

} // namespace quorix::shares::posix
