// The disk writer thread driven through its hand-off, as the acquisition
// drives it, without a board: the file plan, roll-over, the contents, the
// last buffer of a run, the detection of a writer that has fallen behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition_support.h"
#include "console_virtual.h"
#include "disk_writer.h"
#include "os_disk.h"

namespace {

namespace fs = std::filesystem;

class DiskWriterTest : public ::testing::Test {
protected:
    static constexpr uint32_t kBufferWords = 8192;

    void SetUp() override {
        vcon::Reset();
        bufferA_.assign(kBufferWords, 0);
        bufferB_.assign(kBufferWords, 0);
        save_.assign(kBufferWords, 0);
        InBufA = bufferA_.data();
        InBufB = bufferB_.data();
        SaveBuf = save_.data();
    }
    void TearDown() override {
        Stop();
        DiskWriterSetFileLimits(0, 0);
        InBufA = nullptr;
        InBufB = nullptr;
        SaveBuf = nullptr;
        WriterReady = 0;
        CopyDoneA = 1;
        CopyDoneB = 1;
    }

    void Start(double bytes) {
        bytes_ = bytes;
        writer_ = StartDiskWriter(&bytes_);
        ASSERT_NE(writer_, nullptr) << vcon::DirectText();
        nextWord_ = 1;
        nextB_ = false;
    }
    void Stop() {
        StopDiskWriter(writer_);
        writer_ = nullptr;
    }
    // Fills the next buffer in turn (A, B, A, ...) with `words` words that
    // number on from the last and hands it off, once the writer has taken
    // both buffers (as a writer keeping up with the board would have).
    void Give(uint32_t words) {
        ASSERT_TRUE(acq::WaitUntil([] { return CopyDoneA.load() == 1 && CopyDoneB.load() == 1; }))
            << "the writer does not take its buffers";
        uint32_t *buffer = (nextB_ ? InBufB : InBufA).load();
        for (uint32_t i = 0; i < words; ++i) buffer[i] = nextWord_++;
        ASSERT_EQ(HandOffBuffer(nextB_, words), HANDOFF_DONE);
        nextB_ = !nextB_;
    }

    static std::string CountLine(double words) {
        char line[96];
        std::snprintf(line, sizeof line, "\n  %.1f Samples successfully written ..   \n", words);
        return line;
    }

    acq::ScratchDir dir_;
    std::vector<uint32_t> bufferA_, bufferB_, save_;
    double bytes_ = 0;
    OsThread writer_ = nullptr;
    uint32_t nextWord_ = 1;
    bool nextB_ = false;
};

TEST_F(DiskWriterTest, CreatesOneFilePerThreeGigabytesOfTheRunUpTo1024) {
    const struct {
        double bytes;
        int files;
    } cases[] = {
        {0.0, 1},
        {2999999999.0, 1},
        {3000000000.0, 2},
        {1023 * 3e9 + 1, 1024},
        {1e13, 1024},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "bytes " << c.bytes);
        acq::ScratchDir runDir;
        Start(c.bytes);
        Stop();
        EXPECT_TRUE(fs::exists(acq::DataFile(c.files - 1)));
        EXPECT_FALSE(fs::exists(acq::DataFile(c.files)));
        EXPECT_EQ(fs::file_size(acq::DataFile(0)), 0u);
        EXPECT_EQ(vcon::DirectText(), CountLine(0));
        vcon::Reset();
    }
}

TEST_F(DiskWriterTest, EmptiesTheFilesOfItsPlanAndLeavesHigherNumbersAlone) {
    for (int i = 0; i < 4; ++i) std::ofstream(acq::DataFile(i), std::ios::binary) << "old run " << i;
    Start(3e9);  // two files
    Stop();
    EXPECT_EQ(fs::file_size(acq::DataFile(0)), 0u);
    EXPECT_EQ(fs::file_size(acq::DataFile(1)), 0u);
    for (int i = 2; i < 4; ++i) {
        std::ifstream in(acq::DataFile(i), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, "old run " + std::to_string(i));
    }
}

TEST_F(DiskWriterTest, AppendsEveryBufferInOrderAcrossItsFiles) {
    const struct {
        const char *what;
        uint32_t wordLimit;
        uint32_t maxFiles;
        double bytes;
        int buffers;
        std::vector<uint64_t> fileWords;
    } cases[] = {
        {"moves on once a file is over the limit", 5000, 0, 40000, 5, {8192, 8192, 4096}},
        {"a file at the limit takes one more buffer", 8192, 0, 49152, 3, {12288, 0}},
        {"the last file of a capped plan takes the rest", 5000, 2, 40000, 5, {8192, 12288}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        acq::ScratchDir runDir;
        vcon::Reset();
        DiskWriterSetFileLimits(c.wordLimit, c.maxFiles);
        Start(c.bytes);
        for (int i = 0; i < c.buffers; ++i) Give(4096);
        // Stopped right after the last hand-off: that buffer still goes in.
        Stop();

        for (size_t f = 0; f < c.fileWords.size(); ++f) {
            EXPECT_EQ(acq::FileWords(static_cast<int>(f)), c.fileWords[f]) << acq::DataFile(static_cast<int>(f));
        }
        EXPECT_FALSE(fs::exists(acq::DataFile(static_cast<int>(c.fileWords.size()))));
        uint32_t expected = 1;
        bool inOrder = true;
        const uint64_t total = acq::StreamDataFiles([&](const uint32_t *words, size_t count) {
            for (size_t i = 0; i < count; ++i) inOrder = inOrder && words[i] == expected++;
        });
        EXPECT_TRUE(inOrder);
        EXPECT_EQ(total, 4096u * static_cast<uint64_t>(c.buffers));
        std::string marks;
        for (int i = 0; i < c.buffers; ++i) marks += i % 2 == 0 ? "*" : "+";
        EXPECT_EQ(vcon::DirectText(), marks + CountLine(static_cast<double>(total)));
    }
}

// No writer takes anything here: the hand-off alone must notice, at the
// hand-off of B, that A has not been taken, and must refuse to hand off to a
// writer that has ended.
TEST_F(DiskWriterTest, HandOffNoticesAWriterThatHasNotTakenTheOtherBuffer) {
    CopyDoneA = 1;
    CopyDoneB = 1;
    WriterReady = 1;
    EXPECT_EQ(HandOffBuffer(false, 4096), HANDOFF_DONE);
    EXPECT_EQ(HandOffBuffer(true, 4096), HANDOFF_TOO_SLOW);
    EXPECT_EQ(FillCountA.load(), 4096u) << "the buffer not taken must stay handed off";
    WriterReady = 0;
    EXPECT_EQ(HandOffBuffer(false, 4096), HANDOFF_WRITER_ENDED);
}

TEST(OsDiskFreeBytes, ReportsTheRoomOfTheDirectoryItIsGiven) {
    acq::ScratchDir dir;
    uint64_t available = 0;
    ASSERT_TRUE(OsDiskFreeBytes(".", &available));
    const uint64_t expected = fs::space(".").available;
    const uint64_t slack = uint64_t{1} << 30;  // other tests write meanwhile
    EXPECT_LT(available > expected ? available - expected : expected - available, slack)
        << available << " against " << expected;
    EXPECT_FALSE(OsDiskFreeBytes("no such directory", &available));
}

}  // namespace
