// The disk writer of continuous acquisition (menu entry C): the thread that
// appends handed-off acquisition buffers to the data files "TavoData%04d.txt",
// the variables through which the acquisition hands buffers to it, and the
// acquisition side of that hand-off.
//
// Hand-off: the acquisition fills InBufA and InBufB in turn, one second of
// data each. A buffer is handed off by storing its word count in FillCountA
// (FillCountB) and then clearing CopyDoneA (CopyDoneB) with release order;
// the writer takes it by copying it into SaveBuf (and appending it to the
// data files, piece by piece) and sets the flag back to 1 with release order
// once the last piece is copied. CopyDoneA is therefore 0 from the hand-off
// until the copy is complete, and the acquisition refills a buffer only after
// seeing its flag at 1. The writer takes buffers strictly in the order handed off
// (A, B, A, ...) and, once told to stop, still writes every buffer handed to
// it before it closes the files.
#pragma once

#include <atomic>
#include <cstdint>

#include "os_sync.h"

// --- Hand-off variables --------------------------------------------------------
// Pointers: set by the acquisition before the writer starts, released only
// after the writer has ended.
extern std::atomic<uint32_t *> InBufA;
extern std::atomic<uint32_t *> InBufB;
extern std::atomic<uint32_t *> SaveBuf;
// Words of InBufA (InBufB) in its latest hand-off; written by the acquisition.
extern std::atomic<uint32_t> FillCountA;
extern std::atomic<uint32_t> FillCountB;
// 0 while a handed-off InBufA (InBufB) waits for the writer or is being copied.
extern std::atomic<int32_t> CopyDoneA;
extern std::atomic<int32_t> CopyDoneB;
// 1 while the writer is to go on; written by the acquisition.
extern std::atomic<uint8_t> WriterRun;
// 1 from the moment the writer has opened all its files until it has closed
// them and printed its count.
extern std::atomic<uint8_t> WriterReady;

// --- The data files ---------------------------------------------------------------
constexpr uint32_t DATA_FILE_WORD_LIMIT = 750000000u;  // words before moving to the next file
constexpr uint32_t DATA_FILE_MAX = 1024u;              // files a run may use
constexpr const char *DATA_FILE_NAME = "TavoData%04d.txt";
constexpr uint32_t DATA_FILE_WRITE_WORDS = 262144;     // words per write call (1 MiB)

// Number of data files for a run that is to store `bytes` bytes: 1 + the whole
// part of bytes / (4 * word limit), at most the file maximum.
uint32_t DataFileCount(double bytes);

// Replaces the word limit per file and the file maximum for the writers
// started from now on (0 keeps the default). For tests, which cannot write
// gigabytes to see a file roll over.
void DiskWriterSetFileLimits(uint32_t wordsPerFile, uint32_t maxFiles);

// Bytes the last writer wrote and the time it spent in its file writes.
void DiskWriterWriteStats(uint64_t *bytes, uint64_t *nanoseconds);

// --- The writer thread ----------------------------------------------------------------
// Thread entry; `parameter` points to a double, the bytes the run is to
// store, read once at the start. Returns 0.
uint32_t DiskWriterThread(void *parameter);

// --- Acquisition side -------------------------------------------------------------------
// Starts the writer (WriterRun 1, fill counts 0, lowest priority) and waits
// until it is ready. nullptr when it ended first or could not be created.
// `bytesToStore` must outlive the wait.
OsThread StartDiskWriter(double *bytesToStore);

enum HandOffResult {
    HANDOFF_DONE,         // handed off; the other buffer may be refilled
    HANDOFF_TOO_SLOW,     // handed off, but the writer has not yet taken the other buffer
    HANDOFF_WRITER_ENDED  // the writer has ended (a write failed); nothing handed off
};
// Hands InBufA (bufferB false) or InBufB to the writer with `words` words.
HandOffResult HandOffBuffer(bool bufferB, uint32_t words);

// Tells the writer to stop, waits until it has written what it was handed,
// closed its files and printed its count, and releases the thread.
void StopDiskWriter(OsThread thread);
