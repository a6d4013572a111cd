// The alias table of the tool environment: named text values, set by the
// configuration file or by the tools, that steer the tools.  The table is a
// frame of {name id, value id} pairs (stored names) in the environment
// database, so that it is saved and reloaded with the environment; names are
// held upper-cased, a value may be a list of items separated by ";".  The
// table grows by 10 entries; a deleted alias leaves an empty entry behind.
//
// Before any environment exists (a program that reports messages without the
// start-up) the aliases live in a small table of this process only.
#include "pt_internal.h"

#include <Lmr_Zutils/db_array.h>
#include <Lmr_Zutils/pt_alias.h>
#include <Lmr_Zutils/pt_start.h>
#include <Lmr_Zutils/vm_store.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace pt_detail;

namespace {

constexpr int GROWTH = 10;

struct Alias {
    std::string name;
    std::optional<std::string> value;  // none: the alias has no value
};

// Aliases kept before any environment exists.
std::vector<Alias> &loose()
{
    static std::vector<Alias> table;
    return table;
}

bool in_environment()
{
    return Environ && env_file() >= 0;
}

// The entries of the frame table: pairs {name id, value id}.
std::int32_t *entries()
{
    const int fid = env_word(E_ALIAS_FID);
    if (fid == -1)
        return nullptr;
    const long need = static_cast<long>(env_word(E_ALIAS_ALLOC)) * 2 * sizeof(std::int32_t);
    if (need <= 0 || vm_frame_size(fid) < need)
        return nullptr;
    return static_cast<std::int32_t *>(vm_frame_ptr(fid));
}

int entry_count()
{
    const int count = env_word(E_ALIAS_COUNT);
    return std::clamp(count, 0, std::max(0, static_cast<int>(env_word(E_ALIAS_ALLOC))));
}

// Reads the whole table (of the environment, or the loose one).
std::vector<Alias> snapshot()
{
    if (!in_environment())
        return loose();
    return in_env_file([] {
        std::vector<Alias> all;
        std::int32_t *e = entries();
        if (!e)
            return all;
        for (int i = 0, n = entry_count(); i < n; ++i) {
            const char *name = db_fid2str(e[2 * i]);
            if (!name)
                continue;
            const char *value = db_fid2str(e[2 * i + 1]);
            all.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
        }
        return all;
    });
}

std::optional<Alias> find(const std::string &name)
{
    if (!in_environment()) {
        for (const Alias &a : loose())
            if (a.name == name)
                return a;
        return std::nullopt;
    }
    return in_env_file([&]() -> std::optional<Alias> {
        std::int32_t *e = entries();
        if (!e)
            return std::nullopt;
        for (int i = 0, n = entry_count(); i < n; ++i) {
            const char *stored = db_fid2str(e[2 * i]);
            if (stored && name == stored) {
                const char *value = db_fid2str(e[2 * i + 1]);
                return Alias{stored, value ? std::optional<std::string>(value) : std::nullopt};
            }
        }
        return std::nullopt;
    });
}

void set_in_environment(const std::string &name, const char *value)
{
    in_env_file([&] {
        std::int32_t *e = entries();
        const int n = e ? entry_count() : 0;
        for (int i = 0; i < n; ++i) {
            const char *stored = db_fid2str(e[2 * i]);
            if (!stored || name != stored)
                continue;
            // Old value (and, when deleting, the name) go; the entry stays.
            if (e[2 * i + 1] != -1)
                vm_realloc(e[2 * i + 1], 0);
            e[2 * i + 1] = -1;
            if (value) {
                e[2 * i + 1] = db_str2fid(value);
            } else {
                vm_realloc(e[2 * i], 0);
                e[2 * i] = -1;
            }
            return 0;
        }
        if (!value)
            return 0;
        int alloc = env_word(E_ALIAS_ALLOC);
        int fid = env_word(E_ALIAS_FID);
        if (!e || n >= alloc) {
            alloc = (e ? alloc : 0) + GROWTH;
            const long bytes = static_cast<long>(alloc) * 2 * sizeof(std::int32_t);
            if (fid == -1 || !vm_frame_exists(fid))
                fid = vm_malloc(bytes);
            else if (!vm_realloc(fid, bytes))
                fid = -1;
            if (fid == -1)
                return 0;
            auto *grown = static_cast<std::int32_t *>(vm_frame_ptr(fid));
            for (int i = n; i < alloc; ++i)
                grown[2 * i] = grown[2 * i + 1] = -1;
            env_set_word(E_ALIAS_FID, fid);
            env_set_word(E_ALIAS_ALLOC, alloc);
            e = grown;
        }
        e[2 * n] = db_str2fid(name.c_str());
        e[2 * n + 1] = db_str2fid(value);
        env_set_word(E_ALIAS_COUNT, n + 1);
        return 0;
    });
}

char *copy_of(const std::string &text)
{
    return pt_strdup(text.c_str());
}

}  // namespace

namespace pt_detail {
void reset_loose_aliases()
{
    loose().clear();
}
}  // namespace pt_detail

const char *pt_set_alias(const char *name, const char *value)
{
    if (!name)
        return value;
    const std::string upper_name = upper(name);
    std::optional<std::string> text;
    if (value) {
        text = value;
        if (text->size() >= 2 && text->front() == '"' && text->back() == '"')
            text = text->substr(1, text->size() - 2);
    }
    if (in_environment()) {
        set_in_environment(upper_name, text ? text->c_str() : nullptr);
        return value;
    }
    auto &table = loose();
    auto it = std::find_if(table.begin(), table.end(), [&](const Alias &a) { return a.name == upper_name; });
    if (!text) {
        if (it != table.end())
            table.erase(it);
    } else if (it != table.end()) {
        it->value = text;
    } else {
        table.push_back({upper_name, text});
    }
    return value;
}

char *pt_get_alias(const char *name)
{
    const std::string upper_name = upper(name);
    const std::optional<Alias> alias = find(upper_name);
    if (!alias)
        return copy_of(upper_name);
    return copy_of(alias->value ? *alias->value : std::string("(null)"));
}

char *pt_get_nth_alias(const char *name, int n)
{
    const std::optional<Alias> alias = find(upper(name));
    if (!alias || !alias->value || n < 0)
        return nullptr;
    const std::string &value = *alias->value;
    std::size_t start = 0;
    for (int item = 0;; ++item) {
        const std::size_t end = value.find(';', start);
        if (item == n)
            return copy_of(value.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return nullptr;
        start = end + 1;
    }
}

int pt_compare_with_alias(const char *name, const char *text)
{
    char *first = pt_get_nth_alias(name, 0);
    if (!first)
        return 0;
    const int equal = text && pt_strcmpi(first, text) == 0 ? 1 : 0;
    pt_free(first);
    return equal;
}

void pt_show_alias()
{
    std::FILE *out = (Environ && Environ->runtime && Environ->runtime->log_stream) ? Environ->runtime->log_stream
                                                                                   : stdout;
    std::fprintf(out, "-=%s=-\n", pt_env_title());
    const std::vector<Alias> all = snapshot();
    std::size_t width = 0;
    for (const Alias &a : all)
        width = std::max(width, a.name.size());
    for (const Alias &a : all)
        std::fprintf(out, "%*s = %s\n", static_cast<int>(width), a.name.c_str(),
                     a.value ? a.value->c_str() : "(null)");
    std::fflush(out);
}
