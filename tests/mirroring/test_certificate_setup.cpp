// End to end: the certificate set-up of a server pair, run through the real program's automation options
// in the order the servers need the files (script 1 on Main, CopyCert, script 2 on the Mirror, CopyCert,
// script 3 on Main), against scripted servers on 127.0.0.2:1433 and 127.0.0.3:1433 and real Samba on the
// same addresses. The scripted servers write and read the certificate files in their own share folders,
// as the servers would on their own disks.

#include "Port1433.h"
#include "SmbTestBase.h"
#include "ToolRun.h"
#include "core/mirroring/DefaultScripts.h"
#include "core/mirroring/ScriptSplitter.h"
#include "tds/ScriptedServer.h"

#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <regex>

using namespace quorix;
using namespace quorix::testing;
using namespace quorix::testsupport;
using tds::ConnectionState;
using tds::Reply;
using tds::Rule;

namespace {

[[maybe_unused]] const auto *const kSamba = ::testing::AddGlobalTestEnvironment(new SambaEnvironment);

const char *const kPassword[2] = {"pwMain", "pwMirror"};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// A path as a server sees it on its own disk ("p:\BACKUP\mir\SERVER2.cer") inside its share folder,
// letter case ignored as Windows does. Empty when it is not under p:\backup\.
std::string shareRelative(const std::string &serverPath) {
    const std::string prefix = "p:\\backup\\";
    if (lower(serverPath).rfind(prefix, 0) != 0)
        return {};
    std::string rel = serverPath.substr(prefix.size());
    std::replace(rel.begin(), rel.end(), '\\', '/');
    // The share's folder is "MIR"; the scripts spell it "MIR" and "mir".
    if (lower(rel).rfind("mir/", 0) == 0)
        rel = "MIR/" + rel.substr(4);
    return rel;
}

// The certificate statements of a server: BACKUP CERTIFICATE writes the file into the server's share,
// CREATE CERTIFICATE ... FROM FILE is refused when the file is not there. Refusals are counted.
Rule certificateFiles(int slot, std::vector<std::string> &refused, std::mutex &mutex) {
    return Rule::callback([slot, &refused, &mutex](const std::string &text,
                                                   const ConnectionState &) -> std::optional<Reply> {
        static const std::regex backup(R"(BACKUP CERTIFICATE\s+(\w+)\s+TO FILE = '([^']*)'\s*)");
        static const std::regex create(
            R"(CREATE CERTIFICATE\s+\w+\s+AUTHORIZATION\s+\w+\s+FROM FILE = '([^']*)'\s*)");
        std::smatch m;
        if (std::regex_match(text, m, backup)) {
            samba().putFile(slot, shareRelative(m[2]),
                            "certificate " + m[1].str() + " of server " + std::to_string(slot + 1));
            return Reply::done();
        }
        if (std::regex_match(text, m, create)) {
            const std::string rel = shareRelative(m[1]);
            if (!rel.empty() && std::filesystem::exists(samba().share(slot).folder / rel))
                return Reply::done();
            std::lock_guard lock(mutex);
            refused.push_back(text);
            return Reply::error(15208, "The certificate, asymmetric key, or private key file is not valid or "
                                       "does not exist; or you do not have permissions for it.");
        }
        return std::nullopt;
    });
}

std::vector<std::string> batchTexts(const QString &script) {
    std::vector<std::string> out;
    for (const ScriptBatch &b : splitScript(script))
        out.push_back(b.text.toStdString());
    return out;
}

} // namespace

TEST(CertificateSetup, ScriptsAndCopiesInOrderLeaveEachServerTheOthersCertificate) {
    QUORIX_SKIP_WITHOUT_SAMBA();
    ASSERT_TRUE(SambaEnvironment::ok()) << SambaEnvironment::error();
    samba().clearShares();
    std::vector<std::string> refused;
    std::mutex mutex;
    std::unique_ptr<tds::ScriptedServer> servers[2]; // after what its rules use: stopped first
    for (int slot = 0; slot < 2; ++slot) {
        servers[slot] = std::make_unique<tds::ScriptedServer>();
        servers[slot]->setLogin("sa", kPassword[slot]);
        startOn1433(*servers[slot], samba().share(slot).server);
        servers[slot]->addRule(certificateFiles(slot, refused, mutex));
    }

    // The server boxes as an earlier run left them; passwords and accounts come with the run.
    QTemporaryDir home;
    {
        QSettings ini(home.filePath("quorix-dbtools.ini"), QSettings::IniFormat);
        ini.setValue("MIR/txtServer0", QString::fromStdString(samba().share(0).server));
        ini.setValue("MIR/txtServer1", QString::fromStdString(samba().share(1).server));
    }
    QStringList args{"--headless", "--answer", "yes"};
    for (int slot = 0; slot < 2; ++slot) {
        const QString i = QStringLiteral("(%1)=").arg(slot);
        args << "--set"
             << "txtPW" + i + kPassword[slot] << "--set"
             << "txtServerUser" + i + QString::fromStdString(samba().share(slot).user) << "--set"
             << "txtServerPW" + i + QString::fromStdString(samba().share(slot).password);
    }
    args << "--click"
         << "cmdNetworkConnect(0)"
         << "--click"
         << "cmdNetworkConnect(1)";
    args << "--click"
         << "cmdRunScript(1)"
         << "--click"
         << "cmdCopyCert(0)"
         << "--click"
         << "cmdRunScript(2)"
         << "--click"
         << "cmdCopyCert(1)"
         << "--click"
         << "cmdRunScript(3)";

    const ToolRun tool = runTool(args, home.path(), 120000);
    const QString &out = tool.out;
    EXPECT_EQ(tool.status, 0) << tool.err.toStdString();
    // The two CopyCert message boxes, and no other (a failed mapping or connection would show one).
    EXPECT_EQ(out.count("done."), 2) << out.toStdString();

    std::vector<std::string> mainBatches = batchTexts(defaultMainCreateScript());
    const auto finish = batchTexts(defaultMainFinishScript());
    mainBatches.insert(mainBatches.end(), finish.begin(), finish.end());
    EXPECT_EQ(servers[0]->batches(), mainBatches);
    EXPECT_EQ(servers[1]->batches(), batchTexts(defaultMirrorCreateScript()));
    EXPECT_TRUE(refused.empty()) << refused.front();

    const auto mir = [](int slot) { return samba().share(slot).folder / "MIR"; };
    const std::string cert1 = "certificate Mirroring of server 1";
    const std::string cert2 = "certificate mirroringB of server 2";
    EXPECT_EQ(readLocal(mir(0) / "SERVER1.cer"), cert1);
    EXPECT_EQ(readLocal(mir(1) / "SERVER1.cer"), cert1);
    EXPECT_EQ(readLocal(mir(1) / "SERVER2.cer"), cert2);
    EXPECT_EQ(readLocal(mir(0) / "SERVER2.cer"), cert2);
}
