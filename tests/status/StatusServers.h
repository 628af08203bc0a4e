#pragma once

// The answers of a pair set up by the certificate scripts, beside the reads (StatusReads.h) for the
// window's tests.

#include "MirroringWindow.h"
#include "StatusReads.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace quorix::testing {

// Rows a rule answers with, which a test may change between clicks (the server answers on its
// connections' threads).
class Answer {
public:
    explicit Answer(std::vector<Row> rows) : m_rows(std::move(rows)) {}
    void set(std::vector<Row> rows) {
        std::lock_guard lock(m_mutex);
        m_rows = std::move(rows);
    }
    std::vector<Row> rows() const {
        std::lock_guard lock(m_mutex);
        return m_rows;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Row> m_rows;
};

inline Rule answerWith(const std::string &statement, std::vector<Column> columns,
                       std::shared_ptr<Answer> answer) {
    Rule r = Rule::exact(statement, Reply::done());
    r.compute = [columns = std::move(columns), answer](const std::string &,
                                                       const tds::ConnectionState &) -> std::optional<Reply> {
        return Reply::rows({columns, answer->rows()});
    };
    return r;
}

// What a server set up by the certificate scripts says about the certificates in master and the logins the
// partners connect as.
struct SetUpAnswers {
    std::shared_ptr<Answer> certificates, partnerLogins;
};

// The certificates of a server set up by the scripts: its own (thumbprint 0x0A on Main, 0x0B on the
// Mirror) and the partner's imported.
inline std::vector<Row> certificatesAsSetUp() {
    return {{"Mirroring", "0x0A"}, {"mirroringB", "0x0B"}};
}
// The scripts make login mirroring on both; the partner's login holds CONNECT on the endpoint (mirroringB
// on Main, mirroring on the Mirror).
inline std::vector<Row> partnerLoginsAsSetUp(int slot) {
    if (slot == 0)
        return {{"mirroring", std::nullopt, std::nullopt}, {"mirroringB", "Endpoint_Mirroring", "GRANT"}};
    return {{"mirroring", "Endpoint_Mirroring", "GRANT"}};
}

// The answers of one server set up by the certificate scripts: its own certificate on the endpoint, the
// partner's imported, the partner's login with CONNECT, 5000 MB free on P:.
inline SetUpAnswers answerAsSetUp(tds::ScriptedServer &server, int slot) {
    const std::string own = slot == 0 ? "Mirroring" : "mirroringB";
    const std::string ownPrint = slot == 0 ? "0x0A" : "0x0B";
    server.addRule(Rule::exact(kServerRead, Reply::rows({{{"product_version", SqlType::NVarChar, 128},
                                                          {"edition", SqlType::NVarChar, 128},
                                                          {"server_name", SqlType::NVarChar, 128}},
                                                         {{"10.50.6000.34", "Enterprise Edition (64-bit)",
                                                           slot == 0 ? "MAINSRV" : "MIRRORSRV"}}})));
    server.addRule(Rule::exact(kEndpointRead, Reply::rows({{{"name", SqlType::NVarChar, 128},
                                                            {"state_desc", SqlType::NVarChar, 60},
                                                            {"connection_auth_desc", SqlType::NVarChar, 60},
                                                            {"port", SqlType::Int},
                                                            {"certificate_name", SqlType::NVarChar, 128},
                                                            {"thumbprint", SqlType::VarBinary, 32}},
                                                           {{"Endpoint_Mirroring", "STARTED", "CERTIFICATE",
                                                             "5024", own, ownPrint}}})));
    SetUpAnswers answers{std::make_shared<Answer>(certificatesAsSetUp()),
                         std::make_shared<Answer>(partnerLoginsAsSetUp(slot))};
    server.addRule(answerWith(kCertificatesRead,
                              {{"name", SqlType::NVarChar, 128}, {"thumbprint", SqlType::VarBinary, 32}},
                              answers.certificates));
    server.addRule(answerWith(kPartnerLoginsRead,
                              {{"name", SqlType::NVarChar, 128},
                               {"endpoint_name", SqlType::NVarChar, 128},
                               {"state_desc", SqlType::NVarChar, 60}},
                              answers.partnerLogins));
    // The session as the tests' servers carry it: in TLS, logged in by name and password.
    server.addRule(Rule::exact(kSessionRead, Reply::rows({{{"encrypt_option", SqlType::NVarChar, 40},
                                                           {"auth_scheme", SqlType::NVarChar, 40}},
                                                          {{"TRUE", "SQL"}}})));
    server.addRule(
        Rule::exact(kFreeSpaceRead, Reply::rows({{{"drive", SqlType::Char, 1}, {"MB free", SqlType::Int}},
                                                 {{"C", "900"}, {"P", "5000"}}})));
    return answers;
}

} // namespace quorix::testing
