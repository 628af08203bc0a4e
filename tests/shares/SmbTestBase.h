#pragma once

// Shared set-up of the share tests: one Samba fixture for the whole test program, the slot accounts given
// to the shares layer as the window gives them, and a fresh drive table and connection cache per test.

#include "SambaFixture.h"
#include "TestFiles.h"
#include "core/shares/Platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>

namespace quorix::testsupport {

using quorix::testing::namesIn;
using quorix::testing::readLocal;

inline SambaFixture &samba() {
    static SambaFixture fixture;
    return fixture;
}

class SambaEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        std::string error;
        m_ok = samba().start(error);
        m_error = error;
    }
    void TearDown() override { samba().stop(); }
    static bool ok() { return m_ok; }
    static const std::string &error() { return m_error; }

private:
    static inline bool m_ok = false;
    static inline std::string m_error;
};

// The accounts the window would hand over: slot 0 and 1 with their server boxes.
class SlotAccounts {
public:
    void set(const std::string &server, const shares::Account &account) {
        std::lock_guard lock(m_mutex);
        m_accounts[server] = account;
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_accounts.clear();
    }
    std::optional<shares::Account> lookup(const std::string &server) {
        std::lock_guard lock(m_mutex);
        auto it = m_accounts.find(server);
        if (it == m_accounts.end())
            return std::nullopt;
        return it->second;
    }

private:
    std::mutex m_mutex;
    std::map<std::string, shares::Account> m_accounts;
};

class SmbTest : public ::testing::Test {
protected:
    // A test class that extends SetUp returns when this one skipped or failed.
    void SetUp() override {
        QUORIX_SKIP_WITHOUT_SAMBA();
        ASSERT_TRUE(SambaEnvironment::ok()) << SambaEnvironment::error();
        samba().clearShares();
        m_store = std::make_shared<shares::MemoryDriveStore>();
        shares::setDriveStore(m_store);
        shares::drives().dropAll();
        for (int slot = 0; slot < 2; ++slot)
            m_slots.set(server(slot), {samba().share(slot).user, samba().share(slot).password});
        shares::setAccounts([this](const std::string &s) { return m_slots.lookup(s); });
    }
    void TearDown() override {
        shares::drives().dropAll();
        shares::setAccounts({});
    }

    static std::string server(int slot) { return samba().share(slot).server; }
    static const SambaShare &share(int slot) { return samba().share(slot); }

    SlotAccounts m_slots;
    std::shared_ptr<shares::MemoryDriveStore> m_store;
};

} // namespace quorix::testsupport
