// What keeping prepared branches in a state directory costs: a branch with
// one 1 KiB message put, ended, prepared and committed, through the queue
// manager's XA functions, without and with a state directory. Prints
// microseconds per prepare (median of five runs), then the two-phase
// transactions per second of 8 threads (each its own connection and
// branches; median of three runs), and writes them as CSV. Then what the
// message store costs: persistent 1 KiB puts outside a unit of work, each
// kept (synced) before it answers, per second on 1 and 8 threads (median of
// three runs). `prepare_bench <dir> puts` measures only those.
#include <filesystem>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ztm.h"
#include "ztm_control.h"

namespace {

void openResourceManager(const std::string& openString)
{
    ztmctl::reset();
    std::string open = openString;
    if (zstXAOpen(open.data(), 1, TMNOFLAGS, 8, 0, 1) != XA_OK) {
        std::fprintf(stderr, "open failed: %s\n", open.c_str());
        std::exit(1);
    }
}

// A connection to the queue manager and BENCH.Q opened on it for output.
void connectAndOpenForOutput(ZTLONG& hconn, ZTLONG& hobj, ZTLONG& cc, ZTLONG& rc)
{
    char name[48] = "QM1";
    ZTCONN(name, &hconn, &cc, &rc);
    ZTOD od{};
    std::memcpy(od.eyeCatcher, ZTOD_EYE_CATCHER, 4);
    od.version = 1;
    od.objectType = 1;
    std::strcpy(od.objectName, "BENCH.Q");
    ZTOPEN(hconn, &od, ZTOO_OUTPUT, &hobj, &cc, &rc);
}

// One thread's connection: branches each putting one 1 KiB message, ended,
// prepared and committed. The time spent in prepare is added to spent.
class Producer {
public:
    Producer()
    {
        ZTLONG cc = 0, rc = 0;
        connectAndOpenForOutput(hconn_, hobj_, cc, rc);
    }

    void branch(int thread, int i, double& spent)
    {
        XID x{};
        x.formatID = 1;
        x.gtrid_length = std::snprintf(x.data, sizeof x.data, "bench-%d-%d", thread, i);
        zstXAStart(&x, 1, TMNOFLAGS, 1);
        ZTMD md{};
        std::memcpy(md.eyeCatcher, ZTMD_EYE_CATCHER, 4);
        md.version = 1;
        ZTPMO pmo{};
        std::memcpy(pmo.eyeCatcher, ZTPMO_EYE_CATCHER, 4);
        pmo.version = 1;
        pmo.options = ZTPMO_SYNCPOINT;
        ZTLONG cc = 0, rc = 0;
        ZTPUT(hconn_, hobj_, &md, &pmo, static_cast<ZTLONG>(data_.size()), data_.data(), &cc, &rc);
        zstXAEnd(&x, 1, TMSUCCESS);
        const auto t0 = std::chrono::steady_clock::now();
        const int prepared = zstXAPrepare(&x, 1, TMNOFLAGS);
        spent += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
        if (cc != 0 || prepared != XA_OK || zstXACommit(&x, 1, TMNOFLAGS) != XA_OK) {
            std::fprintf(stderr, "branch %d of thread %d failed\n", i, thread);
            std::exit(1);
        }
    }

private:
    ZTLONG hconn_ = 0;
    ZTLONG hobj_ = 0;
    std::vector<char> data_ = std::vector<char>(1024, 'x');
};

double microsPerPrepare(const std::string& openString, int branches)
{
    openResourceManager(openString);
    Producer producer;
    double spent = 0;
    for (int i = 0; i < branches; i++) {
        producer.branch(0, i, spent);
    }
    ztmctl::reset();
    return spent / branches;
}

// Two-phase transactions per second of `threads` threads side by side.
double transactionsPerSecond(const std::string& openString, int threads, int branchesEach)
{
    openResourceManager(openString);
    std::vector<std::thread> running;
    const auto t0 = std::chrono::steady_clock::now();
    for (int t = 0; t < threads; t++) {
        running.emplace_back([t, branchesEach] {
            Producer producer;
            double spent = 0;
            for (int i = 0; i < branchesEach; i++) {
                producer.branch(t, i, spent);
            }
        });
    }
    for (std::thread& t : running) {
        t.join();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ztmctl::reset();
    return threads * branchesEach / seconds;
}

// Persistent puts outside a unit of work per second, `threads` threads side
// by side (each its own connection), with a fresh state directory.
double persistentPutsPerSecond(const std::string& directory, int threads, int putsEach) {
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    if (!ztmctl::setStateDirectory(directory)) {
        std::fprintf(stderr, "state directory refused: %s\n", directory.c_str());
        std::exit(1);
    }
    std::vector<std::thread> running;
    const auto t0 = std::chrono::steady_clock::now();
    for (int t = 0; t < threads; t++) {
        running.emplace_back([putsEach] {
            ZTLONG hconn = 0, hobj = 0, cc = 0, rc = 0;
            connectAndOpenForOutput(hconn, hobj, cc, rc);
            std::vector<char> data(1024, 'x');
            for (int i = 0; i < putsEach && cc == 0; i++) {
                ZTMD md{};
                std::memcpy(md.eyeCatcher, ZTMD_EYE_CATCHER, 4);
                md.version = 1;
                md.persistence = ZTPER_PERSISTENT;
                ZTPMO pmo{};
                std::memcpy(pmo.eyeCatcher, ZTPMO_EYE_CATCHER, 4);
                pmo.version = 1;
                pmo.options = ZTPMO_NO_SYNCPOINT;
                ZTPUT(hconn, hobj, &md, &pmo, static_cast<ZTLONG>(data.size()), data.data(), &cc,
                      &rc);
            }
            if (cc != 0) {
                std::fprintf(stderr, "persistent put failed: %d %d\n", static_cast<int>(cc),
                             static_cast<int>(rc));
                std::exit(1);
            }
            ZTDISC(&hconn, &cc, &rc);
        });
    }
    for (std::thread& t : running) {
        t.join();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ztmctl::setStateDirectory("");
    return threads * putsEach / seconds;
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
    const bool putsOnly = argc > 2 && std::string(argv[2]) == "puts";
    std::vector<double> one, eight;
    for (int run = 0; run < 3; run++) {
        one.push_back(persistentPutsPerSecond(std::string(dir) + "/puts", 1, 300));
        eight.push_back(persistentPutsPerSecond(std::string(dir) + "/puts", 8, 150));
    }
    std::printf("  %-44s %10.0f /s\n", "persistent puts, 1 thread (1 KiB, kept)", median(one));
    std::printf("  %-44s %10.0f /s\n", "persistent puts, 8 threads (1 KiB, kept)", median(eight));
    if (FILE* f = std::fopen((out + "/persistent_puts.csv").c_str(), "w")) {
        std::fprintf(f, "threads,puts_per_s\n1,%.0f\n8,%.0f\n", median(one), median(eight));
        std::fclose(f);
    }
    if (putsOnly) {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        return 0;
    }
    const int branches = 200;
    std::vector<double> memory, disk;
    for (int run = 0; run < 5; run++) {
        memory.push_back(microsPerPrepare("QM1", branches));
        disk.push_back(microsPerPrepare(std::string("QM1;state=") + dir, branches));
        ztmctl::setRecording(false);
    }
    std::printf("  %-44s %10.1f us\n", "prepare, branches in memory only", median(memory));
    std::printf("  %-44s %10.1f us\n", "prepare, kept in the state directory (SQLite)", median(disk));
    std::vector<double> memoryRate, diskRate;
    for (int run = 0; run < 3; run++) {
        memoryRate.push_back(transactionsPerSecond("QM1", 8, 2000));
        diskRate.push_back(transactionsPerSecond(std::string("QM1;state=") + dir, 8, 100));
    }
    std::printf("  %-44s %10.0f /s\n", "8 threads, two-phase, in memory only", median(memoryRate));
    std::printf("  %-44s %10.0f /s\n", "8 threads, two-phase, state directory", median(diskRate));
    if (FILE* f = std::fopen((out + "/prepare.csv").c_str(), "w")) {
        std::fprintf(f, "store,us_per_prepare,tx_per_s_8_threads\nmemory,%.1f,%.0f\nstate_directory,%.1f,%.0f\n",
                     median(memory), median(memoryRate), median(disk), median(diskRate));
        std::fclose(f);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
