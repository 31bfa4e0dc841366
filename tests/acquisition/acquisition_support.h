// Helpers of the acquisition tests: a scratch directory to run in (the data
// files go to the current directory), reading the data files back, and the
// words the simulated board's counting source delivers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "disk_writer.h"
#include "tavocore_regs.h"

namespace acq {

namespace fs = std::filesystem;

#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif
#else
constexpr bool kThreadSanitizer = false;
#endif

// A fresh directory made current for the life of the object, then removed
// with everything in it.
class ScratchDir {
public:
    ScratchDir() : previous_(fs::current_path()) {
        static int serial = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = fs::temp_directory_path() /
                ("ovrin-acq-" + std::to_string(stamp) + "-" + std::to_string(++serial));
        fs::create_directories(path_);
        fs::current_path(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
        fs::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const fs::path &Path() const { return path_; }

private:
    fs::path previous_;
    fs::path path_;
};

inline std::string DataFile(int index) {
    char name[32];
    std::snprintf(name, sizeof name, DATA_FILE_NAME, index);
    return name;
}

inline uint64_t FileWords(int index) { return fs::file_size(DataFile(index)) / sizeof(uint32_t); }

inline std::vector<uint32_t> ReadWords(const std::string &name) {
    std::ifstream in(name, std::ios::binary);
    std::vector<uint32_t> words(fs::file_size(name) / sizeof(uint32_t));
    in.read(reinterpret_cast<char *>(words.data()),
            static_cast<std::streamsize>(words.size() * sizeof(uint32_t)));
    return words;
}

// Feeds the data files 0, 1, ... (as far as they exist) to `sink` in chunks,
// in order; returns the number of words. Bytes are taken as little-endian
// words, the file format.
inline uint64_t StreamDataFiles(const std::function<void(const uint32_t *, size_t)> &sink) {
    uint64_t total = 0;
    std::vector<unsigned char> bytes(1 << 22);
    std::vector<uint32_t> words(bytes.size() / 4);
    for (int index = 0; fs::exists(DataFile(index)); ++index) {
        std::ifstream in(DataFile(index), std::ios::binary);
        while (in) {
            in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            const auto got = static_cast<size_t>(in.gcount());
            EXPECT_EQ(got % 4, 0u) << DataFile(index) << " ends inside a word";
            for (size_t i = 0; i + 3 < got; i += 4) {
                words[i / 4] = uint32_t{bytes[i]} | uint32_t{bytes[i + 1]} << 8 |
                               uint32_t{bytes[i + 2]} << 16 | uint32_t{bytes[i + 3]} << 24;
            }
            sink(words.data(), got / 4);
            total += got / 4;
        }
    }
    return total;
}

// The word of `channel` (0 to 3) in scan number `scan` from the counting
// source: twelve bits of the scan count per channel, channel 0 the lowest,
// FIRST_CHAN on channel 0.
inline uint32_t CountingWord(uint64_t scan, uint32_t channel) {
    const auto code = static_cast<uint32_t>((scan >> (12 * channel)) & IN_SAMPLE_MASK);
    return channel == 0 ? (code | FIRST_CHAN) : code;
}

// Checks a stream of words against the counting source from scan 0 on and
// stops at the first word out of place (one failure, not millions).
class CountingCheck {
public:
    void operator()(const uint32_t *words, size_t count) {
        for (size_t i = 0; i < count && ok_; ++i, ++position_) {
            const uint32_t expected = CountingWord(position_ / 4, static_cast<uint32_t>(position_ % 4));
            if (words[i] != expected) {
                ADD_FAILURE() << "word " << position_ << " (scan " << position_ / 4 << ", channel "
                              << position_ % 4 << ") is 0x" << std::hex << words[i] << ", expected 0x"
                              << expected;
                ok_ = false;
            }
        }
    }
    bool Ok() const { return ok_; }

private:
    uint64_t position_ = 0;
    bool ok_ = true;
};

// Waits for a condition that another thread makes true; false on time-out.
inline bool WaitUntil(const std::function<bool()> &condition, uint32_t timeoutMs = 30000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace acq
