#pragma once

// How one step ended (a statement sent to a server, an operation on the backup shares): success, or what
// failed, with the server's diagnostic records when a server refused it. The header is plain C++ (the
// server's failure is held, not spelled out) so the shares' platform layer, which must build without Qt,
// returns it too.

#include <memory>
#include <string>

namespace quorix {

class DbError;

class Outcome {
public:
    Outcome() = default; // success

    // A failure told in words: what failed, on which path and why (the file layer's descriptions).
    static Outcome failed(std::string text) {
        Outcome o;
        o.m_failed = true;
        o.m_error = std::move(text);
        return o;
    }
    // A server's failure: its description is the text, every diagnostic record is kept.
    static Outcome failed(const DbError &error);

    bool ok() const { return !m_failed; }
    // What failed, UTF-8: the file error or the server's description; empty on success.
    const std::string &error() const { return m_error; }
    // The server's failure with its diagnostic records (records()); nullptr on success and for file errors.
    const DbError *serverError() const { return m_server.get(); }

private:
    bool m_failed = false;
    std::string m_error;
    std::shared_ptr<const DbError> m_server;
};

} // namespace quorix
