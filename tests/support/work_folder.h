// The work folder of a test process that runs the programs (the openocd and
// sigrok suites): one folder per process under the temporary folder, made on
// first use, so that listing the tests leaves nothing behind, and removed
// when every test of the run passed (and QSVF_KEEP_WORK is not set); after
// a failure it stays for a look at what the programs wrote.
#ifndef QSVF_TESTS_SUPPORT_WORK_FOLDER_H
#define QSVF_TESTS_SUPPORT_WORK_FOLDER_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qsvftest {

class WorkFolder {
public:
    explicit WorkFolder(const std::string &suite)
        : m_path(std::filesystem::temp_directory_path() / ("qsvf_" + suite + "_" + std::to_string(getpid()))) {
        ::testing::AddGlobalTestEnvironment(new Remover(m_path));
    }
    // Where it is, made or not.
    const std::filesystem::path &path() const { return m_path; }
    // The folder, made on the first call.
    const std::filesystem::path &made() {
        if (!m_made) std::filesystem::create_directories(m_path);
        m_made = true;
        return m_path;
    }

private:
    class Remover : public ::testing::Environment {
    public:
        explicit Remover(std::filesystem::path path) : m_path(std::move(path)) {}
        void TearDown() override {
            if (::testing::UnitTest::GetInstance()->Passed() && !std::getenv("QSVF_KEEP_WORK")) {
                std::error_code error;
                std::filesystem::remove_all(m_path, error);
            }
        }

    private:
        std::filesystem::path m_path;
    };
    std::filesystem::path m_path;
    bool m_made = false;
};

inline std::string readText(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace qsvftest

#endif  // QSVF_TESTS_SUPPORT_WORK_FOLDER_H
