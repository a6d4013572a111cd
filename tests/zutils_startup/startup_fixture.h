// Shared set-up of the start-up tests: a scratch folder as the current
// directory, no installation variables, the exit path turned into an
// exception, and fresh message and store state.
#pragma once

#include <Lmr_Zutils/pt_alias.h>
#include <Lmr_Zutils/pt_msg.h>
#include <Lmr_Zutils/pt_start.h>
#include <Lmr_Zutils/vm_store.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *v : {"MORVANE", "MYMORVANE"}) {
            const char *old = std::getenv(v);
            saved.push_back({v, old ? std::optional<std::string>(old) : std::nullopt});
            unsetenv(v);
        }
        home = std::filesystem::current_path();
        dir = std::filesystem::temp_directory_path() /
              ("zstart_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        pt_reset_messages();
        pt_set_exit_hook(pt_throw_exit_request);
        vm_init();
    }
    void TearDown() override
    {
        if (Environ)
            pt_main2(0);
        vm_init();
        pt_set_exit_hook(nullptr);
        std::filesystem::current_path(home);
        std::filesystem::remove_all(dir);
        for (auto &[name, value] : saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

    static void write_text(const std::string &path, const std::string &text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string text_of(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The value of an alias as a string (pt_get_alias releases nothing itself).
    static std::string alias(const char *name)
    {
        char *v = pt_get_alias(name);
        std::string s = v ? v : "<nothing>";
        std::free(v);
        return s;
    }
    static std::string nth(const char *name, int n)
    {
        char *v = pt_get_nth_alias(name, n);
        std::string s = v ? v : "<nothing>";
        std::free(v);
        return s;
    }
    // Runs pt_main1 on a list of words; keeps its console text in `output`.
    int start(std::vector<std::string> words)
    {
        words.insert(words.begin(), "tool");
        args = words;
        pointers.clear();
        for (std::string &w : args)
            pointers.push_back(w.data());
        pointers.push_back(nullptr);
        argc = static_cast<int>(args.size());
        argv = pointers.data();
        testing::internal::CaptureStdout();
        const int status = pt_main1("Title line", "Second line", &argc, &argv);
        output = testing::internal::GetCapturedStdout();
        return status;
    }

    std::filesystem::path home, dir;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    std::vector<std::string> args;
    std::vector<char *> pointers;
    int argc = 0;
    char **argv = nullptr;
    std::string output;
};
