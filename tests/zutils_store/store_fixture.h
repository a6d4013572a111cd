// Shared set-up of the frame store tests: a fresh store, the exit path turned
// into an exception, and a scratch folder for database files.
#pragma once

#include <Lmr_Zutils/pt_msg.h>
#include <Lmr_Zutils/vm_store.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt_reset_messages();
        pt_set_exit_hook(pt_throw_exit_request);
        vm_init();
        vm_set_write_function(nullptr);
        dir = std::filesystem::temp_directory_path() /
              ("zstore_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override
    {
        vm_set_write_function(nullptr);
        vm_init();
        pt_set_exit_hook(nullptr);
        std::filesystem::remove_all(dir);
    }
    std::string base(const char *name) const { return (dir / name).string(); }

    static std::vector<unsigned char> bytes_of(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void write_bytes(const std::string &path, const std::vector<unsigned char> &data)
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    static std::string text_of(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::uint32_t word_at(const std::vector<unsigned char> &data, std::size_t offset)
    {
        std::uint32_t w;
        std::memcpy(&w, data.data() + offset, 4);
        return w;
    }
    static void put_word(std::vector<unsigned char> &data, std::size_t offset, std::uint32_t w)
    {
        std::memcpy(data.data() + offset, &w, 4);
    }

    // Runs f and returns the exit status it ended the process with (-1: none).
    template <typename F>
    static int exit_status_of(F f)
    {
        try {
            f();
        } catch (const pt_exit_request &e) {
            return e.status;
        }
        return -1;
    }

    std::filesystem::path dir;
};
