// Fuzz target: the configuration reader of the tool start-up.  Every input
// is read as configuration text into a fresh environment; the aliases it set
// are listed and the run is ended as a tool would end it.
#include <Lmr_Zutils/pt_alias.h>
#include <Lmr_Zutils/pt_msg.h>
#include <Lmr_Zutils/pt_start.h>
#include <Lmr_Zutils/vm_store.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    pt_set_exit_hook(pt_throw_exit_request);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    char *words[] = {const_cast<char *>("fuzz"), const_cast<char *>("-!"), nullptr};
    pt_reset_messages();
    try {
        pt_init(2, words);
        pt_read_config_text(reinterpret_cast<const char *>(data), size);
        pt_show_alias();
        char *value = pt_get_nth_alias("POWER_NET", 1);
        std::free(value);
    } catch (const pt_exit_request &) {
    }
    pt_main2(0);
    vm_init();
    return 0;
}
