// Numbered errors raised through an exchangeable handler.  A tool raises an
// error with LMRError(ErrorCode(module, number), errorType, arguments...);
// the current handler decides what happens: print it, ignore it, report it
// through the message manager, end the process, or collect it so that
// FlushGlobalErrorList later reports each distinct error once with all the
// arguments it was raised with.
#ifndef LMR_UTIL_ERRORSYSTEM_H
#define LMR_UTIL_ERRORSYSTEM_H

class ErrorCode {
public:
    constexpr ErrorCode(int module, int errNum) : module(module), errNum(errNum) {}
    ErrorCode(const ErrorCode &other) = default;
    ErrorCode &operator=(const ErrorCode &other) = default;

    int RetModule() const { return module; }
    int RetErrNum() const { return errNum; }

private:
    int module;
    int errNum;
};

// An error handler gets the code, the error type and the address of the
// caller's variable argument list (a va_list*, passed as char*).
typedef unsigned char (*ErrorHandler)(const ErrorCode &code, int errorType, char *arguments);

class ErrorSystem {
public:
    constexpr explicit ErrorSystem(ErrorHandler handler) : handler(handler) {}
    ErrorSystem(const ErrorSystem &other) = default;
    ErrorSystem &operator=(const ErrorSystem &other) = default;

    // Installs handler and returns the previous one.
    ErrorHandler SetErrorHandler(ErrorHandler newHandler);
    ErrorHandler RetErrorHandler() const { return handler; }

    // Calls the current handler with the code, the error type and the address
    // of the variable arguments; returns its result.
    unsigned char operator()(const ErrorCode &code, int errorType, ...);

private:
    ErrorHandler handler;
};

// Writes "(ErrorType,Module,ErrNum) = (type,module,number)\n" on standard
// error; 0.
unsigned char DefaultErrorHandler(const ErrorCode &code, int errorType, char *arguments);
// Does nothing; 0.
unsigned char QuietErrorHandler(const ErrorCode &code, int errorType, char *arguments);
// Ends a pending progress line, then reports the message code
// module * 2^24 + errorType * 2^16 + number through the message manager with
// the arguments; 1.
unsigned char PTErrorHandler(const ErrorCode &code, int errorType, char *arguments);
// As PTErrorHandler, then the hard exit; does not return.
unsigned char PTExitErrorHandler(const ErrorCode &code, int errorType, char *arguments);
// Collect the error with one text argument (a char*), or with two, stored as
// "(first,second)"; 0.
unsigned char CollectErrorHandler1(const ErrorCode &code, int errorType, char *arguments);
unsigned char CollectErrorHandler2(const ErrorCode &code, int errorType, char *arguments);

// Reports every collected error once through system, with its argument texts
// joined by ", " (cut with ", ..." once 1500 characters are reached), in the
// order the errors were first collected, and empties the collection; 1.
unsigned char FlushGlobalErrorList(ErrorSystem &system);

// The process-wide error system; holds PTErrorHandler from library load on.
extern ErrorSystem LMRError;

#endif
