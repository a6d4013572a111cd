// The configuration reader of the tool start-up: the character table that
// classifies every byte, the token reader built on it, and the statements
// "(alias NAME VALUE)" and "(prompt TEXT)"; statements with other keywords are
// skipped whole, nested parentheses included.  Also finds the configuration
// file: the given path, "mepld.cfg" here, or the installation's data folder.
#include "pt_internal.h"

#include <Lmr_Zutils/pt_alias.h>
#include <Lmr_Zutils/pt_msg.h>
#include <Lmr_Zutils/pt_start.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char *DEFAULT_CONFIG = "mepld.cfg";

const PT_CHAR_CLASS *current_table()
{
    static PT_CHAR_CLASS fallback[256];
    static bool made = false;
    if (Environ && Environ->runtime)
        return Environ->runtime->char_table;
    if (!made) {
        pt_default_char_table(fallback);
        made = true;
    }
    return fallback;
}

// Reads tokens from text in memory.
class TokenReader {
public:
    TokenReader(const char *text, std::size_t length) : text_(text), end_(text + length), table_(current_table()) {}

    // The next token; false at the end of the text.
    bool next(std::string &token)
    {
        token.clear();
        while (p_ < end_) {
            const unsigned char byte = static_cast<unsigned char>(*p_);
            const PT_CHAR_CLASS &cls = table_[byte];
            if (byte == '"') {
                // A quoted string, spaces kept, quotes kept: the alias setter
                // drops them.
                token += *p_++;
                while (p_ < end_ && *p_ != '"')
                    token += *p_++;
                if (p_ < end_)
                    token += *p_++;
                continue;
            }
            if (cls.flags & PT_CH_END) {
                if (token.empty()) {
                    ++p_;
                    if (cls.flags & PT_CH_SKIP)
                        continue;
                    token += static_cast<char>(cls.ch);  // "(" or ")" alone
                    return true;
                }
                // The character that ended the token starts the next one,
                // unless it is only a separator.  (Opening characters are
                // kept too, so "a(b" reads as three tokens.)
                if (!(cls.flags & (PT_CH_OPEN | PT_CH_CLOSE)))
                    ++p_;
                return true;
            }
            if (cls.flags & PT_CH_TOKEN) {
                token += static_cast<char>(cls.ch);
                ++p_;
                continue;
            }
            // Any other byte reads as a space: it separates tokens.
            ++p_;
            if (!token.empty())
                return true;
        }
        return !token.empty();
    }

private:
    const char *text_;
    const char *p_ = text_;
    const char *end_;
    const PT_CHAR_CLASS *table_;
};

bool opens(const std::string &token)
{
    return !token.empty() && (current_table()[static_cast<unsigned char>(token[0])].flags & PT_CH_OPEN);
}

bool closes(const std::string &token)
{
    return token.size() == 1 && (current_table()[static_cast<unsigned char>(token[0])].flags & PT_CH_CLOSE);
}

// Skips tokens up to the closing character of a statement at `depth` 1.
void skip_statement(TokenReader &reader)
{
    int depth = 1;
    std::string token;
    while (depth > 0 && reader.next(token)) {
        if (opens(token))
            ++depth;
        else if (closes(token))
            --depth;
    }
}

bool readable(const std::string &path)
{
    if (std::FILE *f = std::fopen(path.c_str(), "r")) {
        std::fclose(f);
        return true;
    }
    return false;
}

}  // namespace

void pt_default_char_table(PT_CHAR_CLASS table[256])
{
    for (int i = 0; i < 256; ++i) {
        table[i].ch = ' ';
        table[i].flags = PT_CH_OTHER;
    }
    for (int i = 32; i <= 126; ++i) {
        table[i].ch = static_cast<unsigned char>(i);
        table[i].flags = PT_CH_TOKEN;
    }
    table[static_cast<unsigned char>('"')].flags = PT_CH_SKIP;
    table[static_cast<unsigned char>('(')].flags = PT_CH_END | PT_CH_TOKEN | PT_CH_OPEN;
    table[static_cast<unsigned char>(')')].flags = PT_CH_END | PT_CH_TOKEN | PT_CH_CLOSE;
    for (unsigned char c : {' ', '\n', '\t'})
        table[c].flags = PT_CH_END | PT_CH_SKIP;
}

int pt_read_config_text(const char *text, std::size_t length)
{
    if (!text)
        return 0;
    TokenReader reader(text, length);
    std::string token;
    while (reader.next(token)) {
        if (!opens(token))
            continue;
        std::string keyword;
        if (!reader.next(keyword)) {
            pt_msg(PT_WARN_MISSING_TEXT);
            break;
        }
        if (closes(keyword))
            continue;
        // Keywords are matched in either case, like switches and alias names.
        const std::string upper_keyword = pt_detail::upper(keyword.c_str());
        if (upper_keyword == "ALIAS") {
            std::string name, value;
            if (!reader.next(name) || closes(name)) {
                pt_msg(PT_WARN_MISSING_TEXT);
                if (!closes(name))
                    break;
                continue;
            }
            if (!reader.next(value) || closes(value)) {
                pt_msg(PT_WARN_MISSING_TEXT);
                if (!closes(value))
                    break;
                continue;
            }
            char *expanded = pt_expand_variables(value.c_str());
            const std::string upper_name = pt_detail::upper(name.c_str());
            pt_set_alias(upper_name.c_str(), expanded);
            if (pt_run_flags() & PT_RUN_DEBUG)
                std::printf("%s %s as %s\n", keyword.c_str(), upper_name.c_str(), expanded);
            pt_free(expanded);
            skip_statement(reader);
        } else if (upper_keyword == "PROMPT") {
            std::string prompt;
            if (!reader.next(prompt) || closes(prompt)) {
                pt_msg(PT_WARN_MISSING_TEXT);
                if (!closes(prompt))
                    break;
                continue;
            }
            if (Environ && Environ->runtime) {
                pt_free(Environ->runtime->prompt);
                Environ->runtime->prompt = pt_unquote_str(pt_strdup(prompt.c_str()));
            }
            skip_statement(reader);
        } else {
            skip_statement(reader);
        }
    }
    return 0;
}

int pt_get_config(const char *path)
{
    std::string found;
    if (path && *path && readable(path))
        found = path;
    else if (readable(DEFAULT_CONFIG))
        found = DEFAULT_CONFIG;
    else {
        // The installation's data folder holds the file under its own name.
        std::string file = path && *path ? path : DEFAULT_CONFIG;
        const std::size_t slash = file.find_last_of('/');
        if (slash != std::string::npos)
            file.erase(0, slash + 1);
        std::vector<char> buffer(4096);
        const int status = pt_get_vorn_data_path(file.c_str(), buffer.data(), buffer.size());
        if (status == PT_ERR_NO_INSTALL_DIR) {
            pt_err(PT_ERR_NO_INSTALL_DIR);
            return PT_ERR_NO_CONFIG;
        }
        if (status != 0) {
            pt_err(PT_ERR_NO_CONFIG, file.c_str());
            return PT_ERR_NO_CONFIG;
        }
        found = buffer.data();
    }
    std::FILE *f = std::fopen(found.c_str(), "rb");
    if (!f) {
        pt_err(PT_ERR_NO_CONFIG, found.c_str());
        return PT_ERR_NO_CONFIG;
    }
    std::string text;
    char chunk[4096];
    std::size_t got;
    if (Environ && Environ->runtime)
        Environ->runtime->config_stream = f;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, got);
    if (Environ && Environ->runtime)
        Environ->runtime->config_stream = nullptr;
    std::fclose(f);
    return pt_read_config_text(text.data(), text.size());
}
