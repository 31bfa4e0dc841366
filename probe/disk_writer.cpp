// The disk writer thread of continuous acquisition and the acquisition side
// of its hand-off. See disk_writer.h for the protocol.
#include "disk_writer.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "probe.h"

std::atomic<uint32_t *> InBufA{nullptr};
std::atomic<uint32_t *> InBufB{nullptr};
std::atomic<uint32_t *> SaveBuf{nullptr};
std::atomic<uint32_t> FillCountA{0};
std::atomic<uint32_t> FillCountB{0};
std::atomic<int32_t> CopyDoneA{1};
std::atomic<int32_t> CopyDoneB{1};
std::atomic<uint8_t> WriterRun{0};
std::atomic<uint8_t> WriterReady{0};

namespace {

constexpr uint32_t WRITER_POLL_MS = 100;
constexpr uint32_t WRITER_START_MS = 300;
constexpr uint32_t WRITER_WAIT_STEP_MS = 1;
constexpr size_t FILE_NAME_SIZE = 32;

// Set by tests before a writer starts; read by the writer at its start.
uint32_t WordLimit = DATA_FILE_WORD_LIMIT;
uint32_t FileMax = DATA_FILE_MAX;

std::atomic<uint64_t> StatBytes{0};
std::atomic<uint64_t> StatNanoseconds{0};

// The writer's own state; one writer runs at a time.
FILE *DataFile;         // the file being appended to, the only one open
uint32_t FileCount;     // files of this run
uint32_t CurrentFile;   // number of DataFile
uint64_t FileWords;     // words in the current file (the last may take more than 2^32)
double WordsLeftBehind; // words in the files before the current one
bool NextIsB;           // the buffer the writer takes next

void DataFileName(char *name, uint32_t index) {
    std::snprintf(name, FILE_NAME_SIZE, DATA_FILE_NAME, static_cast<int>(index));
}

// Creates (or empties) every file of the run before any data flow, and keeps
// the first open. The others are opened one at a time as the writer moves on:
// a plan of up to 1024 files held open at once would pass the number of
// streams a process may have open (512 by default in the Windows C runtime).
bool CreateDataFiles() {
    char name[FILE_NAME_SIZE];
    for (uint32_t i = 0; i < FileCount; ++i) {
        DataFileName(name, i);
        FILE *file = std::fopen(name, "w+b");
        if (file == nullptr) {
            ConPrint("\n  Error opening file for save.. Cannot continue");
            if (DataFile != nullptr) std::fclose(DataFile);
            DataFile = nullptr;
            return false;
        }
        if (i == 0) {
            DataFile = file;
        } else {
            std::fclose(file);
        }
    }
    return true;
}

// Whole buffers go to the file in one write each; without a stdio buffer the
// count fwrite returns is what reached the file.
void Unbuffered(FILE *file) { std::setvbuf(file, nullptr, _IONBF, 0); }

// Moves on to the next data file once the current one is over the limit; the
// last file of the plan takes whatever comes after it. False when the next
// file cannot be opened.
bool NextFileIfFull() {
    if (FileWords <= WordLimit || CurrentFile + 1 >= FileCount) return true;
    std::fclose(DataFile);
    WordsLeftBehind += FileWords;
    FileWords = 0;
    ++CurrentFile;
    char name[FILE_NAME_SIZE];
    DataFileName(name, CurrentFile);
    DataFile = std::fopen(name, "r+b");  // made empty at the start of the run
    if (DataFile == nullptr) {
        ConPrint("\n  Error writing file %s.. Cannot continue", name);
        return false;
    }
    Unbuffered(DataFile);
    return true;
}

// Takes one handed-off buffer: copies its `words` words into SaveBuf and
// appends them to the data files. Copy and write go a piece of
// DATA_FILE_WRITE_WORDS at a time, each piece written while the copy has it
// in the cache; the acquisition gets the buffer back once its last piece is
// copied. Pieces also keep each write call short: one 16 MB write can keep a
// kernel without preemption busy long enough to hold off the acquisition
// thread past the board's input buffer. False when a write fell short.
bool TakeBuffer(std::atomic<int32_t> &copyDone, const uint32_t *source, uint32_t words) {
    uint32_t *save = SaveBuf.load(std::memory_order_relaxed);
    size_t written = 0;
    bool ok = NextFileIfFull();
    std::chrono::steady_clock::duration spent{};
    for (size_t at = 0; ok && at < words;) {
        const size_t piece = words - at < DATA_FILE_WRITE_WORDS ? words - at : DATA_FILE_WRITE_WORDS;
        std::memcpy(save + at, source + at, piece * sizeof(uint32_t));
        at += piece;
        if (at == words) copyDone.store(1, std::memory_order_release);
        const auto start = std::chrono::steady_clock::now();
        const size_t done = std::fwrite(save + at - piece, sizeof(uint32_t), piece, DataFile);
        spent += std::chrono::steady_clock::now() - start;
        written += done;
        ok = done == piece;
    }
    // After a failure the writer no longer touches the buffer either.
    copyDone.store(1, std::memory_order_release);
    StatNanoseconds.fetch_add(
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(spent).count()),
        std::memory_order_relaxed);
    StatBytes.fetch_add(written * sizeof(uint32_t), std::memory_order_relaxed);
    FileWords += written;
    if (ok) return true;
    if (DataFile != nullptr) {
        char name[FILE_NAME_SIZE];
        DataFileName(name, CurrentFile);
        ConPrint("\n  Error writing file %s.. Cannot continue", name);
    }
    return false;
}

// Takes every buffer handed off and not yet taken, in hand-off order. False
// when a write failed.
bool TakeHandedOff() {
    for (;;) {
        std::atomic<int32_t> &copyDone = NextIsB ? CopyDoneB : CopyDoneA;
        if (copyDone.load(std::memory_order_acquire) != 0) return true;
        const uint32_t words = (NextIsB ? FillCountB : FillCountA).load(std::memory_order_relaxed);
        const uint32_t *source = (NextIsB ? InBufB : InBufA).load(std::memory_order_relaxed);
        if (!TakeBuffer(copyDone, source, words)) return false;
        ConPrint(NextIsB ? "+" : "*");
        NextIsB = !NextIsB;
    }
}

}  // namespace

uint32_t DataFileCount(double bytes) {
    const double bytesPerFile = static_cast<double>(WordLimit) * sizeof(uint32_t);
    const double files = 1.0 + std::floor(bytes / bytesPerFile);
    return files < static_cast<double>(FileMax) ? static_cast<uint32_t>(files) : FileMax;
}

void DiskWriterSetFileLimits(uint32_t wordsPerFile, uint32_t maxFiles) {
    WordLimit = wordsPerFile != 0 ? wordsPerFile : DATA_FILE_WORD_LIMIT;
    FileMax = maxFiles != 0 && maxFiles < DATA_FILE_MAX ? maxFiles : DATA_FILE_MAX;
}

void DiskWriterWriteStats(uint64_t *bytes, uint64_t *nanoseconds) {
    *bytes = StatBytes.load(std::memory_order_relaxed);
    *nanoseconds = StatNanoseconds.load(std::memory_order_relaxed);
}

uint32_t DiskWriterThread(void *parameter) {
    const double bytesToStore = *static_cast<const double *>(parameter);
    FileCount = DataFileCount(bytesToStore);
    StatBytes.store(0, std::memory_order_relaxed);
    StatNanoseconds.store(0, std::memory_order_relaxed);
    DataFile = nullptr;
    if (!CreateDataFiles()) {
        WriterReady.store(0, std::memory_order_release);
        return 0;
    }
    Unbuffered(DataFile);
    CurrentFile = 0;
    FileWords = 0;
    WordsLeftBehind = 0;
    NextIsB = false;
    CopyDoneA.store(1, std::memory_order_relaxed);
    CopyDoneB.store(1, std::memory_order_relaxed);
    WriterReady.store(1, std::memory_order_release);

    bool writing = true;
    while (writing && WriterRun.load(std::memory_order_acquire) == 1) {
        writing = TakeHandedOff();
        if (writing) OsSleep(WRITER_POLL_MS);
    }
    // What was handed off before the stop still goes to the files.
    if (writing) TakeHandedOff();

    if (DataFile != nullptr) std::fclose(DataFile);
    DataFile = nullptr;
    ConPrint("\n  %.1lf Samples successfully written ..   \n", WordsLeftBehind + FileWords);
    WriterReady.store(0, std::memory_order_release);
    return 0;
}

OsThread StartDiskWriter(double *bytesToStore) {
    WriterReady.store(0, std::memory_order_relaxed);
    WriterRun.store(1, std::memory_order_relaxed);
    FillCountA.store(0, std::memory_order_relaxed);
    FillCountB.store(0, std::memory_order_relaxed);
    OsThread thread = OsCreateThread(DiskWriterThread, bytesToStore);
    if (thread == nullptr) {
        WriterRun.store(0, std::memory_order_relaxed);
        return nullptr;
    }
    OsSetThreadPriority(thread, OS_PRIORITY_LOWEST);
    OsSleep(WRITER_START_MS);
    while (WriterReady.load(std::memory_order_acquire) != 1) {
        OsSleep(WRITER_WAIT_STEP_MS);
        if (WriterReady.load(std::memory_order_acquire) != 1 &&
            OsGetExitCodeThread(thread) != OS_STILL_ACTIVE) {
            WriterRun.store(0, std::memory_order_relaxed);
            OsJoinThread(thread);
            return nullptr;
        }
    }
    return thread;
}

HandOffResult HandOffBuffer(bool bufferB, uint32_t words) {
    if (WriterReady.load(std::memory_order_acquire) != 1) return HANDOFF_WRITER_ENDED;
    std::atomic<uint32_t> &fill = bufferB ? FillCountB : FillCountA;
    std::atomic<uint32_t> &otherFill = bufferB ? FillCountA : FillCountB;
    std::atomic<int32_t> &copyDone = bufferB ? CopyDoneB : CopyDoneA;
    const bool otherTaken = (bufferB ? CopyDoneA : CopyDoneB).load(std::memory_order_acquire) != 0;
    fill.store(words, std::memory_order_relaxed);
    if (otherTaken) otherFill.store(0, std::memory_order_relaxed);
    // Publishes the buffer's contents and its count.
    copyDone.store(0, std::memory_order_release);
    return otherTaken ? HANDOFF_DONE : HANDOFF_TOO_SLOW;
}

void StopDiskWriter(OsThread thread) {
    if (thread == nullptr) return;
    WriterRun.store(0, std::memory_order_release);
    while (WriterReady.load(std::memory_order_acquire) == 1) OsSleep(WRITER_WAIT_STEP_MS);
    OsJoinThread(thread);
}
