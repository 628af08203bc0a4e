#pragma once

// A request the scripted server holds until the test lets it go, so that a test acts while a statement is
// under way on the server, as a user clicking during a run does. The first request whose text is exactly
// the one given is held: its connection's thread waits, whileHeld runs on the test's (the window's) thread,
// which the handler's wait keeps turning, and then the request goes on to the server's other rules (or its
// table model), which answer it as they would have. Nothing waits on the clock: the window's thread is
// called when the server has the request, and the server waits for the call to end.
//
//   HeldRequest held(*main, "BACKUP DATABASE Billing ...", [&] { clickDatabase(0, "Payroll"); });
//   click("cmdBackup(0)");
//   EXPECT_TRUE(held.wasHeld());

#include "tds/ScriptedServer.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace quorix::testing {

class HeldRequest {
public:
    HeldRequest(tds::ScriptedServer &server, std::string text, std::function<void()> whileHeld)
        : m_state(std::make_shared<State>()) {
        server.addFirstRule(tds::Rule::callback(
            [state = m_state, text = std::move(text), whileHeld = std::move(whileHeld)](
                const std::string &request, const tds::ConnectionState &) -> std::optional<tds::Reply> {
                std::unique_lock lock(state->mutex);
                if (request != text || state->taken)
                    return std::nullopt;
                state->taken = true;
                // The application object lives as long as the test program, on the test's thread.
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [state, whileHeld] {
                        whileHeld();
                        state->letGo();
                    },
                    Qt::QueuedConnection);
                state->changed.wait(lock, [&] { return state->goneOn; });
                return std::nullopt;
            }));
    }
    // A server stops only once its connections' threads end: a request still held is let go.
    ~HeldRequest() { m_state->letGo(); }
    HeldRequest(const HeldRequest &) = delete;
    HeldRequest &operator=(const HeldRequest &) = delete;

    bool wasHeld() const {
        std::lock_guard lock(m_state->mutex);
        return m_state->taken;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool taken = false;
        bool goneOn = false;
        void letGo() {
            {
                std::lock_guard lock(mutex);
                goneOn = true;
            }
            changed.notify_all();
        }
    };
    std::shared_ptr<State> m_state;
};

} // namespace quorix::testing
