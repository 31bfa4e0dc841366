// Menu entry C: continuous acquisition of input channels 0 to 3 by interrupt
// and DMA into two one-second buffers, counted on the screen or streamed to
// the data files through the disk writer thread (disk_writer.cpp).
#include <cstdlib>

#include "disk_writer.h"
#include "os_disk.h"
#include "os_sync.h"
#include "probe.h"

namespace {

constexpr int32_t RATE_MIN = 1024;
constexpr int32_t RATE_MAX = 1000000;
constexpr uint32_t SCAN_WORDS = 4;       // a scan of channels 0 to 3
constexpr uint32_t BLOCK_WORDS = 4096;   // one interrupt, one DMA transfer
constexpr uint32_t DMA_CHANNEL = 0;
// INT_B = 1: an interrupt each time the input buffer reaches IN_THRESHOLD.
constexpr uint32_t THRESHOLD_INTERRUPT = TAVO_FIELD_PREP(INT_B, INT_SOURCE_THRESHOLD);
constexpr uint32_t INTERRUPT_TIMEOUT_MS = 2000;
constexpr uint32_t INIT_SETTLE_MS = 20;
constexpr uint32_t STOP_SETTLE_MS = 150;
constexpr uint16_t STATUS_ROW = 19;
constexpr uint16_t PROGRESS_COL = 7;
constexpr uint16_t PROGRESS_ROW = 4;
constexpr uint32_t PROGRESS_STEP = 64;
constexpr uint32_t PROGRESS_WRAP = 3968;  // blank the progress line every 64 blocks
constexpr double WORDS_PER_MSAMPLE = 1000000.0;
constexpr double BYTES_PER_MBYTE = 1000000.0;
// The data files go to the current directory; its file system is the one
// that must have room for them.
constexpr const char *DATA_DIRECTORY = ".";

// The operator's entries and the sizes that follow from them.
struct RunPlan {
    int32_t rate;            // scans per second
    int32_t seconds;         // collection time S
    bool save;
    uint32_t divisor;        // RATE_DIV
    uint32_t wordsPerSecond; // W: the size of each buffer
    uint32_t blocksPerBuffer;// K
    uint32_t bufferWords;    // H = K blocks, handed off per filled buffer
    double bytesToStore;     // T, for the disk check and the file plan
};

uint32_t Board() { return static_cast<uint32_t>(BoardNum); }

// After a refused entry: a key, then the dialogue again on a clear screen.
void AskAgain() {
    PressAnyKey();
    FlushKeys();
    ClearScreen();
    GotoXY(ScreenCol, ScreenRow);
}

// Reads rate, collection time and the save answer. False when an entry was
// refused; the screen is then ready for the rate again.
bool ReadEntries(RunPlan *plan) {
    ConPrint("Please enter the sample rate (Hz)... ");
    int32_t rate = 0;
    const bool rateRead = ReadDecimal(&rate);
    FlushKeys();
    if (!rateRead) {
        ConPrint("\n  Invalid Entry - please enter a whole number");
        AskAgain();
        return false;
    }
    if (static_cast<uint32_t>(rate) - static_cast<uint32_t>(RATE_MIN) >
        static_cast<uint32_t>(RATE_MAX - RATE_MIN)) {
        ConPrint("\n  Invalid Rate %ld (1024 Min : 1000000 Max)", static_cast<long>(rate));
        AskAgain();
        return false;
    }
    NextLine();
    ConPrint("Please enter the desired collection time (Sec)... ");
    int32_t seconds = 0;
    const bool secondsRead = ReadDecimal(&seconds);
    FlushKeys();
    if (!secondsRead) {
        ConPrint("\n  Invalid Entry - please enter a whole number");
        AskAgain();
        return false;
    }
    if (seconds < 0) {
        ConPrint("\n  Invalid Collection Time %ld (0 Min)", static_cast<long>(seconds));
        AskAgain();
        return false;
    }
    NextLine();
    LastKey = static_cast<char>(PromptKey("Write data to Disk ? Y or N"));
    FlushKeys();

    plan->rate = rate;
    plan->seconds = seconds;
    plan->save = LastKey == 'Y';
    plan->divisor = TAVO_RATE_CLOCK_HZ / static_cast<uint32_t>(rate);
    plan->wordsPerSecond = static_cast<uint32_t>(rate) * SCAN_WORDS;
    plan->blocksPerBuffer = plan->wordsPerSecond / BLOCK_WORDS;
    plan->bufferWords = plan->blocksPerBuffer * BLOCK_WORDS;
    plan->bytesToStore = static_cast<double>(seconds) * plan->wordsPerSecond * sizeof(uint32_t);
    return true;
}

// Four-channel scans at the plan's rate, an interrupt every block.
void SetUpBoard(const RunPlan &plan) {
    Tavo_Initialize(Board(), &ApiStatus);
    Pause(INIT_SETTLE_MS);
    WriteReg(SCAN_CNTRL, ReadReg(SCAN_CNTRL) & ~SCAN_SIZE_GROUP);
    WriteReg(RATE_A, plan.divisor);
    WriteReg(IN_CNTRL, TAVO_FIELD_PREP(IN_THRESHOLD, BLOCK_WORDS));
}

enum DiskCheck { DISK_ROOM, DISK_SHORT, DISK_UNKNOWN };

DiskCheck CheckDiskSpace(const RunPlan &plan) {
    uint64_t available = 0;
    if (!OsDiskFreeBytes(DATA_DIRECTORY, &available)) {
        ConPrint("\n  Unable to determine available disk space\n  Cannot continue");
        PressAnyKey();
        FlushKeys();
        return DISK_UNKNOWN;
    }
    if (available < static_cast<uint64_t>(plan.bytesToStore)) {
        ConPrint("\n  Not Enough Disk Space for %.1lf MBytes", plan.bytesToStore / BYTES_PER_MBYTE);
        GotoXY(ScreenCol, ScreenRow);
        AskAgain();
        return DISK_SHORT;
    }
    return DISK_ROOM;
}

void ReleaseBuffers() {
    std::free(InBufA.exchange(nullptr));
    std::free(InBufB.exchange(nullptr));
    std::free(SaveBuf.exchange(nullptr));
}

// InBufA, InBufB and SaveBuf, zero-filled, in that order; false at the first
// that cannot be had.
bool ObtainBuffers(uint32_t words) {
    std::atomic<uint32_t *> *buffers[] = {&InBufA, &InBufB, &SaveBuf};
    for (std::atomic<uint32_t *> *buffer : buffers) {
        auto *block = static_cast<uint32_t *>(std::calloc(words, sizeof(uint32_t)));
        if (block == nullptr) return false;
        buffer->store(block);
    }
    return true;
}

// Interrupt, notification and DMA channel for the run. On failure whatever
// of it succeeded is undone and false returned.
bool ArmBoard(NotifyRecord *notify) {
    int32_t status = 0;
    Tavo_EnableInterrupt(Board(), THRESHOLD_INTERRUPT, TAVO_INT_KIND_LOCAL, &status);
    const int32_t registered =
        Tavo_Register_Interrupt_Notify(Board(), notify, THRESHOLD_INTERRUPT, TAVO_INT_KIND_LOCAL, &status);
    const int32_t opened = Tavo_Open_DMA_Channel(Board(), DMA_CHANNEL, &status);
    if (status == 0) return true;
    ApiStatus = status;
    if (opened == ApiSuccess) Tavo_Close_DMA_Channel(Board(), DMA_CHANNEL, &ApiStatus);
    if (registered == ApiSuccess) Tavo_Cancel_Interrupt_Notify(Board(), notify, &ApiStatus);
    Tavo_DisableInterrupt(Board(), THRESHOLD_INTERRUPT, TAVO_INT_KIND_LOCAL, &ApiStatus);
    return false;
}

void RunAcquisition(const RunPlan &plan, OsEvent event) {
    ClearScreen();
    ScreenCol = 2;
    ScreenRow = 3;
    GotoXY(2, 2);
    ConPrint("Continuous Data (to Disk) for %ld seconds:", static_cast<long>(plan.seconds));
    GotoXY(ScreenCol, STATUS_ROW);
    ConPrint("%-57s", "Performing AutoCalibration");
    RunAutocal();

    WriteReg(RATE_A, plan.divisor | RATE_DISABLE);
    Tavo_Clear_Input_Buffer(Board(), &ApiStatus);
    GotoXY(ScreenCol, STATUS_ROW);

    OsSetCurrentThreadPriority(OS_PRIORITY_TIME_CRITICAL);
    double bytesToStore = plan.bytesToStore;
    OsThread writer = nullptr;
    if (plan.save) {
        writer = StartDiskWriter(&bytesToStore);
        if (writer == nullptr) {
            ConPrint("\nThread Aborted - Cannot continue");
            OsSetCurrentThreadPriority(OS_PRIORITY_NORMAL);
            PressAnyKey();
            OsCloseEvent(event);
            ReleaseBuffers();
            FlushKeys();
            return;
        }
    } else {
        WriterRun.store(0);
    }

    NotifyRecord notify{};
    notify.Event = OsEventToRecord(event);
    if (!ArmBoard(&notify)) {
        ConPrint("Error Opening DMA Channel 0\n");
        StopDiskWriter(writer);
        OsSetCurrentThreadPriority(OS_PRIORITY_NORMAL);
        PressAnyKey();
        OsCloseEvent(event);
        ReleaseBuffers();
        return;
    }

    bool ok = true;
    bool targetB = false;  // DMA fills InBufA first
    uint32_t blocks = 0;   // in the current buffer
    uint32_t offset = 0;   // words in the current buffer
    uint32_t seconds = 0;  // buffers filled
    uint32_t progress = 0;
    uint32_t dmaFailures = 0;
    double blocksMoved = 0;
    const auto lastSecond = static_cast<uint32_t>(plan.seconds);
    GotoXY(ScreenCol, STATUS_ROW);
    ConPrint("%-56s", "Data Collection Started");
    GotoXY(PROGRESS_COL, PROGRESS_ROW);
    WriteReg(RATE_A, ReadReg(RATE_A) & ~RATE_DISABLE);

    while (seconds <= lastSecond && ok) {
        if (OsWaitEvent(event, INTERRUPT_TIMEOUT_MS) != OS_WAIT_SIGNALLED) {
            ConPrint("\nError... Interrupt Timeout\n");
            StopDiskWriter(writer);
            writer = nullptr;
            ok = false;
            break;
        }
        uint32_t *target = (targetB ? InBufB : InBufA).load(std::memory_order_relaxed) + offset;
        if (Tavo_DMA_FROM_Buffer(Board(), DMA_CHANNEL, BLOCK_WORDS, target, &ApiStatus) == BLOCK_WORDS) {
            blocksMoved += 1;
        } else {
            ++dmaFailures;
        }
        if (progress > PROGRESS_WRAP) {
            progress = 0;
            GotoXY(PROGRESS_COL, PROGRESS_ROW);
            ConPrint("%22s", "");
            GotoXY(PROGRESS_COL, PROGRESS_ROW);
        }
        ++blocks;
        offset += BLOCK_WORDS;
        if (blocks == plan.blocksPerBuffer) {
            if (plan.save) {
                switch (HandOffBuffer(targetB, plan.bufferWords)) {
                case HANDOFF_DONE:
                    break;
                case HANDOFF_TOO_SLOW:
                    // The buffer just filled still reaches the files; the
                    // run ends here rather than overwrite one not yet taken.
                    ConPrint("Not fast enough - exiting");
                    StopDiskWriter(writer);
                    writer = nullptr;
                    seconds = lastSecond;
                    break;
                case HANDOFF_WRITER_ENDED:
                    // The writer has reported its failed write.
                    seconds = lastSecond;
                    break;
                }
                targetB = !targetB;
            } else {
                ConPrint("*");
            }
            blocks = 0;
            offset = 0;
            ++seconds;
        }
        progress += PROGRESS_STEP;
    }

    OsSetCurrentThreadPriority(OS_PRIORITY_NORMAL);
    StopDiskWriter(writer);
    if (ok && !plan.save) {
        ConPrint("\n  %.1lfMSamples Collected\n", blocksMoved * BLOCK_WORDS / WORDS_PER_MSAMPLE);
    }
    if (dmaFailures != 0) {
        ConPrint("\n  %lu DMA Transfers Failed\n", static_cast<unsigned long>(dmaFailures));
    }
    GotoXY(ScreenCol, STATUS_ROW);
    ConPrint("%-53s\n", "Data Collection Done");
    WriteReg(RATE_A, plan.divisor | RATE_DISABLE);
    Tavo_Cancel_Interrupt_Notify(Board(), &notify, &ApiStatus);
    Tavo_DisableInterrupt(Board(), THRESHOLD_INTERRUPT, TAVO_INT_KIND_LOCAL, &ApiStatus);
    Tavo_Close_DMA_Channel(Board(), DMA_CHANNEL, &ApiStatus);
    Pause(STOP_SETTLE_MS);
    Tavo_Initialize(Board(), &ApiStatus);
    ReleaseBuffers();
    OsCloseEvent(event);
    PressAnyKey();
    FlushKeys();
}

}  // namespace

void TestContinuousInput() {
    ClearScreen();
    ScreenCol = 2;
    ScreenRow = 3;
    GotoXY(2, 2);
    ConPrint("Continuous Data (to Disk):");
    NextLine();
    NextLine();
    FlushKeys();

    RunPlan plan{};
    OsEvent event = nullptr;
    for (;;) {
        if (!ReadEntries(&plan)) continue;
        SetUpBoard(plan);
        if (plan.save) {
            const DiskCheck disk = CheckDiskSpace(plan);
            if (disk == DISK_UNKNOWN) return;
            if (disk == DISK_SHORT) continue;
        }
        event = OsCreateEvent();
        if (event == nullptr) {
            ConPrint("Insufficent Resources    ...");
            PressAnyKey();
            return;
        }
        if (ObtainBuffers(plan.wordsPerSecond)) break;
        ConPrint("\n  Not Enough Memory for %ld Bytes",
                 static_cast<long>(plan.wordsPerSecond * sizeof(uint32_t)));
        GotoXY(ScreenCol, ScreenRow);
        PressAnyKey();
        FlushKeys();
        OsCloseEvent(event);
        ReleaseBuffers();
        ClearScreen();
        GotoXY(ScreenCol, ScreenRow);
    }
    RunAcquisition(plan, event);
}
