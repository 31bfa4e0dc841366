// Entry C against data files that misbehave, made from POSIX file-system
// objects: a pipe that nobody reads (a writer that falls behind) and the
// full device (a write that fails).
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

#include "acquisition_fixture.h"

namespace {

namespace fs = std::filesystem;

// Reads the pipe until its last writer has closed it; false on time-out.
bool ReadUntilClosed(int fd, std::vector<unsigned char> *bytes) {
    unsigned char chunk[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 60000) <= 0) return false;
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got == 0) return true;
        if (got > 0) bytes->insert(bytes->end(), chunk, chunk + got);
    }
}

TEST_F(ContinuousInputTest, AWriterThatFallsBehindIsReportedAndLosesNothing) {
    KSim_SetCountingSource(0, 1);
    // The data file is a pipe of the smallest size: the writer's first write
    // blocks until the test reads, so it cannot take the next buffer in time.
    ASSERT_EQ(mkfifo(acq::DataFile(0).c_str(), 0600), 0);
    const int fifo = open(acq::DataFile(0).c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifo, 0);
    fcntl(fifo, F_SETPIPE_SZ, 4096);

    Enter("1024", "10", 'Y');
    EXPECT_TRUE(WaitText("Not fast enough - exiting")) << vcon::Screen();
    std::vector<unsigned char> bytes;
    EXPECT_TRUE(ReadUntilClosed(fifo, &bytes));
    close(fifo);
    Done();

    // Every buffer handed off reached the file, the one the writer was late
    // for and the last one included, in order and counted.
    ASSERT_EQ(bytes.size() % 4, 0u);
    const size_t words = bytes.size() / 4;
    EXPECT_GE(words, 2u * 4096) << "the late buffer and the one after it";
    EXPECT_EQ(words % 4096, 0u);
    acq::CountingCheck check;
    check(reinterpret_cast<const uint32_t *>(bytes.data()), words);
    EXPECT_TRUE(check.Ok());
    EXPECT_TRUE(Printed(WrittenLine(static_cast<double>(words)))) << vcon::DirectText();
}

TEST_F(ContinuousInputTest, AFailedWriteEndsTheRunAndNamesTheFile) {
    KSim_SetCountingSource(0, 1);
    DiskWriterSetFileLimits(1, 3);  // one buffer a file, three files
    fs::create_symlink("/dev/full", acq::DataFile(1));

    Enter("1024", "30", 'Y');
    EXPECT_TRUE(WaitText("Error writing file TavoData0001.txt.. Cannot continue")) << vcon::Screen();
    Done(20000);  // long before the 31 buffers of the run

    EXPECT_TRUE(Printed(WrittenLine(4096))) << "only the words that reached a file count";
    const std::vector<uint32_t> first = acq::ReadWords(acq::DataFile(0));
    EXPECT_EQ(first.size(), 4096u);
    acq::CountingCheck check;
    check(first.data(), first.size());
    EXPECT_TRUE(check.Ok());
    EXPECT_EQ(acq::FileWords(2), 0u);
}

}  // namespace
