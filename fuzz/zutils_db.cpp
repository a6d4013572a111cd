// Fuzz target: the database reader of the frame store.  The input is the
// whole database file.  Damaged files end the run through the library's exit
// path (turned into an exception here); a file that reads is written again
// under another name, read back, and every frame must come back equal.
#include <Lmr_Zutils/pt_msg.h>
#include <Lmr_Zutils/vm_store.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
std::string folder;

std::vector<std::vector<unsigned char>> frames_of(int slot)
{
    std::vector<std::vector<unsigned char>> all;
    const int previous = vm_use_file(slot);
    const int count = vm_frame_count(slot);
    for (int n = 0; n < count; ++n) {
        const int handle = ((n / VM_FRAMES_PER_DIRECTORY) << 12) | (n % VM_FRAMES_PER_DIRECTORY);
        const auto *p = static_cast<const unsigned char *>(vm_frame_ptr(handle));
        const long size = vm_frame_size(handle);
        all.emplace_back(p, p ? p + size : p);
    }
    vm_use_file(previous);
    return all;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char pattern[] = "/tmp/fuzz_zutils_db_XXXXXX";
    if (!mkdtemp(pattern))
        std::abort();
    folder = pattern;
    // The store prints its messages on standard output.
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    pt_set_exit_hook(pt_throw_exit_request);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string in = folder + "/in", out = folder + "/out";
    if (std::FILE *f = std::fopen((in + ".vm6").c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    pt_reset_messages();
    vm_init();
    try {
        const int slot = vm_open_file(in.c_str());
        if (vm_read_file(slot) != 0)
            std::abort();  // the file was just written: it must open
        const auto first = frames_of(slot);
        vm_use_file(slot);
        if (vm_write_file(out.c_str(), 1) != 0)
            std::abort();
        const int again = vm_open_file(out.c_str());
        vm_read_file(again);
        if (frames_of(again) != first)
            std::abort();
    } catch (const pt_exit_request &) {
    }
    vm_init();
    return 0;
}
