// The alias table of the tool environment: upper-cased names with optional
// text values, a value possibly a ";"-separated list of items.
#include <Lmr_Zutils/pt_alias.h>
#include <Lmr_Zutils/pt_environ.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

struct AliasEntry {
    std::string name;
    std::optional<std::string> value;
};

std::vector<AliasEntry> &aliasTable()
{
    static std::vector<AliasEntry> table;
    return table;
}

std::string upperCased(const char *text)
{
    std::string result = text ? text : "";
    for (char &c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

AliasEntry *findAlias(const std::string &upperName)
{
    for (AliasEntry &entry : aliasTable())
        if (entry.name == upperName)
            return &entry;
    return nullptr;
}

char *copyOf(const std::string &text)
{
    char *copy = static_cast<char *>(std::malloc(text.size() + 1));
    if (copy)
        std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

} // namespace

const char *pt_set_alias(const char *name, const char *value)
{
    if (!name)
        return value;
    std::string upperName = upperCased(name);
    AliasEntry *entry = findAlias(upperName);
    if (!value) {
        if (entry) {
            auto &table = aliasTable();
            table.erase(table.begin() + (entry - table.data()));
        }
        return value;
    }
    std::string text = value;
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    if (entry)
        entry->value = text;
    else
        aliasTable().push_back({upperName, text});
    return value;
}

char *pt_get_alias(const char *name)
{
    std::string upperName = upperCased(name);
    const AliasEntry *entry = findAlias(upperName);
    if (!entry)
        return copyOf(upperName);
    return copyOf(entry->value ? *entry->value : std::string("(null)"));
}

char *pt_get_nth_alias(const char *name, int n)
{
    const AliasEntry *entry = findAlias(upperCased(name));
    if (!entry || !entry->value || n < 0)
        return nullptr;
    const std::string &value = *entry->value;
    std::size_t start = 0;
    for (int item = 0;; ++item) {
        std::size_t end = value.find(';', start);
        if (item == n)
            return copyOf(value.substr(start, end == std::string::npos ? std::string::npos : end - start));
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
    int equal = upperCased(first) == upperCased(text) ? 1 : 0;
    std::free(first);
    return equal;
}

void pt_show_alias()
{
    FILE *out = (Environ && Environ->runtime && Environ->runtime->log_stream) ? Environ->runtime->log_stream : stdout;
    std::fprintf(out, "-=%s=-\n", "");
    std::size_t width = 0;
    for (const AliasEntry &entry : aliasTable())
        width = std::max(width, entry.name.size());
    for (const AliasEntry &entry : aliasTable())
        std::fprintf(out, "%*s = %s\n", static_cast<int>(width), entry.name.c_str(),
                     entry.value ? entry.value->c_str() : "(null)");
    std::fflush(out);
}
