// Start and end of a design tool's run: the two title lines, argument files,
// the common switches, a fresh environment (pt_init) or one reloaded from a
// database (-I), the log and report files (-L, -E, -A), and at the end the
// save of the environment (-S, -O) with the release of everything opened
// here.  pt_main2 (message reporting) calls pt_end_environment through
// pt_end_environment_hook.
#include "pt_internal.h"

#include <Lmr_Zutils/db_array.h>
#include <Lmr_Zutils/pt_alias.h>
#include <Lmr_Zutils/pt_msg.h>
#include <Lmr_Zutils/pt_start.h>
#include <Lmr_Zutils/vm_store.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace pt_detail;

namespace {

constexpr const char *DEFAULT_BASE = "toolbase";
constexpr int LOG_BUFFER = 61440;
constexpr int REPORT_BUFFER = 4096;
constexpr const char *VALID_PROPERTIES =
    "LOC,PL_OFFSET,PLD,PLPLD,PL_CARRYIN,PL_CHOP,PL_PARTITION,LOWPWR,PWRDEFAULT,PWR,OPT,LOGIC_OPT,FBLOC,"
    "MRINPUT,PAD_SYMBOL,PAD_NET,MINIMIZE,UIM_OPT,FOE_OPT,CLOCK_OPT,REG_OPT,DENSITY_OPT,FAST,F,H,"
    "PRELOAD_OPT,AUX,INIT";

// Everything one run owns; replaced whole at every start.
struct Run {
    PT_SWITCHES switches;
    std::string config, report, input, log, output;  // storage behind the switches
    std::vector<std::string> words;                  // the expanded argument list
    std::vector<char *> argv;
    PT_ENVIRONMENT record{};                         // Environ points here
    std::unique_ptr<PT_RUNTIME> runtime;
    std::FILE *log_file = nullptr;
    std::FILE *report_file = nullptr;
    std::unique_ptr<char[]> log_buffer, report_buffer;
    int env_slot = -1;
    std::string title;
};

bool inside_main1 = false;  // pt_init called by pt_main1

std::unique_ptr<Run> &run()
{
    static std::unique_ptr<Run> current;
    return current;
}

// Words of an argument file: white space separates them; a word that begins
// with '"' runs to the next '"', the quotes dropped.
bool read_argument_file(const char *name, std::vector<std::string> &out)
{
    std::FILE *f = std::fopen(name, "rb");
    if (!f)
        return false;
    std::string text;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, got);
    std::fclose(f);
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i >= text.size())
            break;
        std::string word;
        if (text[i] == '"') {
            const std::size_t end = text.find('"', i + 1);
            word = text.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? text.size() : end + 1;
        } else {
            while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
                word += text[i++];
        }
        out.push_back(word);
    }
    return true;
}

std::string without_extension(const char *name)
{
    char *plain = pt_no_ext(name);
    std::string result = plain ? plain : "";
    pt_free(plain);
    return result;
}

// Reads the common switches of an argument list into `run`.
void read_switches(Run &r, int argc, char **argv)
{
    PT_SWITCHES &s = r.switches;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (!arg || arg[0] != '-' || !arg[1])
            continue;
        if (arg[1] == '!') {
            s.skip_config = true;
            continue;
        }
        if (pt_strcmpi(arg, "-DEBUG") == 0) {
            s.debug = true;
            continue;
        }
        if (arg[2] != '\0')
            continue;
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(arg[1])));
        if (letter == 'A') {
            s.append = true;
            continue;
        }
        if (letter == 'S') {
            s.save = true;
            continue;
        }
        std::string *target = nullptr;
        switch (letter) {
        case 'C': target = &r.config; break;
        case 'E': target = &r.report; break;
        case 'I': target = &r.input; break;
        case 'L': target = &r.log; break;
        case 'O': target = &r.output; break;
        default: continue;
        }
        // A switch that takes a value is ignored without one.
        if (i + 1 >= argc || !argv[i + 1])
            continue;
        const char *value = argv[++i];
        *target = (letter == 'I' || letter == 'O') ? without_extension(value) : std::string(value);
    }
    s.config = r.config.empty() ? nullptr : r.config.c_str();
    s.report = r.report.empty() ? nullptr : r.report.c_str();
    s.input = r.input.empty() ? nullptr : r.input.c_str();
    s.log = r.log.empty() ? nullptr : r.log.c_str();
    s.output = r.output.empty() ? nullptr : r.output.c_str();
}

// A fresh run-time part: console streams and the default character table.
void rebuild_runtime(Run &r)
{
    r.runtime = std::make_unique<PT_RUNTIME>();
    r.runtime->log_stream = stdout;
    r.runtime->report_stream = stdout;
    r.runtime->config_stream = nullptr;
    r.runtime->prompt = nullptr;
    pt_default_char_table(r.runtime->char_table);
    r.record.runtime = r.runtime.get();
    Environ = &r.record;
}

void set_title(Run &r)
{
    char *title = reinterpret_cast<char *>(&r.record) + E_TITLE;
    std::memset(title, 0, E_TITLE_SIZE);
    std::strncpy(title, r.title.c_str(), E_TITLE_SIZE - 1);
}

void release_run(Run &r)
{
    if (r.runtime) {
        pt_free(r.runtime->prompt);
        r.runtime->prompt = nullptr;
    }
    if (r.report_file && r.report_file != r.log_file)
        std::fclose(r.report_file);
    if (r.log_file)
        std::fclose(r.log_file);
    r.report_file = r.log_file = nullptr;
    if (Environ == &r.record)
        Environ = nullptr;
    vm_set_environment_record(nullptr, -1);
    if (r.env_slot >= 0)
        vm_close_file(r.env_slot);
    r.env_slot = -1;
}

void end_hook(int run_status)
{
    pt_end_environment(run_status);
}

// A text database begins with this line; it is copied, not loaded.
bool is_text_database(const std::string &name)
{
    std::FILE *f = std::fopen(name.c_str(), "rb");
    if (!f)
        return false;
    char line[512];
    const bool text = std::fgets(line, sizeof line, f) && std::strncmp(line, "LMR Database:", 13) == 0;
    std::fclose(f);
    return text;
}

bool copy_text_database(const std::string &from, const std::string &to)
{
    std::FILE *in = std::fopen(from.c_str(), "rb");
    if (!in)
        return false;
    std::FILE *out = std::fopen(to.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return false;
    }
    char line[512];
    bool ok = true;
    while (ok && std::fgets(line, sizeof line, in))
        ok = std::fputs(line, out) >= 0;
    ok = std::fclose(out) == 0 && ok;
    std::fclose(in);
    return ok;
}

bool open_stream(const char *name, bool append, int buffer_size, std::unique_ptr<char[]> &buffer, std::FILE *&file)
{
    file = std::fopen(name, append ? "a" : "w");
    if (!file)
        return false;
    buffer = std::make_unique<char[]>(buffer_size);
    std::setvbuf(file, buffer.get(), _IOFBF, buffer_size);
    return true;
}

// Reloads the environment from the frame database of -I.
int reload_environment(Run &r)
{
    const int slot = vm_open_file(r.input.c_str());
    if (slot < 0)
        return 2;
    r.env_slot = slot;
    // Counted as an error, so that a tool ending through pt_exit ends with 2.
    if (const int status = vm_read_file(slot); status != 0) {
        pt_err(status, vm_data(slot).c_str());
        return 2;
    }
    vm_use_file(slot);
    if (vm_frame_size(0) != VM_ENVIRONMENT_SIZE || !vm_frame_ptr(0)) {
        std::printf("\nvmF%d:%s,Invalid database! frame %d size=%d should be %d!\n", 2023,
                    vm_data(slot).c_str(), 0, static_cast<int>(vm_frame_size(0)), VM_ENVIRONMENT_SIZE);
        pt_err(vm_error_code(2023));
        return 2;
    }
    std::memcpy(&r.record, vm_frame_ptr(0), VM_ENVIRONMENT_SIZE);
    r.record.runtime = nullptr;
    vm_set_environment_record(&r.record, slot);
    return 0;
}

}  // namespace

const PT_SWITCHES &pt_switches()
{
    static const PT_SWITCHES none;
    return run() ? run()->switches : none;
}

int pt_init(int argc, char **argv)
{
    err_init();
    vm_init();
    db_reset_descendant_counter();
    reset_loose_aliases();
    if (!inside_main1) {
        // Called on its own: this is the start of a run.
        if (run())
            release_run(*run());
        run() = std::make_unique<Run>();
        read_switches(*run(), argc, argv);
        if (run()->output.empty())
            run()->output = DEFAULT_BASE;
        run()->switches.output = run()->output.c_str();
        pt_end_environment_hook = &end_hook;
    }
    Run &r = *run();

    r.record = PT_ENVIRONMENT{};
    const int slot = vm_open_file(DEFAULT_BASE);
    r.env_slot = slot;
    vm_use_file(slot);
    vm_set_attr(VM_ATTR_ENVIRONMENT);
    vm_malloc(VM_ENVIRONMENT_SIZE);  // frame 0
    rebuild_runtime(r);
    env_set_word(E_MAGIC, static_cast<std::int32_t>(ENV_MAGIC));
    env_set_word(E_ALIAS_FID, -1);
    env_set_word(E_ALIAS_COUNT, 0);
    env_set_word(E_ALIAS_ALLOC, 0);
    pt_set_run_flags(PT_RUN_DEFAULT | (r.switches.debug ? PT_RUN_DEBUG : 0));
    set_title(r);
    vm_set_environment_record(&r.record, slot);

    pt_set_alias("COMPONENT_DIR", "clib");
    pt_set_alias("COMPONENT_EXT", "vmh");
    pt_set_alias("VALID_PROPERTIES", VALID_PROPERTIES);
    if (!r.switches.skip_config)
        pt_get_config(r.switches.config);
    for (const char *name : {"POWER_NET", "POWER_PORT", "GROUND_NET", "GROUND_PORT"}) {
        char *value = pt_get_alias(name);
        const bool undefined = value && std::strcmp(value, name) == 0;
        pt_free(value);
        if (undefined)
            pt_set_alias(name, name[0] == 'P' ? "VCC" : "GND");
    }
    vm_clear_attr(VM_ATTR_ENVIRONMENT);
    return err_get_total(PT_MSG_WARNING) + err_get_total(PT_MSG_ERROR) > 0 ? 1 : 0;
}

int pt_main1(const char *title, const char *text, int *argc, char ***argv)
{
    // A run that ended without pt_main2 (a stop inside the store) leaves
    // its files open: close them before starting again.
    if (run())
        release_run(*run());
    run() = std::make_unique<Run>();
    Run &r = *run();
    r.title = title ? title : "";
    pt_end_environment_hook = &end_hook;

    std::printf("\n%s\n%s\n", title ? title : "", text ? text : "");
    std::fflush(stdout);
    vm_init();
    err_init();
    db_reset_descendant_counter();
    reset_loose_aliases();

    // The argument list with argument files replaced by their words.
    const int count = argc ? *argc : 0;
    char **args = argv ? *argv : nullptr;
    for (int i = 0; i < count; ++i) {
        const char *arg = args[i] ? args[i] : "";
        if (i > 0 && arg[0] == '@') {
            if (!read_argument_file(arg + 1, r.words))
                std::printf("Warning! cannot read the argument file %s.\n", arg + 1);
            continue;
        }
        r.words.emplace_back(arg);
    }
    for (std::string &w : r.words)
        r.argv.push_back(w.data());
    r.argv.push_back(nullptr);
    if (argc)
        *argc = static_cast<int>(r.words.size());
    if (argv)
        *argv = r.argv.data();
    read_switches(r, static_cast<int>(r.words.size()), r.argv.data());
    // Without -O the save goes to "toolbase", also after a reload with -I:
    // the input database is never overwritten unless -O names it.
    if (r.output.empty())
        r.output = DEFAULT_BASE;
    r.switches.output = r.output.c_str();

    struct Inside {
        Inside() { inside_main1 = true; }
        ~Inside() { inside_main1 = false; }
    } inside;
    if (r.input.empty()) {
        if (pt_init(static_cast<int>(r.words.size()), r.argv.data()) != 0)
            return 2;
    } else {
        const std::string input_file = r.input + ".vm6";
        if (is_text_database(input_file)) {
            // A text database is handed on under the output name; the
            // environment itself starts fresh.
            const std::string output_file = r.output + ".vm6";
            if (input_file != output_file && !copy_text_database(input_file, output_file))
                return 2;
            if (pt_init(static_cast<int>(r.words.size()), r.argv.data()) != 0)
                return 2;
        } else if (reload_environment(r) != 0) {
            return 2;
        }
    }
    rebuild_runtime(r);
    pt_set_run_flags(PT_RUN_DEFAULT | (r.switches.debug ? PT_RUN_DEBUG : 0));
    set_title(r);
    if (!r.input.empty() && !r.config.empty())
        pt_get_config(r.config.c_str());

    if (!r.log.empty()) {
        if (!open_stream(r.log.c_str(), r.switches.append, LOG_BUFFER, r.log_buffer, r.log_file)) {
            pt_msg(PT_WARN_LOG_FILE, r.log.c_str());
            return 2;
        }
        r.runtime->log_stream = r.log_file;
    }
    if (!r.report.empty()) {
        if (r.report == r.log && r.log_file) {
            r.runtime->report_stream = r.log_file;
        } else {
            if (!open_stream(r.report.c_str(), r.switches.append, REPORT_BUFFER, r.report_buffer, r.report_file)) {
                pt_msg(PT_WARN_REPORT_FILE, r.report.c_str());
                return 2;
            }
            r.runtime->report_stream = r.report_file;
        }
    }
    return 0;
}

int pt_end_environment(int run_status)
{
    if (!run())
        return 0;
    Run &r = *run();
    int result = 0;
    if (r.switches.save && run_status != 2 && r.env_slot >= 0 && Environ == &r.record) {
        const int previous = vm_use_file(r.env_slot);
        if (void *frame0 = vm_frame_ptr(0); frame0 && vm_frame_size(0) == VM_ENVIRONMENT_SIZE) {
            std::memcpy(frame0, &r.record, VM_ENVIRONMENT_SIZE);
            // The run-time pointer means nothing in a file.
            std::memset(frame0, 0, sizeof(PT_RUNTIME *));
        }
        result = vm_write_file(r.output.c_str(), 0);
        if (result != 0)
            pt_err(result, vm_temp(r.env_slot).c_str());
        vm_use_file(previous);
    }
    release_run(r);
    run().reset();
    if (pt_end_environment_hook == &end_hook)
        pt_end_environment_hook = nullptr;
    return result;
}
