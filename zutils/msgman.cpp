// The message managers.  UT_MSGMAN finds and parses a catalogue file and
// formats a message from it; EPLD_MSGMAN writes the formatted text: the head
// of a warning or error names the catalogue, lines are wrapped at column 77
// and indented, and the text goes to the console, the log and the report
// stream by the message's type.  err_write routes a ready text the same way.
#include <Lmr_Zutils/msgman.h>
#include <Lmr_Zutils/pt_msg.h>

#include <dlfcn.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

char currentCatalogue[12] = "";
std::string catalogueDir;
EPLD_MSGMAN *currentManager = nullptr;

// Makes a manager the current one for the duration of one call.
class CurrentManagerScope {
public:
    explicit CurrentManagerScope(EPLD_MSGMAN *manager) : previous_(currentManager) { currentManager = manager; }
    ~CurrentManagerScope() { currentManager = previous_; }
    CurrentManagerScope(const CurrentManagerScope &) = delete;
    CurrentManagerScope &operator=(const CurrentManagerScope &) = delete;

private:
    EPLD_MSGMAN *previous_;
};

#ifndef LMR_CATALOGUES_FROM_LIBRARY
#error "LMR_CATALOGUES_FROM_LIBRARY (catalogue folder relative to the library folder) must be defined by the build"
#endif

// The folder this library was loaded from, as the dynamic loader names it.
std::string folderOfThisLibrary()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&folderOfThisLibrary), &info) == 0 || !info.dli_fname)
        return "";
    std::string path = info.dli_fname;
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool readFile(const std::string &path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return true;
}

// Catalogue folders, in the order they are tried.
std::vector<std::string> catalogueFolders()
{
    std::vector<std::string> folders;
    if (!catalogueDir.empty())
        folders.push_back(catalogueDir);
    for (const char *variable : {"MYMORVANE", "MORVANE"}) {
        const char *value = std::getenv(variable);
        if (value && *value)
            folders.push_back(std::string(value) + "/epld/data");
    }
    // The catalogues are installed at a fixed place relative to the library
    // (share/<package>/ beside lib/), and the build tree copies them to the
    // same relative place, so they are found wherever the tree was
    // installed or moved to.
    std::string own = folderOfThisLibrary();
    if (!own.empty())
        folders.push_back(own + "/" + LMR_CATALOGUES_FROM_LIBRARY);
    return folders;
}

std::string unescape(const std::string &text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            result += text[i];
            continue;
        }
        char next = text[++i];
        switch (next) {
        case 'n': result += '\n'; break;
        case 't': result += '\t'; break;
        case '\\': result += '\\'; break;
        case '"': result += '"'; break;
        default:
            result += '\\';
            result += next;
            break;
        }
    }
    return result;
}

// True when every conversion of fmt is one vsnprintf can take from an
// argument list safely: no %n, no argument-supplied width or precision.
bool safeFormat(const char *fmt)
{
    for (const char *p = fmt; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        while (*p && std::strchr("-+ #0", *p))
            ++p;
        while (std::isdigit(static_cast<unsigned char>(*p)))
            ++p;
        if (*p == '.') {
            ++p;
            while (std::isdigit(static_cast<unsigned char>(*p)))
                ++p;
        }
        while (*p && std::strchr("hlzjtL", *p))
            ++p;
        if (!*p || !std::strchr("diouxXcsfFeEgGaAp", *p))
            return false;
    }
    return true;
}

std::string formatWithArguments(const char *fmt, va_list args)
{
    if (!safeFormat(fmt))
        return fmt;
    va_list measure;
    va_copy(measure, args);
    int size = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (size < 0)
        return fmt;
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
    va_list fill;
    va_copy(fill, args);
    std::vsnprintf(buffer.data(), buffer.size(), fmt, fill);
    va_end(fill);
    return std::string(buffer.data(), static_cast<std::size_t>(size));
}

std::wstring widened(const std::string &text)
{
    std::wstring wide;
    wide.reserve(text.size());
    for (char c : text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

std::string narrowed(const wchar_t *text)
{
    std::string narrow;
    if (!text)
        return narrow;
    for (const wchar_t *p = text; *p; ++p)
        narrow += (*p >= 0 && *p <= 0xff) ? static_cast<char>(static_cast<unsigned char>(*p)) : '?';
    return narrow;
}

std::string upperCased(const char *text)
{
    std::string result = text;
    for (char &c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

void writeTo(FILE *stream, const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

struct Streams {
    FILE *console;
    FILE *log;
    FILE *report;
    bool environment;
};

Streams currentStreams()
{
    Streams streams{stdout, stdout, stdout, false};
    if (Environ && Environ->runtime) {
        streams.environment = true;
        if (Environ->runtime->log_stream)
            streams.log = Environ->runtime->log_stream;
        if (Environ->runtime->report_stream)
            streams.report = Environ->runtime->report_stream;
    }
    return streams;
}

bool isWarningOrError(int type)
{
    return type == PT_MSG_WARNING || type == PT_MSG_ERROR || type == PT_MSG_AUTO_ERROR;
}

} // namespace

// ---------------------------------------------------------------- UT_MSGMAN

int UT_MSGMAN::loadmsgs(const char *name)
{
    if (!name || !*name)
        return 0;
    for (const std::string &folder : catalogueFolders()) {
        std::string text;
        if (readFile(folder + "/" + name + ".txt", text))
            return loadtext(name, text);
    }
    return 0;
}

int UT_MSGMAN::loadtext(const char *name, const std::string &text)
{
    catalogue_ = name ? name : "";
    texts_.clear();
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        std::size_t end = start;
        while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end])))
            ++end;
        if (end == start || end - start > 5 || (end < line.size() && line[end] != ' ' && line[end] != '\t'))
            continue;
        int number = std::atoi(line.substr(start, end - start).c_str());
        std::size_t textStart = line.find_first_not_of(" \t", end);
        texts_[number] = textStart == std::string::npos ? std::string() : unescape(line.substr(textStart));
    }
    return 1;
}

const char *UT_MSGMAN::find_text(int number) const
{
    auto found = texts_.find(number);
    return found == texts_.end() ? nullptr : found->second.c_str();
}

void UT_MSGMAN::set_origin(const char *catalogue, int number)
{
    origin_catalogue_ = catalogue ? catalogue : "";
    origin_number_ = number;
}

void UT_MSGMAN::format_ready(int /*type*/, const char *text)
{
    msg_write(widened(text ? text : "").c_str());
}

void UT_MSGMAN::format_catalogued(int type, int number, va_list args)
{
    std::string message;
    if (isWarningOrError(type)) {
        char head[64];
        std::snprintf(head, sizeof head, "[%s]:%-8.8s%d - ",
                      upperCased(err_type_name(type == PT_MSG_WARNING ? PT_MSG_WARNING : PT_MSG_ERROR)).c_str(),
                      origin_catalogue_.c_str(), number);
        message = head;
    }
    const char *text = find_text(number);
    if (text) {
        message += formatWithArguments(text, args);
    } else {
        char missing[96];
        std::snprintf(missing, sizeof missing, "Message %d is missing from %s.txt.\n", number, catalogue_.c_str());
        message += missing;
    }
    msg_write(widened(message).c_str());
}

void UT_MSGMAN::msg_write(const wchar_t *text)
{
    writeTo(stdout, narrowed(text));
}

// -------------------------------------------------------------- EPLD_MSGMAN

EPLD_MSGMAN *EPLD_MSGMAN::current() { return currentManager; }

void EPLD_MSGMAN::set_errfile_name(const char *name)
{
    std::snprintf(currentCatalogue, sizeof currentCatalogue, "%s", name ? name : "");
}

void EPLD_MSGMAN::send(int type, const char *text)
{
    error_type = type;
    CurrentManagerScope scope(this);
    set_origin(currentCatalogue, 0);
    format_ready(type, text);
}

void EPLD_MSGMAN::send(int type, const char *catalogue, int number, va_list args)
{
    error_type = type;
    CurrentManagerScope scope(this);
    set_origin(catalogue, number);
    format_catalogued(type, number, args);
}

void EPLD_MSGMAN::epld_msg_status(const char *text) { send(PT_MSG_STATUS, text); }
void EPLD_MSGMAN::epld_msg_status(const char *c, int n, va_list a) { send(PT_MSG_STATUS, c, n, a); }
void EPLD_MSGMAN::epld_msg_info(const char *text) { send(PT_MSG_INFO, text); }
void EPLD_MSGMAN::epld_msg_info(const char *c, int n, va_list a) { send(PT_MSG_INFO, c, n, a); }
void EPLD_MSGMAN::epld_msg_warning(const char *text) { send(PT_MSG_WARNING, text); }
void EPLD_MSGMAN::epld_msg_warning(const char *c, int n, va_list a) { send(PT_MSG_WARNING, c, n, a); }
void EPLD_MSGMAN::epld_msg_error(const char *text) { send(PT_MSG_ERROR, text); }
void EPLD_MSGMAN::epld_msg_error(const char *c, int n, va_list a) { send(PT_MSG_ERROR, c, n, a); }
void EPLD_MSGMAN::epld_msg_log_screen(const char *text) { send(PT_MSG_LOG_SCREEN, text); }
void EPLD_MSGMAN::epld_msg_log_screen(const char *c, int n, va_list a) { send(PT_MSG_LOG_SCREEN, c, n, a); }
void EPLD_MSGMAN::epld_msg_auto_error(const char *text) { send(PT_MSG_AUTO_ERROR, text); }
void EPLD_MSGMAN::epld_msg_auto_error(const char *c, int n, va_list a) { send(PT_MSG_AUTO_ERROR, c, n, a); }

void EPLD_MSGMAN::msg_write(const wchar_t *wide)
{
    std::string text = narrowed(wide);
    if (isWarningOrError(error_type))
        text = pt_rewrite_head(text, currentCatalogue, origin_number());
    text = pt_wrap_message(text, global_indent);

    Streams streams = currentStreams();
    if (!streams.environment) {
        writeTo(streams.console, text);
        return;
    }
    switch (error_type) {
    case PT_MSG_INFO: writeTo(streams.log, text); break;
    case PT_MSG_LOG_SCREEN:
        if (streams.log != streams.console)
            writeTo(streams.log, text);
        writeTo(streams.console, text);
        break;
    case PT_MSG_WARNING:
    case PT_MSG_ERROR:
    case PT_MSG_AUTO_ERROR:
        if (streams.log != streams.console && streams.log != streams.report)
            writeTo(streams.log, text);
        if (streams.report != streams.console)
            writeTo(streams.report, text);
        writeTo(streams.console, text);
        break;
    default: writeTo(streams.console, text); break;
    }
}

// ------------------------------------------------------------ free helpers

const char *pt_current_catalogue() { return currentCatalogue; }

void pt_set_catalogue_dir(const char *dir) { catalogueDir = dir ? dir : ""; }

std::string pt_rewrite_head(const std::string &text, const std::string &catalogue, int number)
{
    std::string shortName = catalogue.size() > 5 ? catalogue.substr(5) : std::string();
    std::size_t colon = text.find(':');
    if (colon != std::string::npos && colon >= 2 && (text[colon - 2] == 'R' || text[colon - 2] == 'G')) {
        std::size_t restStart = std::min(colon + 1 + 8, text.size());
        return text.substr(0, colon + 1) + shortName + text.substr(restStart);
    }
    std::size_t lead = text.find_first_not_of(' ');
    if (lead == std::string::npos)
        lead = text.size();
    return text.substr(0, lead) + shortName + std::to_string(number) + " - " + text.substr(lead);
}

std::string pt_wrap_message(const std::string &text, int indent)
{
    // A line holds at most 77 characters; the indentation is kept below that
    // so that every line has room for text.
    constexpr std::size_t lineLimit = 77;
    constexpr int widestIndent = 72;
    std::size_t margin = static_cast<std::size_t>(indent < 0 ? 0 : (indent > widestIndent ? widestIndent : indent));

    std::string out;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            out += line;
            out += '\n';
            line.clear();
            continue;
        }
        if (line.empty())
            line.assign(margin, ' ');
        line += c;
        if (line.size() <= lineLimit)
            continue;
        std::size_t space = line.rfind(' ');
        if (space != std::string::npos && space > margin) {
            out.append(line, 0, space);
            out += '\n';
            std::string rest = line.substr(space + 1);
            line.assign(margin, ' ');
            line += rest;
        } else {
            out.append(line, 0, lineLimit);
            out += '\n';
            std::string rest = line.substr(lineLimit);
            line.assign(margin, ' ');
            line += rest;
        }
    }
    out += line;
    return out;
}

void err_write(const char *text, int type)
{
    if (!text)
        return;
    std::string message = text;
    if (DoErrorTypeConversion && type == PT_MSG_ERROR) {
        std::size_t tag = message.find("[Error]");
        if (tag != std::string::npos)
            message.erase(tag, 7);
    }
    Streams streams = currentStreams();
    if (!streams.environment) {
        writeTo(streams.console, message);
        return;
    }
    switch (type) {
    case PT_MSG_WARNING:
    case PT_MSG_ERROR:
    case PT_MSG_AUTO_ERROR:
        writeTo(streams.report, message);
        if (streams.log != streams.report)
            writeTo(streams.log, message);
        if (streams.report != streams.console && streams.log != streams.console)
            writeTo(streams.console, message);
        break;
    case PT_MSG_INFO: writeTo(streams.log, message); break;
    case PT_MSG_LOG_SCREEN:
        writeTo(streams.log, message);
        if (streams.log != streams.console)
            writeTo(streams.console, message);
        break;
    default:
        // A status text always reaches the console, also when the log is
        // the console (it would otherwise be written nowhere).
        writeTo(streams.console, message);
        break;
    }
}
