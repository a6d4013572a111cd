// The common path of every numbered message: err_print_message splits the
// code, honours the NO_MESSAGES alias, finds (and loads on first use) the
// component's catalogue, checks the code, hands the message to the manager of
// its type and counts it.  Also the statistics, the switch that disables all
// messages and the indentation of message lines.
#include <Lmr_Zutils/msgman.h>
#include <Lmr_Zutils/pt_alias.h>
#include <Lmr_Zutils/pt_msg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

int DoErrorTypeConversion = 0;
int global_indent = 0;

namespace {

// Catalogue names by component index, with the two guard entries.
const char *const componentTable[PT_COMPONENT_COUNT + 1] = {
    "??",      "epld_pt", "epld_db", "epld_pl", "epld_rt",  "epld_rg",  "epld_cl",  "epld_vm",  "epld_ch",
    "epld_pc", "epld_ta", "epld_xr", "epld_es", "epld_hi",  "epld_un",  "epld_ppi", "epld_ms",  "epld_ro",
    "epld_fs", "epld_hp", "epld_nd", "epld_tl6", "epld_col", "epld_rd", "!!"};

const char *const defaultTypeNames[3] = {"Info", "Warning", "Error"};

struct MessageState {
    // Rows: info, warning, error; column 0 the row's total, 1..23 per component.
    int statistics[3][PT_COMPONENT_COUNT + 1] = {};
    const char *typeNames[3] = {defaultTypeNames[0], defaultTypeNames[1], defaultTypeNames[2]};
    int lastCode = 0;
    int lastAutoError = 0;
    bool disabled = false;
};

MessageState state;

struct CacheEntry {
    char name[12];
    std::unique_ptr<EPLD_MSGMAN> manager;
};

std::vector<CacheEntry> &catalogueCache()
{
    static std::vector<CacheEntry> cache;
    return cache;
}

EPLD_MSGMAN *findManager(const char *name)
{
    for (CacheEntry &entry : catalogueCache())
        if (std::strcmp(entry.name, name) == 0)
            return entry.manager.get();
    return nullptr;
}

// A status message that no catalogue backs, written through a manager that
// lives for this call only.
void temporaryStatus(const char *text)
{
    EPLD_MSGMAN temporary;
    temporary.epld_msg_status(text);
}

bool userDefinedNoMessages()
{
    // The alias look-up may itself report a message (a damaged environment);
    // that inner message does not look the alias up again.
    static bool lookingUp = false;
    if (lookingUp)
        return false;
    struct Guard {
        Guard() { lookingUp = true; }
        ~Guard() { lookingUp = false; }
        Guard(const Guard &) = delete;
        Guard &operator=(const Guard &) = delete;
    } guard;
    char *value = pt_get_alias("NO_MESSAGES");
    // pt_get_alias gives the upper-cased name back for an undefined alias.
    bool defined = value && std::strcmp(value, "NO_MESSAGES") != 0;
    std::free(value);
    return defined;
}

} // namespace

const char *pt_component_name(int component)
{
    if (component < 0 || component >= PT_COMPONENT_COUNT)
        return componentTable[PT_COMPONENT_COUNT];
    return componentTable[component];
}

void err_init()
{
    for (int type = 0; type < 3; ++type) {
        state.typeNames[type] = defaultTypeNames[type];
        for (int &counter : state.statistics[type])
            counter = 0;
    }
}

const char *err_type_name(int type)
{
    if (type < 0 || type > 2)
        return "";
    return state.typeNames[type];
}

int err_get_total(int type)
{
    if (type < 0 || type > 2)
        return 0;
    return state.statistics[type][0];
}

int err_get_count(int type, int component)
{
    if (type < 0 || type > 2 || component < 0 || component >= PT_COMPONENT_COUNT)
        return 0;
    return state.statistics[type][component];
}

void err_maintain_statistics(int code)
{
    int component = pt_code_component(code);
    int type = pt_code_type(code);
    if (code < 0 || component < 1 || component > 23 || (type != PT_MSG_WARNING && type != PT_MSG_ERROR))
        return;
    ++state.statistics[type][0];
    ++state.statistics[type][component];
}

int err_last_code() { return state.lastCode; }
int err_last_auto_error() { return state.lastAutoError; }

void DisableMessages() { state.disabled = true; }
void EnableMessages() { state.disabled = false; }

void AddIndentLevel() { global_indent += 4; }

void SubIndentLevel()
{
    global_indent -= 4;
    if (global_indent < 0)
        global_indent = 0;
}

void AutoIndent(const char *mode)
{
    if (!mode)
        return;
    if (std::strcmp(mode, "MULTIPLE") == 0 || std::strcmp(mode, "AUTO") == 0 || std::strcmp(mode, "SINGLE") == 0)
        global_indent = 0;
}

void pt_reset_messages()
{
    state = MessageState{};
    DoErrorTypeConversion = 0;
    global_indent = 0;
    catalogueCache().clear();
}

int err_print_message(int code, va_list args)
{
    state.lastCode = code;
    if (state.disabled)
        return 0;

    // A negative code has its sign in the component field, which makes it
    // out of range below.
    int component = pt_code_component(code);
    int type = pt_code_type(code);
    int number = pt_code_number(code);
    if (number == 0)
        return 0;

    const char *name = pt_component_name(component);

    if (userDefinedNoMessages()) {
        char line[64];
        std::snprintf(line, sizeof line, "%s:%d:%d\n", name, type, number);
        err_write(line, type);
        return 0;
    }

    int effectiveType = (number >= 5001 && number <= 5999) ? PT_MSG_WARNING : type;

    // A malformed code is told as such before any catalogue is looked for:
    // its component names no catalogue that could be loaded.
    if (code < 0 || component >= PT_COMPONENT_COUNT || effectiveType < 0 || effectiveType > 5) {
        char line[96];
        std::snprintf(line, sizeof line, "Internal Error: bad status! (S=%d,T=%d,E=%d)\n", component, effectiveType,
                      number);
        temporaryStatus(line);
        err_maintain_statistics(pt_make_code(1, PT_MSG_WARNING, 1));
        return -1;
    }

    EPLD_MSGMAN *manager = findManager(name);
    if (!manager) {
        auto created = std::make_unique<EPLD_MSGMAN>();
        if (!created->epld_loadmsgs(name)) {
            char line[64];
            std::snprintf(line, sizeof line, "Unable to load message file: %s.txt\n", name);
            temporaryStatus(line);
            return -1;
        }
        CacheEntry entry{};
        std::snprintf(entry.name, sizeof entry.name, "%s", name);
        entry.manager = std::move(created);
        manager = entry.manager.get();
        catalogueCache().push_back(std::move(entry));
    }

    manager->set_errfile_name(name);

    int shownType = effectiveType;
    if (DoErrorTypeConversion && shownType == PT_MSG_ERROR)
        shownType = PT_MSG_AUTO_ERROR;

    switch (shownType) {
    case PT_MSG_INFO: manager->epld_msg_info(name, number, args); break;
    case PT_MSG_WARNING: manager->epld_msg_warning(name, number, args); break;
    case PT_MSG_ERROR: manager->epld_msg_error(name, number, args); break;
    case PT_MSG_LOG_SCREEN: manager->epld_msg_log_screen(name, number, args); break;
    case PT_MSG_AUTO_ERROR:
        state.lastAutoError = number;
        manager->epld_msg_auto_error(name, number, args);
        break;
    default: manager->epld_msg_status(name, number, args); break;
    }

    err_maintain_statistics(pt_make_code(component, effectiveType, number));
    return 0;
}

int pt_msg_args(int code, int /*value*/, int /*flag1*/, int /*flag2*/, va_list args)
{
    return err_print_message(code, args);
}

int pt_msg(int code, ...)
{
    va_list args;
    va_start(args, code);
    int result = err_print_message(code, args);
    va_end(args);
    return result;
}

int pt_err(int code, ...)
{
    va_list args;
    va_start(args, code);
    int result = err_print_message(code, args);
    va_end(args);
    return result;
}
