// The environment record's own words (run flags, title, alias table), the
// expansion of "$NAME" variables, the search for installation files under
// MYMORVANE and MORVANE, and the small text and memory services of the
// library.
#include "pt_internal.h"

#include <Lmr_Zutils/db_array.h>
#include <Lmr_Zutils/pt_start.h>
#include <Lmr_Zutils/vm_store.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace pt_detail {

std::int32_t env_word(int offset)
{
    if (!Environ)
        return offset == E_ALIAS_FID ? -1 : 0;
    std::int32_t value;
    std::memcpy(&value, reinterpret_cast<unsigned char *>(Environ) + offset, sizeof value);
    return value;
}

void env_set_word(int offset, std::int32_t value)
{
    if (Environ)
        std::memcpy(reinterpret_cast<unsigned char *>(Environ) + offset, &value, sizeof value);
}

int env_file()
{
    return vm_environment_file();
}

int env_enter()
{
    const int file = env_file();
    return file >= 0 ? vm_use_file(file) : vm_current_file();
}

void env_leave(int previous)
{
    vm_use_file(previous);
}

std::string upper(const char *text)
{
    std::string result = text ? text : "";
    for (char &c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

}  // namespace pt_detail

using namespace pt_detail;

unsigned pt_run_flags()
{
    return static_cast<unsigned>(env_word(E_RUN_FLAGS));
}

void pt_set_run_flags(unsigned flags)
{
    env_set_word(E_RUN_FLAGS, static_cast<std::int32_t>(flags));
}

const char *pt_env_title()
{
    if (!Environ)
        return "";
    char *title = reinterpret_cast<char *>(Environ) + E_TITLE;
    title[E_TITLE_SIZE - 1] = '\0';  // a reloaded record may lack the terminator
    return title;
}

char *pt_expand_variables(const char *text)
{
    if (!text)
        return nullptr;
    std::string out;
    for (const char *p = text; *p;) {
        if (*p != '$') {
            out += *p++;
            continue;
        }
        const char *start = p + 1;
        const char *end = start;
        while (std::isalnum(static_cast<unsigned char>(*end)) || *end == '_')
            ++end;
        if (end == start) {
            // A "$" without a name stays as it is.
            out += *p++;
            continue;
        }
        const std::string name = upper(std::string(start, end).c_str());
        if (const char *value = std::getenv(name.c_str()))
            out += value;
        p = end;
    }
    return pt_strdup(out.c_str());
}

int pt_get_vorn_path(const char *directory, const char *file, char *buffer, std::size_t size)
{
    bool any = false;
    for (const char *variable : {"MYMORVANE", "MORVANE"}) {
        const char *root = std::getenv(variable);
        if (!root || !*root)
            continue;
        any = true;
        // The installation tree is <root>/epld/<directory>/<file>; this
        // platform separates path parts with "/".
        std::string path = std::string(root) + "/epld/" + (directory ? directory : "") + "/" + (file ? file : "");
        if (std::FILE *f = std::fopen(path.c_str(), "r")) {
            std::fclose(f);
            if (buffer && size > path.size()) {
                std::memcpy(buffer, path.c_str(), path.size() + 1);
                return 0;
            }
            return PT_ERR_NO_CONFIG;
        }
    }
    return any ? PT_ERR_NO_CONFIG : PT_ERR_NO_INSTALL_DIR;
}

int pt_get_vorn_data_path(const char *file, char *buffer, std::size_t size)
{
    return pt_get_vorn_path("data", file, buffer, size);
}

char *pt_no_ext(const char *name)
{
    if (!name)
        return nullptr;
    std::string text = name;
    const std::size_t slash = text.find_last_of("/\\");
    const std::size_t dot = text.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        text.erase(dot);
    return pt_strdup(text.c_str());
}

char *pt_descendant_name(const char *name)
{
    if (!name)
        return nullptr;
    const int id = db_str2fid(name);
    if (id == -1)
        return nullptr;
    const int child = db_descendant_fid(id);
    vm_realloc(id, 0);
    if (child == -1)
        return nullptr;
    char *result = pt_strdup(db_fid2str(child));
    vm_realloc(child, 0);
    return result;
}

int pt_strcmpi(const char *a, const char *b)
{
    if (!a || !b)
        return a == b ? 0 : (a ? 1 : -1);
    for (;; ++a, ++b) {
        const int ca = std::toupper(static_cast<unsigned char>(*a));
        const int cb = std::toupper(static_cast<unsigned char>(*b));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (!ca)
            return 0;
    }
}

char *pt_upper_case(char *text)
{
    for (char *p = text; p && *p; ++p)
        *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    return text;
}

char *pt_lower_case(char *text)
{
    for (char *p = text; p && *p; ++p)
        *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    return text;
}

char *pt_unquote_str(char *text)
{
    if (!text)
        return text;
    std::size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '"')
        text[--length] = '\0';
    if (text[0] == '"')
        std::memmove(text, text + 1, length);  // moves the terminator too
    return text;
}

char *pt_strdup(const char *text)
{
    if (!text)
        return nullptr;
    const std::size_t size = std::strlen(text) + 1;
    char *copy = static_cast<char *>(std::malloc(size));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
}

void *pt_malloc(std::size_t size)
{
    return std::malloc(size ? size : 1);
}

void *pt_calloc(std::size_t count, std::size_t size)
{
    return std::calloc(count ? count : 1, size ? size : 1);
}

void *pt_realloc(void *block, std::size_t size)
{
    return std::realloc(block, size ? size : 1);
}

void pt_free(void *block)
{
    std::free(block);
}
