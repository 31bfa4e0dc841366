// Runs the real entry C (TestContinuousInput) on the virtual console with the
// simulated board at 1,000,000 scans a second with saving, and reports:
//   - the CPU time of the whole process (acquisition, writer and simulated
//     board) per second of data;
//   - the writer's throughput (bytes over the time spent in its write calls)
//     against dd writing the same bytes, in blocks of the writer's write size
//     and without fsync like the writer, to the same directory in the same
//     run: once alone, and once at the writer's lowest priority beside a
//     second acquisition (without saving) with the board free-running, which
//     are the writer's own conditions;
//   - whether the files hold every scan: the counting source numbers each
//     scan, so a scan missing from the files shows as a jump in the numbers.
//
// Usage: acquisition_bench [--seconds S] [--dir DIRECTORY]
//   S is the collection time entered (S + 1 one-second buffers are filled;
//   default 10). DIRECTORY is where the data files and dd's file go (default
//   a fresh directory under the system's temporary directory); everything
//   written there is removed afterwards.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "console_virtual.h"
#include "disk_writer.h"
#include "korvane_sim.h"
#include "probe.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 1000000;
constexpr uint64_t kBufferWords = static_cast<uint64_t>(kRate) * 4 / 4096 * 4096;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// dd's own figure for its copy loop, in seconds; negative when it failed.
// `nice` 19 is the lowest priority, the writer's.
double RunDd(const fs::path &file, uint64_t blockBytes, uint64_t blocks, bool lowest) {
    const std::string command = std::string("LC_ALL=C ") + (lowest ? "nice -n 19 " : "") +
                                "dd if=/dev/zero of='" + file.string() + "' bs=" + std::to_string(blockBytes) +
                                " count=" + std::to_string(blocks) + " 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char line[256];
    double seconds = -1;
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        // "... bytes (...) copied, 0.0812 s, 2.0 GB/s"
        const char *copied = std::strstr(line, "copied, ");
        if (copied != nullptr) seconds = std::atof(copied + std::strlen("copied, "));
    }
    if (pclose(pipe) != 0) return -1;
    std::error_code ignored;
    fs::remove(file, ignored);
    return seconds;
}

struct FileCheck {
    uint64_t scans = 0;    // scans found in the files
    uint64_t missing = 0;  // scans skipped between them
    uint64_t broken = 0;   // scans without FIRST_CHAN on their first word
};

// Reads the data files of the current directory back in order and follows
// the counting source's scan numbers (twelve bits on each of the four
// channels).
FileCheck CheckDataFiles() {
    FileCheck check;
    std::vector<uint32_t> words(1 << 20);
    uint64_t next = 0;
    char name[32];
    for (int index = 0;; ++index) {
        std::snprintf(name, sizeof name, DATA_FILE_NAME, index);
        std::ifstream in(name, std::ios::binary);
        if (!in) break;
        while (in) {
            in.read(reinterpret_cast<char *>(words.data()), static_cast<std::streamsize>(words.size() * 4));
            const auto count = static_cast<size_t>(in.gcount()) / 4;
            for (size_t i = 0; i + 3 < count; i += 4) {
                if ((words[i] & FIRST_CHAN) == 0) ++check.broken;
                uint64_t scan = 0;
                for (uint32_t c = 0; c < 4; ++c) scan |= uint64_t{words[i + c] & IN_SAMPLE_MASK} << (12 * c);
                if (scan > next) check.missing += scan - next;
                next = scan + 1;
                ++check.scans;
            }
        }
    }
    return check;
}

struct RunFigures {
    double cpuSeconds = 0;
    double wallSeconds = 0;
};

// One run of entry C on a freshly opened simulated board, answered through
// the virtual console. `during` runs once the acquisition has started.
bool RunEntryC(int seconds, bool save, RunFigures *figures, const std::function<void()> &during) {
    KSim_Reset();
    KSim_SetTiming(0, 1, 50);
    KSim_SetCountingSource(0, 1);
    vcon::Reset();
    ApiStatus = 0;
    ScreenCol = 2;
    ScreenRow = 2;
    if (Tavo_FindBoards(BoardList, &ApiStatus) < 1) return false;
    Tavo_Get_Handle(&ApiStatus, 1);
    BoardNum = 1;
    if (ApiStatus != 0) return false;

    std::thread program([] { TestContinuousInput(); });
    // The save answer is typed once its prompt is up: the program throws
    // away keys typed before, with the time entry.
    bool ok = vcon::SendLine(std::to_string(kRate)) && vcon::SendLine(std::to_string(seconds)) &&
              vcon::WaitText("Write data to Disk ? Y or N");
    const double cpuStart = CpuSeconds();
    const double wallStart = Now();
    ok = ok && vcon::SendKey(save ? 'Y' : 'N');
    ok = ok && vcon::WaitText("Data Collection Started", 19, 2);
    if (ok && during) during();
    ok = ok && vcon::WaitText("Data Collection Done", 19, 2, static_cast<uint32_t>(seconds + 60) * 1000);
    figures->cpuSeconds = CpuSeconds() - cpuStart;
    figures->wallSeconds = Now() - wallStart;
    if (!ok) std::fprintf(stderr, "acquisition_bench: the run did not complete\n%s\n", vcon::Screen().c_str());
    vcon::SendKey(' ');
    program.join();
    int32_t status = 0;
    Tavo_Close_Handle(1, &status);
    return ok;
}

}  // namespace

int main(int argc, char **argv) {
    int seconds = 10;
    fs::path dir;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--dir") == 0) dir = argv[i + 1];
    }
    const bool ownDir = dir.empty();
    if (ownDir) dir = fs::temp_directory_path() / ("ovrin-acq-bench-" + std::to_string(getpid()));
    const fs::path runDir = dir / "run";
    fs::create_directories(runDir);
    const fs::path previous = fs::current_path();

    const uint64_t buffers = static_cast<uint64_t>(seconds) + 1;
    const double dataSeconds = static_cast<double>(buffers * kBufferWords) / (kRate * 4.0);
    // dd writes the writer's bytes in blocks of the writer's write size.
    const uint64_t blockBytes = uint64_t{DATA_FILE_WRITE_WORDS} * 4;
    const uint64_t blocks = (buffers * kBufferWords * 4 + blockBytes - 1) / blockBytes;
    const uint64_t ddBytes = blockBytes * blocks;

    fs::current_path(runDir);
    RunFigures saving;
    const bool savedOk = RunEntryC(seconds, true, &saving, nullptr);
    const FileCheck files = CheckDataFiles();
    uint64_t writtenBytes = 0;
    uint64_t writeNanoseconds = 0;
    DiskWriterWriteStats(&writtenBytes, &writeNanoseconds);
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(runDir, ignored);

    const double ddAlone = RunDd(dir / "dd.bin", blockBytes, blocks, false);
    RunFigures counting;
    double ddBeside = -1;
    const bool countedOk = RunEntryC(seconds, false, &counting,
                                     [&] { ddBeside = RunDd(dir / "dd.bin", blockBytes, blocks, true); });

    const double writerMBps = writtenBytes / 1e6 / (writeNanoseconds / 1e9);
    std::printf("entry C at %d scans/s with saving: %llu buffers, %.2f s of data, %.2f s wall%s\n", kRate,
                static_cast<unsigned long long>(buffers), dataSeconds, saving.wallSeconds,
                savedOk ? "" : " (RUN FAILED)");
    std::printf("  files: %llu scans of %llu expected, %llu missing, %llu without FIRST_CHAN\n",
                static_cast<unsigned long long>(files.scans),
                static_cast<unsigned long long>(buffers * kBufferWords / 4),
                static_cast<unsigned long long>(files.missing), static_cast<unsigned long long>(files.broken));
    std::printf("  CPU time, whole process: %.3f s = %.1f%% of one core per second of data (target < 25%%)\n",
                saving.cpuSeconds, 100.0 * saving.cpuSeconds / dataSeconds);
    std::printf("  writer, lowest priority beside the acquisition: %.1f MB in %.3f s of writes = %.0f MB/s\n",
                writtenBytes / 1e6, writeNanoseconds / 1e9, writerMBps);
    const struct {
        const char *how;
        double seconds;
    } dds[] = {{"alone", ddAlone}, {"at lowest priority beside an acquisition", countedOk ? ddBeside : -1}};
    for (const auto &dd : dds) {
        if (dd.seconds <= 0) {
            std::printf("  dd %s: failed\n", dd.how);
            continue;
        }
        const double mbps = ddBytes / 1e6 / dd.seconds;
        std::printf("  dd %s (%llu x %llu bytes, no fsync, same directory): %.3f s = %.0f MB/s; "
                    "writer / dd = %.0f%% (target >= 80%%)\n",
                    dd.how, static_cast<unsigned long long>(blocks), static_cast<unsigned long long>(blockBytes),
                    dd.seconds, mbps, 100.0 * writerMBps / mbps);
    }
    if (ownDir) fs::remove_all(dir, ignored);
    return savedOk && countedOk ? 0 : 1;
}
