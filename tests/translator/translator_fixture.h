// Shared set-up of the translator unit tests: process-wide state reset as
// at the start of a run, an input channel over a given text, and an output
// (and optionally a listing) channel whose bytes the test reads back.
#ifndef TRANSLATOR_FIXTURE_H
#define TRANSLATOR_FIXTURE_H

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "file_channel.h"
#include "hex_digits.h"
#include "prog_state.h"
#include "svf_lexer.h"
#include "tap_data.h"

class TranslatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        svf::initProg();
        svf::initProgVariables();
        svf::pGlobTapData = std::make_unique<svf::CTapObj>();
        svf::pFC_Output = new svf::FileChannel("out.qsvf");
        svf::pFC_Output->pFile = std::tmpfile();
        svf::pFC_List = svf::pFC_Output;
    }
    void TearDown() override {
        svf::freeMem();
        svf::freeProgMem();
        svf::pFC_Ascii = nullptr;
    }

    // The input channel reads this text (bytes as given).
    svf::FileChannel &input(const std::string &text, const std::string &name = "in.svf") {
        // One file per test process: CTest runs tests of this suite in parallel.
        std::string path = ::testing::TempDir() + "svf2qsvf_" + std::to_string(::getpid()) + "_" + name;
        std::ofstream(path, std::ios::binary) << text;
        svf::makeChannel(svf::pFC_Input, path);
        svf::pFC_Input->sName = name;
        svf::pFC_Input->pFile = std::fopen(path.c_str(), "rb");
        return *svf::pFC_Input;
    }

    void openListing() {
        svf::pFC_Ascii = new svf::FileChannel("out.lst");
        svf::pFC_Ascii->pFile = std::tmpfile();
        svf::pFC_Ascii->pNext = svf::pFC_List;
        svf::pFC_List = svf::pFC_Ascii;
    }

    static std::string readBack(svf::FileChannel *channel) {
        channel->flush();
        std::fflush(channel->pFile);
        std::rewind(channel->pFile);
        std::string data;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, channel->pFile)) > 0) data.append(buffer, n);
        std::fseek(channel->pFile, 0, SEEK_END);
        return data;
    }
    std::vector<uint8_t> outputBytes() {
        std::string data = readBack(svf::pFC_Output);
        return {data.begin(), data.end()};
    }
    std::string listing() { return readBack(svf::pFC_Ascii); }

    // Runs code that must end the run; returns what it printed on
    // standard output and checks the exit status 1.
    template <typename Code>
    std::string expectFatal(Code code) {
        ::testing::internal::CaptureStdout();
        int status = -1;
        try {
            code();
        } catch (const svf::ProgExit &exit) {
            status = exit.status;
        }
        std::fflush(stdout);
        std::string text = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 1) << text;
        return text;
    }
    template <typename Code>
    std::string captureStdout(Code code) {
        ::testing::internal::CaptureStdout();
        code();
        std::fflush(stdout);
        return ::testing::internal::GetCapturedStdout();
    }
};

#endif  // TRANSLATOR_FIXTURE_H
