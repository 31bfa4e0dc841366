// Fixture of the entry-C program tests: the real TestContinuousInput on the
// virtual console with the simulated board, run in a scratch directory.
#pragma once

#include <cstdio>
#include <string>

#include "acquisition_support.h"
#include "disk_writer.h"
#include "probe_fixture.h"

class ContinuousInputTest : public ProbeTest {
protected:
    void SetUp() override {
        ProbeTest::SetUp();
        OpenBoard();
    }
    void TearDown() override {
        ProbeTest::TearDown();
        DiskWriterSetFileLimits(0, 0);
    }

    // Starts entry C and answers its dialogue.
    void Enter(const std::string &rate, const std::string &seconds, char save) {
        Run([] { TestContinuousInput(); });
        ASSERT_TRUE(Line(rate)) << vcon::Screen();
        ASSERT_TRUE(Line(seconds)) << vcon::Screen();
        Save(save);
    }
    // Answers the save prompt once it is up: the program flushes pending keys
    // after the time entry, and a key typed then would be lost.
    void Save(char answer) {
        ASSERT_TRUE(WaitText("Write data to Disk ? Y or N")) << vcon::Screen();
        ASSERT_TRUE(Key(answer)) << vcon::Screen();
    }
    // Waits for the end of the run, answers its last prompt and waits for the
    // return to the menu.
    void Done(uint32_t timeoutMs = 30000) {
        ASSERT_TRUE(WaitText("Data Collection Done", 19, 2, timeoutMs)) << vcon::Screen();
        ASSERT_TRUE(Key(' '));
        ASSERT_TRUE(Finish());
    }
    static bool Printed(const std::string &text) {
        return vcon::DirectText().find(text) != std::string::npos;
    }
    static std::string WrittenLine(double words) {
        char line[96];
        std::snprintf(line, sizeof line, "\n  %.1f Samples successfully written ..   \n", words);
        return line;
    }

    acq::ScratchDir dir_;
};
