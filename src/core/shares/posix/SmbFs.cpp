// SMB shares through libsmbclient. One context serves the file layer; the credentials of each server come
// from accountFor() when libsmbclient asks for them. libsmbclient is not safe for concurrent use of one
// context, so every call on a context holds its lock.

#include "core/shares/posix/Fs.h"
#include "core/shares/posix/Smb.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <libsmbclient.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <utility>

namespace quorix::shares::posix {

namespace {

void copyOut(char *buffer, int size, const std::string &text) {
    if (size <= 0)
        return;
    std::strncpy(buffer, text.c_str(), static_cast<std::size_t>(size - 1));
    buffer[size - 1] = '\0';
}

class Context {
public:
    // fixed: answer every server with this account only (share checks); otherwise ask accountFor().
    explicit Context(std::optional<Account> fixed = std::nullopt) : m_fixed(std::move(fixed)) {
        m_ctx = smbc_new_context();
        if (!m_ctx)
            return;
        smbc_setDebug(m_ctx, 0);
        smbc_setOptionUserData(m_ctx, this);
        smbc_setFunctionAuthDataWithContext(m_ctx, &Context::auth);
        // Only the given account: no guest fallback, no Kerberos tickets or cached credentials of the user.
        smbc_setOptionNoAutoAnonymousLogin(m_ctx, 1);
        smbc_setOptionUseKerberos(m_ctx, 0);
        smbc_setOptionFallbackAfterKerberos(m_ctx, 1);
        smbc_setOptionUseCCache(m_ctx, 0);
        smbc_setTimeout(m_ctx, 15000);
        if (!smbc_init_context(m_ctx)) {
            smbc_free_context(m_ctx, 1);
            m_ctx = nullptr;
        }
    }
    ~Context() {
        if (m_ctx)
            smbc_free_context(m_ctx, 1);
    }
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;

    SMBCCTX *ctx() const { return m_ctx; }
    std::mutex &mutex() { return m_mutex; }

private:
    static void auth(SMBCCTX *c, const char *server, const char *, char *wg, int wglen, char *un, int unlen,
                     char *pw, int pwlen) {
        auto *self = static_cast<Context *>(smbc_getOptionUserData(c));
        std::optional<Account> account = self->m_fixed ? self->m_fixed : accountFor(server ? server : "");
        if (!account)
            return;
        std::string user = account->user;
        // "DOMAIN\user" names the account's domain.
        const auto slash = user.find('\\');
        if (slash != std::string::npos) {
            copyOut(wg, wglen, user.substr(0, slash));
            user = user.substr(slash + 1);
        }
        copyOut(un, unlen, user);
        copyOut(pw, pwlen, account->password);
    }

    SMBCCTX *m_ctx = nullptr;
    std::mutex m_mutex;
    std::optional<Account> m_fixed;
};

std::mutex g_sharedMutex;
std::shared_ptr<Context> g_shared;

std::shared_ptr<Context> shared() {
    std::lock_guard lock(g_sharedMutex);
    if (!g_shared || !g_shared->ctx())
        g_shared = std::make_shared<Context>();
    return g_shared;
}

int lastError() {
    return errno ? errno : EIO;
}

// 0 for a call that succeeded, otherwise the error it left behind.
int errorOf(int rc) {
    return rc == 0 ? 0 : lastError();
}

// Runs call(c) under the context's lock with errno cleared, so lastError() reads what this call set;
// ENOMEM when libsmbclient could not set the context up.
template <typename Call> int onContext(Context &context, Call &&call) {
    if (!context.ctx())
        return ENOMEM;
    std::lock_guard lock(context.mutex());
    errno = 0;
    return call(context.ctx());
}

template <typename Call> int onShared(Call &&call) {
    return onContext(*shared(), std::forward<Call>(call));
}

int removeFile(Context &context, const std::string &where) {
    return onContext(context,
                     [&](SMBCCTX *c) { return errorOf(smbc_getFunctionUnlink(c)(c, where.c_str())); });
}

class SmbStream : public Stream {
public:
    SmbStream(std::shared_ptr<Context> context, SMBCFILE *file, std::string url)
        : m_context(std::move(context)), m_file(file), m_url(std::move(url)) {}
    ~SmbStream() override { closeFile(); }

    ssize_t read(char *buffer, std::size_t size) override {
        std::lock_guard lock(m_context->mutex());
        errno = 0;
        const ssize_t n = smbc_getFunctionRead(m_context->ctx())(m_context->ctx(), m_file, buffer, size);
        return n >= 0 ? n : -lastError();
    }

    int writeAll(const char *buffer, std::size_t size) override {
        std::lock_guard lock(m_context->mutex());
        while (size > 0) {
            errno = 0;
            const ssize_t n = smbc_getFunctionWrite(m_context->ctx())(m_context->ctx(), m_file, buffer, size);
            if (n <= 0)
                return lastError();
            buffer += n;
            size -= static_cast<std::size_t>(n);
        }
        return 0;
    }

    int close() override { return closeFile(); }

    // The server refuses to rename or remove a file that is open without shared delete access, as
    // libsmbclient opens files, so the file is closed first.
    int closeAs(const std::string &target) override {
        int rc = closeFile();
        if (rc == 0) {
            rc = onContext(*m_context, [&](SMBCCTX *c) {
                return errorOf(smbc_getFunctionRename(c)(c, m_url.c_str(), c, target.c_str()));
            });
        }
        if (rc != 0)
            removeFile(*m_context, m_url);
        return rc;
    }

    void discard() override {
        closeFile();
        removeFile(*m_context, m_url);
    }

private:
    int closeFile() {
        if (!m_file)
            return 0;
        std::lock_guard lock(m_context->mutex());
        errno = 0;
        const int rc = smbc_getFunctionClose(m_context->ctx())(m_context->ctx(), m_file);
        m_file = nullptr;
        return errorOf(rc);
    }

    std::shared_ptr<Context> m_context;
    SMBCFILE *m_file;
    std::string m_url;
};

class SmbFs : public Fs {
public:
    int list(const std::string &where, std::vector<Entry> &entries) override {
        return onShared([&](SMBCCTX *c) {
            SMBCFILE *dir = smbc_getFunctionOpendir(c)(c, where.c_str());
            if (!dir)
                return lastError();
            while (smbc_dirent *entry = smbc_getFunctionReaddir(c)(c, dir)) {
                const std::string name(entry->name);
                if (name == "." || name == "..")
                    continue;
                entries.push_back({name, entry->smbc_type == SMBC_FILE});
            }
            smbc_getFunctionClosedir(c)(c, dir);
            return 0;
        });
    }

    int isFolder(const std::string &where, bool &folder) override {
        struct stat st {};
        const int rc = stat(where, st);
        if (rc == 0)
            folder = S_ISDIR(st.st_mode);
        return rc;
    }

    int openRead(const std::string &where, std::unique_ptr<Stream> &stream) override {
        return open(where, O_RDONLY, stream);
    }

    int createNew(const std::string &where, std::unique_ptr<Stream> &stream) override {
        return open(where, O_WRONLY | O_CREAT | O_EXCL, stream);
    }

    int rename(const std::string &from, const std::string &to, bool replace) override {
        if (!replace) {
            // libsmbclient replaces an existing target on its own, so the check comes first.
            struct stat st {};
            const int rc = stat(to, st);
            if (rc == 0)
                return EEXIST;
            if (rc != ENOENT)
                return rc;
        }
        return onShared(
            [&](SMBCCTX *c) { return errorOf(smbc_getFunctionRename(c)(c, from.c_str(), c, to.c_str())); });
    }

    // The server itself refuses a file that a copy holds open: libsmbclient opens without shared delete
    // access.
    int removeUnused(const std::string &where) override { return removeFile(*shared(), where); }

private:
    static int stat(const std::string &where, struct stat &st) {
        return onShared([&](SMBCCTX *c) { return errorOf(smbc_getFunctionStat(c)(c, where.c_str(), &st)); });
    }

    static int open(const std::string &where, int flags, std::unique_ptr<Stream> &stream) {
        auto context = shared();
        return onContext(*context, [&](SMBCCTX *c) {
            SMBCFILE *file = smbc_getFunctionOpen(c)(c, where.c_str(), flags, 0666);
            if (!file)
                return lastError();
            if (flags == O_RDONLY) {
                // Opening a folder for reading succeeds on SMB; reading it would not.
                struct stat st {};
                if (smbc_getFunctionFstat(c)(c, file, &st) == 0 && S_ISDIR(st.st_mode)) {
                    smbc_getFunctionClose(c)(c, file);
                    return EISDIR;
                }
            }
            stream = std::make_unique<SmbStream>(context, file, where);
            return 0;
        });
    }
};

std::string encode(const std::string &text) {
    static const char *hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char ch : text) {
        if (std::isalnum(ch) || ch == '-' || ch == '.' || ch == '_' || ch == '~' || ch == '$') {
            out += static_cast<char>(ch);
        } else {
            out += '%';
            out += hex[ch >> 4];
            out += hex[ch & 15];
        }
    }
    return out;
}

} // namespace

Fs &smbFs() {
    static SmbFs fs;
    return fs;
}

int smbPort() {
    if (const char *text = std::getenv("QUORIX_SMB_PORT")) {
        const int port = std::atoi(text);
        if (port > 0 && port < 65536)
            return port;
    }
    return 445;
}

std::string smbUrl(const std::string &server, const std::string &share,
                   const std::vector<std::string> &parts) {
    std::string url = "smb://" + encode(server);
    if (smbPort() != 445)
        url += ":" + std::to_string(smbPort());
    url += "/" + encode(share);
    for (const auto &part : parts)
        url += "/" + encode(part);
    return url;
}

int checkShare(const std::string &server, const std::string &share, const Account &account) {
    Context context(account);
    return onContext(context, [&](SMBCCTX *c) {
        SMBCFILE *dir = smbc_getFunctionOpendir(c)(c, smbUrl(server, share).c_str());
        if (!dir)
            return lastError();
        smbc_getFunctionClosedir(c)(c, dir);
        return 0;
    });
}

bool logonAccepted(const std::string &server, const Account &account) {
    // The IPC$ share is open to every account the server accepts; it cannot be listed, but a refused
    // logon is the only way to get EACCES from it.
    return checkShare(server, "IPC$", account) != EACCES;
}

void resetSmbConnections() {
    std::lock_guard lock(g_sharedMutex);
    g_shared.reset();
}

} // namespace quorix::shares::posix
