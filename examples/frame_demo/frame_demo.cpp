// frame_demo: starts like every design tool of the family (pt_main1 with the
// common switches and argument files), sets and shows aliases, and keeps its
// texts in the frame store: one stored name per text, listed in a record
// array whose header sits in a frame of its own.  The alias DEMO_LIST holds
// that frame's handle, so a run with -I finds the texts of the run that saved
// them with -S (and -O).
//
//   frame_demo [common switches] [-set NAME=VALUE]... [-text TEXT]... [-show]
#include "frame_demo.h"

#include <Lmr_Zutils/db_array.h>
#include <Lmr_Zutils/pt_alias.h>
#include <Lmr_Zutils/pt_msg.h>
#include <Lmr_Zutils/pt_start.h>
#include <Lmr_Zutils/vm_store.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

// The frame holding the list header, from the alias (or a new one).
DB_ARRAY *text_list(bool create)
{
    char *value = pt_get_alias("DEMO_LIST");
    const bool defined = value && std::strcmp(value, "DEMO_LIST") != 0;
    const int handle = defined ? std::atoi(value) : -1;
    pt_free(value);
    if (handle >= 0 && vm_frame_size(handle) == static_cast<long>(sizeof(DB_ARRAY)))
        return static_cast<DB_ARRAY *>(vm_get_frame(handle));
    if (!create)
        return nullptr;
    const int fresh = vm_malloc(sizeof(DB_ARRAY));
    if (fresh == -1)
        return nullptr;
    auto *list = new (vm_get_frame(fresh)) DB_ARRAY;
    list->size = sizeof(int);
    pt_set_alias("DEMO_LIST", std::to_string(fresh).c_str());
    return list;
}

void work(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-set" && i + 1 < argc) {
            const std::string pair = argv[++i];
            const std::size_t eq = pair.find('=');
            if (eq == std::string::npos)
                pt_set_alias(pair.c_str(), nullptr);
            else
                pt_set_alias(pair.substr(0, eq).c_str(), pair.substr(eq + 1).c_str());
        } else if (arg == "-text" && i + 1 < argc) {
            DB_ARRAY *list = text_list(true);
            const int id = db_str2fid(argv[++i]);
            if (list && id != -1)
                db_add_array_element(list, &id, nullptr);
        } else if (arg == "-show") {
            pt_show_alias();
            const DB_ARRAY *list = text_list(false);
            const int count = list ? list->count : 0;
            std::printf("texts: %d\n", count);
            for (int n = 0; n < count; ++n) {
                const int id = *static_cast<int *>(db_array_element(list, n));
                const char *text = db_fid2str(id);
                std::printf("text %d: %s\n", n, text ? text : "(lost)");
            }
        }
    }
}

}  // namespace

int run_frame_demo(int argc, char **argv)
{
    const pt_exit_hook_t previous = pt_set_exit_hook(pt_throw_exit_request);
    int status = 0;
    try {
        // A failed start ends with status 2 (pt_main2 of -1 reports nothing).
        if (pt_main1("frame_demo", "Frame store demonstration", &argc, &argv) != 0)
            pt_terminate(pt_main2(-1));
        // Frames go to the environment database, which -S saves.
        vm_use_file(vm_environment_file());
        work(argc, argv);
        pt_exit();
    } catch (const pt_exit_request &end) {
        status = end.status;
    }
    pt_set_exit_hook(previous);
    std::fflush(stdout);
    return status;
}
