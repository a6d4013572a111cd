// Stored names of the design database: a text (or any bytes) held in a frame
// of its own and known by that frame's handle, the name id.  Descendant names
// ("_<name>.<n>") give derived objects unique names within a run.
#include <Lmr_Zutils/db_array.h>
#include <Lmr_Zutils/pt_msg.h>
#include <Lmr_Zutils/vm_store.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {
// The first descendant name of a run ends in ".1".
int descendant_counter = 0;
}

int db_create_object(int *id, const void *bytes, long length)
{
    if (!id)
        return db_status(73);
    *id = -1;
    if (length <= 0)
        return 0;
    const int fid = vm_malloc(length);
    if (fid == -1)
        return db_status(56);
    if (bytes)
        std::memcpy(vm_frame_ptr(fid), bytes, length);
    *id = fid;
    return 0;
}

int db_str2fid(const char *text)
{
    if (!text)
        return -1;
    int id = -1;
    if (const int status = db_create_object(&id, text, static_cast<long>(std::strlen(text)) + 1)) {
        pt_err(status);
        return -1;
    }
    return id;
}

const char *db_fid2str(int id)
{
    if (id == -1)
        return nullptr;
    const long size = vm_frame_size(id);
    const auto *text = static_cast<const char *>(vm_frame_ptr(id));
    // Only a frame that holds a terminator is a text.
    if (!text || size <= 0 || !std::memchr(text, '\0', size))
        return nullptr;
    return text;
}

int db_fiddup(int id)
{
    if (id == -1 || vm_frame_size(id) == 0)
        return -1;
    return vm_fiddup(vm_current_file(), id);
}

int db_descendant_fid(int id)
{
    if (id == -1)
        return -1;
    const char *name = db_fid2str(id);
    if (!name) {
        pt_err(db_status(56));
        return -1;
    }
    char number[16];
    std::snprintf(number, sizeof number, "%d", ++descendant_counter);
    const std::string text = std::string(1, '_') + name + '.' + number;
    return db_str2fid(text.c_str());
}

void db_reset_descendant_counter()
{
    descendant_counter = 0;
}
