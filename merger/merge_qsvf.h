// MergeQSVF: joins two or more QSVF streams into one stream that plays them
// one after the other.  Each input is copied byte for byte without its last
// byte (its QCOMPLETE), a separator that brings the TAP and the end states
// back to a known state stands between two inputs, and one QCOMPLETE ends
// the output.  Nothing is decoded.
#ifndef MERGE_QSVF_H
#define MERGE_QSVF_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "qsvf_output_file.h"

// A file handle that remembers the name it was opened with (borrowed).
class CMQFile {
public:
    CMQFile() = default;
    CMQFile(const CMQFile &) = delete;
    CMQFile &operator=(const CMQFile &) = delete;
    ~CMQFile() { Close(); }

    FILE *Open(const char *name, const char *mode);
    // Opens the merged output: written under a temporary name beside the
    // file (a special file directly) until Commit renames it into place.
    FILE *OpenOutput(const char *name);
    // Writes out and closes the output and renames it over the file; false
    // when any of it fails (the file is then as it was), with the reason.
    bool Commit(std::string &reason);
    // Closes the stream if one is open (an output not committed is dropped
    // and its file left as it was); non-zero when closing failed.
    int Close();
    FILE *GetFile() const { return m_pFile; }
    const char *GetName() const { return m_sName; }
    int GetC();
    int PutC(int byte);
    int Seek(long offset, int origin);

private:
    const char *m_sName = nullptr;
    FILE *m_pFile = nullptr;
    qsvf::OutputFile m_output;
};

// The parsed command line; every name is borrowed from argv.
class CMQMergeInfo {
public:
    int32_t GetDeleteOutput() const { return m_iDeleteOutput; }
    void SetDeleteOutput(int32_t value) { m_iDeleteOutput = value; }
    int32_t GetVersion2Compatible() const { return m_iVersion2; }
    void SetVersion2Compatible(int32_t value) { m_iVersion2 = value; }
    const char *GetOutputFileName() const { return m_sOutput; }
    void SetOutputFileName(const char *name) { m_sOutput = name; }
    int GetInputFileNameCount() const { return static_cast<int>(m_inputs.size()); }
    const char *GetInputFileName(int index) const;
    void AppendInputFileName(const char *name) { m_inputs.push_back(name); }

private:
    int32_t m_iDeleteOutput = 0;
    int32_t m_iVersion2 = 0;
    const char *m_sOutput = nullptr;
    std::vector<const char *> m_inputs;
};

void PrintHelp();
int ParseArgs(CMQMergeInfo *info, int argc, char **argv);
int CheckInputFiles(CMQMergeInfo *info);
int CheckOutputFile(CMQMergeInfo *info);
// Copies the input to the output without its last byte; returns 1, or 0
// when a handle is missing.  *lastByte gets the dropped byte (-1 when the
// input was empty), *readFailed whether reading stopped on an error.
int CopyQsvfFile(CMQFile *input, CMQFile *output, int *lastByte = nullptr, bool *readFailed = nullptr);
void InsertQsvfHeader(CMQMergeInfo *info, CMQFile *output);

// The whole program run; returns the exit status: 0 after a merge that
// completed without an ERROR line, 1 after any ERROR or ABORT line.
int runMergeQSVF(int argc, char **argv);

#endif  // MERGE_QSVF_H
