// Private parts of the tool start-up: the layout of the environment record
// beyond its first member, shared by start-up, configuration and aliases.
#pragma once

#include <Lmr_Zutils/pt_environ.h>

#include <cstdint>
#include <string>

namespace pt_detail {

// Byte offsets in the 800-byte record (offset 0 is the run-time pointer).
// Words are 32-bit in machine order, read and written with memcpy.
inline constexpr int E_MAGIC = 8;          // "ENV1"
inline constexpr int E_RUN_FLAGS = 12;
inline constexpr int E_ALIAS_FID = 16;     // frame of {name id, value id} pairs, -1: none
inline constexpr int E_ALIAS_COUNT = 20;   // entries in use (deleted ones included)
inline constexpr int E_ALIAS_ALLOC = 24;   // entries the frame holds
inline constexpr int E_TITLE = 32;         // terminated text
inline constexpr int E_TITLE_SIZE = 160;
inline constexpr std::uint32_t ENV_MAGIC = 0x31564e45;  // "ENV1" in little-endian

std::int32_t env_word(int offset);
void env_set_word(int offset, std::int32_t value);

// The file holding the environment frames (alias table, stored names).
int env_file();

// Makes the environment file current (without the environment exchange of
// vm_select_file) and back.
int env_enter();
void env_leave(int previous);

// Runs `work` with the environment file current; returns what it returns.
template <typename Work>
auto in_env_file(Work work)
{
    const int previous = env_enter();
    struct Leave {
        int p;
        ~Leave() { env_leave(p); }
    } leave{previous};
    return work();
}

// Forgets the aliases kept before any environment existed.
void reset_loose_aliases();

std::string upper(const char *text);

}  // namespace pt_detail
