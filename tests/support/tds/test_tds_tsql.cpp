// The scripted server seen through FreeTDS's own command-line client, tsql, and run as its own process.

#include "tds/ScriptedServer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorix::tds;

extern char **environ;

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string output; // stdout and stderr
};

std::string tempPath(const std::string &name) {
    return ::testing::TempDir() + "tds_" + std::to_string(::getpid()) + "_" + name;
}

// Runs tsql against host:port with `script` on its standard input.
ToolRun tsql(std::uint16_t port, const std::string &password, const std::string &script,
             const std::string &host = "127.0.0.1") {
    const std::string in = tempPath("in.sql");
    std::ofstream(in) << script;
    const std::string command =
        "tsql -H " + host + " -p " + std::to_string(port) + " -U sa -P '" + password + "' < " + in + " 2>&1";
    ToolRun run;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        run.output.append(buf, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::remove(in.c_str());
    return run;
}

TEST(TdsTsql, LoginsRowsAndErrors) {
    ScriptedServer server;
    server.setLogin("sa", "pw");
    server.addRule(Rule::pattern("select 1\\s*", Reply::rows({{makeColumn("x", "int")}, {{"1"}}})));
    server.addRule(
        Rule::pattern("select \\* from gone\\s*", Reply::error(208, "Invalid object name 'gone'.")));
    server.start("127.0.0.2", 0);

    const ToolRun ok = tsql(server.port(), "pw", "select 1\ngo\nselect * from gone\ngo\nexit\n", "127.0.0.2");
    EXPECT_EQ(ok.exitCode, 0) << ok.output;
    EXPECT_NE(ok.output.find("x\n1\n(1 row affected)"), std::string::npos) << ok.output;
    EXPECT_NE(ok.output.find("Msg 208 (severity 16, state 1)"), std::string::npos) << ok.output;
    EXPECT_NE(ok.output.find("\"Invalid object name 'gone'.\""), std::string::npos) << ok.output;

    const ToolRun bad = tsql(server.port(), "bad", "select 1\ngo\nexit\n", "127.0.0.2");
    EXPECT_EQ(bad.exitCode, 1) << bad.output;
    EXPECT_NE(bad.output.find("Msg 18456"), std::string::npos) << bad.output;
    EXPECT_NE(bad.output.find("Login failed for user 'sa'."), std::string::npos) << bad.output;

    const std::vector<Event> logins = server.logins();
    ASSERT_EQ(logins.size(), 2u);
    EXPECT_TRUE(logins[0].accepted);
    EXPECT_EQ(logins[0].appName, "TSQL");
    EXPECT_FALSE(logins[1].accepted);
    EXPECT_EQ(logins[1].password, "bad");
    EXPECT_EQ(server.batches(), (std::vector<std::string>{"select 1\n", "select * from gone\n"}));
}

TEST(TdsStandalone, RulesFromAFileAndARecordFile) {
    const std::string rules = tempPath("rules.txt");
    const std::string record = tempPath("record.txt");
    std::ofstream(rules) << "login sa pw\n"
                            "ipattern select name from sys\\.databases\\s*\n"
                            "  columns name:nvarchar(128) id:int\n"
                            "  row master|1\n"
                            "  row Billing|NULL\n";
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string exe = TDS_SERVER_EXE;
    std::vector<std::string> args = {exe, "--address", "127.0.0.1", "--rules", rules, "--record", record};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string first;
    char ch;
    while (::read(out[0], &ch, 1) == 1 && ch != '\n')
        first += ch;
    ::close(out[0]);
    ASSERT_EQ(first.rfind("port ", 0), 0u) << first;
    const auto port = static_cast<std::uint16_t>(std::stoi(first.substr(5)));

    const ToolRun run = tsql(port, "pw", "SELECT name FROM sys.databases\ngo\nexit\n");
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(run.output.find("name\tid\nmaster\t1\nBilling\tNULL\n(2 rows affected)"), std::string::npos)
        << run.output;

    std::ifstream in(record);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "1\tlogin\tuser=sa\tdatabase=\tapp=TSQL\taccepted");
    EXPECT_EQ(lines[1], "1\tbatch\tSELECT name FROM sys.databases\\n");
    std::remove(rules.c_str());
    std::remove(record.c_str());
}

} // namespace
