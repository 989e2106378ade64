// Number formatting, stream order and the critical-error path of the log.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "dual_log.h"
#include "file_stream.h"
#include "files.h"
#include "report_lines.h"
#include "tool_runner.h"

namespace {

// Points g_log at two string streams for the duration of a test.
class DualLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = g_log;
        g_log.console = &console_;
        g_log.file = &file_;
    }
    void TearDown() override { g_log = saved_; }

    std::ostringstream console_;
    std::ostringstream file_;
    DualLog saved_;
};

TEST_F(DualLogTest, NumbersAreDecimalWithoutFill) {
    g_log << int32_t{-5} << "|" << static_cast<uint32_t>(int32_t{-5}) << "|" << int32_t{0} << "|"
          << uint32_t{0} << "|" << int32_t{2147483647} << "|" << uint32_t{4294967295u};
    EXPECT_EQ(console_.str(), "-5|4294967291|0|0|2147483647|4294967295");
    EXPECT_EQ(file_.str(), console_.str());
}

TEST_F(DualLogTest, TextAndStringsPassUnchanged) {
    g_log << "a\tb\n" << std::string("c\0d", 3) << std::endl;
    EXPECT_EQ(console_.str(), std::string("a\tb\nc\0d\n", 8));
    EXPECT_EQ(file_.str(), console_.str());
}

TEST_F(DualLogTest, ConsoleIsWrittenBeforeFileItemByItem) {
    // A stream buffer that records, into a shared journal, who got what.
    struct Journal : std::stringbuf {
        Journal(std::string& shared, char tag) : shared_(shared), tag_(tag) {}
        int overflow(int c) override {
            shared_ += tag_;
            shared_ += static_cast<char>(c);
            return c;
        }
        std::string& shared_;
        char tag_;
    };
    std::string journal;
    Journal console_buf(journal, 'C'), file_buf(journal, 'F');
    std::ostream console(&console_buf), file(&file_buf);
    g_log.console = &console;
    g_log.file = &file;
    g_log << "a" << int32_t{1};
    EXPECT_EQ(journal, "CaFaC1F1");
}

TEST_F(DualLogTest, NullStreamsAreSkipped) {
    g_log.file = nullptr;
    g_log << "only console" << std::endl;
    g_log.console = nullptr;
    g_log << "nowhere" << std::endl;
    EXPECT_EQ(console_.str(), "only console\n");
    EXPECT_EQ(file_.str(), "");
}

TEST_F(DualLogTest, FailedFileStreamLeavesConsoleComplete) {
    std::ofstream broken("/nonexistent-folder/patcher.log");
    ASSERT_FALSE(broken.is_open());
    g_log.file = &broken;
    g_log << "value " << int32_t{42} << std::endl;
    LogLine("warning");
    EXPECT_EQ(console_.str(), "value 42\nwarning\n");
}

TEST_F(DualLogTest, LogLineEndsTheMessageWithALineEnd) {
    LogLine("first");
    LogLine("second\n");
    EXPECT_EQ(console_.str(), "first\nsecond\n\n");
    EXPECT_EQ(file_.str(), console_.str());
}

TEST_F(DualLogTest, CriticalErrorReportsThenThrowsTheMessage) {
    try {
        CriticalError("can't set new size to SAVE file !");
        FAIL() << "CriticalError returned";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "can't set new size to SAVE file !");
    }
    EXPECT_EQ(console_.str(), Critical("can't set new size to SAVE file !"));
    EXPECT_EQ(file_.str(), console_.str());
}

// The log file's stream tells when part of what it was given never reached
// the file, so that the run can say so; a stream on no file has lost nothing.
TEST(FileOutputStream, TellsWhenOutputWasLost) {
    FileOutputStream none(nullptr);
    none << "dropped" << std::endl;
    EXPECT_FALSE(none.lost_output());

    TempDir dir;
    FILE* file = fopen((dir / "patcher.log").string().c_str(), "w");
    ASSERT_NE(file, nullptr);
    {
        FileOutputStream whole(file);
        whole << "kept" << std::endl;
        EXPECT_FALSE(whole.lost_output());
    }
    fclose(file);
    EXPECT_EQ(ReadFileBytes(dir / "patcher.log"), PlatformText("kept\n"));
#ifndef _WIN32
    FILE* full = fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    {
        FileOutputStream lost(full);
        lost << "a line" << std::endl;  // its flush fails: the device is full
        EXPECT_TRUE(lost.lost_output());
    }
    fclose(full);
#endif
}

}  // namespace
