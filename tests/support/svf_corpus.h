// The SVF corpus: a folder of real SVF files written by vendor tools, kept
// beside the project (../shared/svf-corpus) and never part of a clone.  The
// tests that read it find it here: the environment variable QSVF_CORPUS_DIR
// when it is set at run time, else the folder configured in CMake (the cache
// variable of the same name, handed in as QSVF_CONFIGURED_CORPUS_DIR by the
// qsvf_test_corpus target).  Where the folder is absent they skip, all with
// the same message; a folder that is there but holds no .svf file fails the
// tests that read it, since it is most likely the wrong folder.
#ifndef QSVF_TESTS_SUPPORT_SVF_CORPUS_H
#define QSVF_TESTS_SUPPORT_SVF_CORPUS_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace qsvftest {

inline std::filesystem::path corpusFolder() {
    const char *chosen = std::getenv("QSVF_CORPUS_DIR");
    return chosen && *chosen ? std::filesystem::path(chosen) : std::filesystem::path(QSVF_CONFIGURED_CORPUS_DIR);
}

inline bool corpusPresent() {
    std::error_code error;
    return std::filesystem::is_directory(corpusFolder(), error);
}

inline std::string corpusAbsentMessage() {
    return "no SVF corpus at " + corpusFolder().string() +
           ": skipped (set QSVF_CORPUS_DIR to a folder of SVF files to run it)";
}

// The .svf files of the corpus, sorted by name; none when it is absent.
inline std::vector<std::filesystem::path> corpusFiles() {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(corpusFolder(), error), end; !error && it != end; it.increment(error))
        if (it->path().extension() == ".svf" && it->is_regular_file(error)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

// The parameters of a test made per corpus file: the files, or while the
// corpus is absent one empty path that stands for all of them, so that the
// suite shows one skipped test rather than none (see QSVF_SKIP_PLACEHOLDER).
inline std::vector<std::filesystem::path> corpusFilesOrPlaceholder() {
    std::vector<std::filesystem::path> files = corpusFiles();
    if (!corpusPresent()) files.emplace_back();
    return files;
}

}  // namespace qsvftest

// In a test body: skips the test when the corpus is absent.
#define QSVF_SKIP_WITHOUT_CORPUS() \
    if (!::qsvftest::corpusPresent()) GTEST_SKIP() << ::qsvftest::corpusAbsentMessage()

// In the body of a test made per corpus file: skips the placeholder.
#define QSVF_SKIP_PLACEHOLDER(file) \
    if ((file).empty()) GTEST_SKIP() << ::qsvftest::corpusAbsentMessage()

#endif  // QSVF_TESTS_SUPPORT_SVF_CORPUS_H
