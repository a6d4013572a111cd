// The message managers: UT_MSGMAN loads one message catalogue and formats its
// messages; EPLD_MSGMAN adds the type of the message being written and writes
// the formatted text (head rewrite, wrapping at column 77, indentation,
// routing to the console, the log and the report stream).
//
// A catalogue is a text file <name>.txt, one message a line: the message
// number, white space, and a printf-style text in which \n, \t, \\ and \"
// stand for a line feed, a tab, a backslash and a double quote.  Empty lines
// and lines starting with # are skipped.
#ifndef LMR_ZUTILS_MSGMAN_H
#define LMR_ZUTILS_MSGMAN_H

#include <cstdarg>
#include <map>
#include <string>

class UT_MSGMAN {
public:
    UT_MSGMAN() = default;
    UT_MSGMAN(const UT_MSGMAN &) = default;
    UT_MSGMAN &operator=(const UT_MSGMAN &) = default;
    virtual ~UT_MSGMAN() = default;

    // Loads the catalogue <name>.txt; 1 on success, 0 when it is not found.
    int loadmsgs(const char *name);
    // Parses catalogue text (for loadmsgs and tests); returns 1.
    int loadtext(const char *name, const std::string &text);
    // The catalogue text of a message number, or null.
    const char *find_text(int number) const;
    const std::string &catalogue() const { return catalogue_; }

    // Where the message being written comes from.
    void set_origin(const char *catalogue, int number);
    const std::string &origin_catalogue() const { return origin_catalogue_; }
    int origin_number() const { return origin_number_; }

    // Formats a message and hands it to msg_write.  A warning or error
    // (types 1, 2, 5) from the catalogue gets the head "[LABEL]:" followed by
    // the catalogue name in an 8-character field, the number and " - ".
    void format_ready(int type, const char *text);
    void format_catalogued(int type, int number, va_list args);

    virtual void msg_write(const wchar_t *text);
    virtual void flush() {}

private:
    std::string catalogue_;
    std::map<int, std::string> texts_;
    std::string origin_catalogue_;
    int origin_number_ = 0;
};

class EPLD_MSGMAN : public UT_MSGMAN {
public:
    EPLD_MSGMAN() = default;
    EPLD_MSGMAN(const EPLD_MSGMAN &) = default;
    EPLD_MSGMAN &operator=(const EPLD_MSGMAN &) = default;
    ~EPLD_MSGMAN() override = default;

    void epld_msg_status(const char *text);
    void epld_msg_status(const char *catalogue, int number, va_list args);
    void epld_msg_info(const char *text);
    void epld_msg_info(const char *catalogue, int number, va_list args);
    void epld_msg_warning(const char *text);
    void epld_msg_warning(const char *catalogue, int number, va_list args);
    void epld_msg_error(const char *text);
    void epld_msg_error(const char *catalogue, int number, va_list args);
    void epld_msg_log_screen(const char *text);
    void epld_msg_log_screen(const char *catalogue, int number, va_list args);
    void epld_msg_auto_error(const char *text);
    void epld_msg_auto_error(const char *catalogue, int number, va_list args);

    int epld_loadmsgs(const char *name) { return loadmsgs(name); }
    void set_errfile_name(const char *name);
    void set_error_type(int type) { error_type = type; }
    int get_error_type() const { return error_type; }

    void msg_write(const wchar_t *text) override;
    void flush() override {}

    // The manager whose call is running, or null.
    static EPLD_MSGMAN *current();

private:
    void send(int type, const char *text);
    void send(int type, const char *catalogue, int number, va_list args);

    int error_type = 3;
};

// The current component's catalogue name (set_errfile_name copies it here).
const char *pt_current_catalogue();

// Wraps and indents a message: every line starts with indent spaces, a line
// is broken at its last space once it reaches column 77, an embedded line
// feed restarts the indentation.
std::string pt_wrap_message(const std::string &text, int indent);

// Rewrites the head of a warning or error for the catalogue (see msg_write).
std::string pt_rewrite_head(const std::string &text, const std::string &catalogue, int number);

#endif
