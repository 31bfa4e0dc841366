// Runs the real entry C (TestContinuousInput) on the virtual console with the
// simulated board at 1,000,000 scans a second with saving, and reports:
//   - the CPU time of the whole process (acquisition, writer and simulated
//     board) per second of data;
//   - the writer's throughput (bytes over the time spent in its file writes)
//     against dd writing the same bytes, in blocks of the same size and
//     without fsync like the writer, to the same directory in the same run.
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
#include <string>
#include <thread>

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
double RunDd(const fs::path &file, uint64_t blockBytes, uint64_t blocks) {
    const std::string command = "LC_ALL=C dd if=/dev/zero of='" + file.string() + "' bs=" +
                                std::to_string(blockBytes) + " count=" + std::to_string(blocks) + " 2>&1";
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
    return seconds;
}

void Fail(const char *what) {
    std::fprintf(stderr, "acquisition_bench: %s\n%s\n", what, vcon::Screen().c_str());
}

// Opens the simulated board as the program does after the board choice.
bool OpenBoard() {
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
    return ApiStatus == 0;
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
    fs::current_path(runDir);

    if (!OpenBoard()) {
        Fail("no simulated board");
        return 1;
    }
    std::thread program([] { TestContinuousInput(); });
    bool ok = vcon::SendLine(std::to_string(kRate)) && vcon::SendLine(std::to_string(seconds));
    const double cpuStart = CpuSeconds();
    const double wallStart = Now();
    ok = ok && vcon::SendKey('Y');
    ok = ok && vcon::WaitText("Data Collection Done", 19, 2, static_cast<uint32_t>(seconds + 60) * 1000);
    const double cpu = CpuSeconds() - cpuStart;
    const double wall = Now() - wallStart;
    if (!ok) Fail("the run did not complete");
    vcon::SendKey(' ');
    program.join();
    int32_t status = 0;
    Tavo_Close_Handle(1, &status);
    fs::current_path(previous);
    if (!ok) return 1;

    uint64_t writtenBytes = 0;
    uint64_t writeNanoseconds = 0;
    DiskWriterWriteStats(&writtenBytes, &writeNanoseconds);
    const uint64_t buffers = static_cast<uint64_t>(seconds) + 1;
    const double dataSeconds = static_cast<double>(buffers * kBufferWords) / (kRate * 4.0);
    const uint64_t blockBytes = kBufferWords * 4;
    const double ddSeconds = RunDd(dir / "dd.bin", blockBytes, buffers);
    const double writerMBps = writtenBytes / 1e6 / (writeNanoseconds / 1e9);
    const double ddMBps = static_cast<double>(blockBytes * buffers) / 1e6 / ddSeconds;

    std::printf("entry C at %d scans/s with saving: %llu buffers, %.2f s of data, %.2f s wall\n", kRate,
                static_cast<unsigned long long>(buffers), dataSeconds, wall);
    std::printf("  board overflow: %llu words lost\n", static_cast<unsigned long long>(KSim_OverflowCount(0)));
    std::printf("  CPU time, whole process: %.3f s = %.1f%% of one core per second of data (target < 25%%)\n",
                cpu, 100.0 * cpu / dataSeconds);
    std::printf("  writer: %.1f MB in %.3f s of file writes = %.0f MB/s\n", writtenBytes / 1e6,
                writeNanoseconds / 1e9, writerMBps);
    if (ddSeconds > 0) {
        std::printf("  dd, %llu blocks of %llu bytes, no fsync, same directory: %.3f s = %.0f MB/s\n",
                    static_cast<unsigned long long>(buffers), static_cast<unsigned long long>(blockBytes),
                    ddSeconds, ddMBps);
        std::printf("  writer / dd: %.0f%% (target >= 80%%)\n", 100.0 * writerMBps / ddMBps);
    } else {
        std::printf("  dd failed\n");
    }
    std::error_code ignored;
    fs::remove_all(runDir, ignored);
    fs::remove(dir / "dd.bin", ignored);
    if (ownDir) fs::remove_all(dir, ignored);
    return 0;
}
