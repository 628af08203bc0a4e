// Copies a large backup file from Main's share (X:) to the Mirror's (Y:) through the shares layer, and the
// same with smbclient (get to the local disk, then put), and prints both rates and their ratio.
// Usage: bench_shares_copy [MiB] (default 512). Needs root, like the Samba fixture.

#include "SambaFixture.h"
#include "core/shares/FileAccess.h"
#include "core/shares/ModNetUse.h"
#include "core/shares/Platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace quorix;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool smbclient(const testsupport::SambaShare &share, int port, const std::string &command) {
    // The password goes through the environment, as smbclient reads it from PASSWD.
    ::setenv("PASSWD", share.password.c_str(), 1);
    const std::string line = "smbclient //" + share.server + "/backup -p " + std::to_string(port) + " -U " +
                             share.user + " -c '" + command + "' >/dev/null 2>&1";
    const bool ok = std::system(line.c_str()) == 0;
    ::unsetenv("PASSWD");
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 512;
    const double megabytes = static_cast<double>(mib) * 1048576.0 / 1e6;
    testsupport::SambaFixture samba;
    std::string error;
    if (!samba.start(error)) {
        std::fprintf(stderr, "Samba fixture: %s\n", error.c_str());
        return 1;
    }
    samba.clearShares();
    shares::setAccounts([&](const std::string &server) -> std::optional<shares::Account> {
        for (int slot = 0; slot < 2; ++slot)
            if (samba.share(slot).server == server)
                return shares::Account{samba.share(slot).user, samba.share(slot).password};
        return std::nullopt;
    });
    for (int slot = 0; slot < 2; ++slot) {
        ModNetUse::MapNetworkDrive(samba.share(slot).server + "\\backup",
                                   slot == 0 ? "X:" : "Y:", samba.share(slot).user,
                                   samba.share(slot).password);
        if (ModNetUse::lastResult() != 0) {
            std::fprintf(stderr, "mapping failed: %s\n", ModNetUse::errorText().c_str());
            return 1;
        }
    }

    {
        std::ofstream out(samba.share(0).folder / "MIR" / "Big.BAK", std::ios::binary);
        std::vector<char> block(1 << 20);
        std::mt19937 gen(7);
        for (auto &c : block)
            c = static_cast<char>(gen());
        for (std::size_t i = 0; i < mib; ++i) {
            block[0] = static_cast<char>(i);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    samba.adoptFiles();
    const auto local = std::filesystem::temp_directory_path() / "quorix-bench-Big.BAK";

    double best[2] = {1e9, 1e9};
    for (int round = 0; round < 2; ++round) {
        auto start = Clock::now();
        const auto result = shares::files().copy("x:\\MIR\\Big.BAK", "y:\\MIR\\Big.BAK");
        if (!result.ok()) {
            std::fprintf(stderr, "copy failed: %s\n", result.error().c_str());
            return 1;
        }
        best[0] = std::min(best[0], seconds(start));

        start = Clock::now();
        if (!smbclient(samba.share(0), samba.port(), "get MIR\\Big.BAK " + local.string()) ||
            !smbclient(samba.share(1), samba.port(), "put " + local.string() + " MIR\\Big2.BAK")) {
            std::fprintf(stderr, "smbclient failed\n");
            return 1;
        }
        best[1] = std::min(best[1], seconds(start));
        std::filesystem::remove(local);
    }
    const double ours = megabytes / best[0], theirs = megabytes / best[1];
    std::printf("file size            %zu MiB\n", mib);
    std::printf("shares layer X: -> Y: %8.1f MB/s (%.2f s)\n", ours, best[0]);
    std::printf("smbclient get + put   %8.1f MB/s (%.2f s)\n", theirs, best[1]);
    std::printf("ratio                 %8.2f (target >= 0.9)\n", ours / theirs);
    samba.clearShares();
    return 0;
}
