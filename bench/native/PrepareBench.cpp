// What keeping prepared branches in a state directory costs: a branch with
// one 1 KiB message put, ended, prepared and committed, through the queue
// manager's XA functions, without and with a state directory. Prints
// microseconds per prepare (median of five runs) and writes them as CSV.
#include <filesystem>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ztm.h"
#include "ztm_control.h"

namespace {

double microsPerPrepare(const std::string& openString, int branches)
{
    ztmctl::reset();
    std::string open = openString;
    if (zstXAOpen(open.data(), 1, TMNOFLAGS, 8, 0, 1) != XA_OK) {
        std::fprintf(stderr, "open failed: %s\n", open.c_str());
        std::exit(1);
    }
    char name[48] = "QM1";
    ZTLONG hconn = 0, hobj = 0, cc = 0, rc = 0;
    ZTCONN(name, &hconn, &cc, &rc);
    ZTOD od{};
    std::memcpy(od.eyeCatcher, ZTOD_EYE_CATCHER, 4);
    od.version = 1;
    od.objectType = 1;
    std::strcpy(od.objectName, "BENCH.Q");
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &cc, &rc);
    std::vector<char> data(1024, 'x');
    double spent = 0;
    for (int i = 0; i < branches; i++) {
        XID x{};
        x.formatID = 1;
        x.gtrid_length = std::snprintf(x.data, sizeof x.data, "bench-%d", i);
        zstXAStart(&x, 1, TMNOFLAGS, 1);
        ZTMD md{};
        std::memcpy(md.eyeCatcher, ZTMD_EYE_CATCHER, 4);
        md.version = 1;
        ZTPMO pmo{};
        std::memcpy(pmo.eyeCatcher, ZTPMO_EYE_CATCHER, 4);
        pmo.version = 1;
        pmo.options = ZTPMO_SYNCPOINT;
        ZTPUT(hconn, hobj, &md, &pmo, static_cast<ZTLONG>(data.size()), data.data(), &cc, &rc);
        zstXAEnd(&x, 1, TMSUCCESS);
        const auto t0 = std::chrono::steady_clock::now();
        const int prepared = zstXAPrepare(&x, 1, TMNOFLAGS);
        spent += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
        if (cc != 0 || prepared != XA_OK || zstXACommit(&x, 1, TMNOFLAGS) != XA_OK) {
            std::fprintf(stderr, "branch %d failed\n", i);
            std::exit(1);
        }
    }
    ztmctl::reset();
    return spent / branches;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string out = argc > 1 ? argv[1] : ".";
    char dir[] = "/tmp/prepare_bench_XXXXXX";
    if (mkdtemp(dir) == nullptr) return 1;
    ztmctl::setRecording(false);
    const int branches = 200;
    std::vector<double> memory, disk;
    for (int run = 0; run < 5; run++) {
        memory.push_back(microsPerPrepare("QM1", branches));
        disk.push_back(microsPerPrepare(std::string("QM1;state=") + dir, branches));
        ztmctl::setRecording(false);
    }
    std::printf("  %-44s %10.1f us\n", "prepare, branches in memory only", median(memory));
    std::printf("  %-44s %10.1f us\n", "prepare, kept in the state directory (SQLite)", median(disk));
    if (FILE* f = std::fopen((out + "/prepare.csv").c_str(), "w")) {
        std::fprintf(f, "store,us_per_prepare\nmemory,%.1f\nstate_directory,%.1f\n", median(memory), median(disk));
        std::fclose(f);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
