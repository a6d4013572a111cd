// The error system: the process-wide LMRError, its six handlers, and the
// collection of errors that FlushGlobalErrorList reports once per distinct
// error.
//
// Collected errors live in a property list under GenericProp names
// "ESSE::<module><number><type>", each value a CollectedError record, with a
// second list holding the keys in the order the errors were first seen.
#include <Lmr_Util/ErrorSystem.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <Lmr_Util/Property.h>
#include <Lmr_Util/TextFunctions.h>
#include <Lmr_Zutils/pt_msg.h>

#include "PropertyInternal.h"

ErrorSystem LMRError(PTErrorHandler);

ErrorHandler ErrorSystem::SetErrorHandler(ErrorHandler newHandler) {
    ErrorHandler previous = handler;
    handler = newHandler;
    return previous;
}

unsigned char ErrorSystem::operator()(const ErrorCode &code, int errorType, ...) {
    va_list arguments;
    va_start(arguments, errorType);
    unsigned char result = 0;
    try {
        if (handler)
            result = handler(code, errorType, reinterpret_cast<char *>(&arguments));
    } catch (...) {
        // An exit hook may leave an in-process run by throwing.
        va_end(arguments);
        throw;
    }
    va_end(arguments);
    return result;
}

// ---------------------------------------------------------------------------
// Handlers that report

namespace {

// The caller's argument list behind a handler's char* argument.
va_list *argumentList(char *arguments) { return reinterpret_cast<va_list *>(arguments); }

// Reports a code without arguments (a handler called with no list).
int reportWithoutArguments(int code, ...) {
    va_list none;
    va_start(none, code);
    int result = pt_msg_args(code, 0, 1, 1, none);
    va_end(none);
    return result;
}

// The message code of an error: module * 2^24 + type * 2^16 + number, in
// 32-bit wrap-around arithmetic.
int messageCodeOf(const ErrorCode &code, int errorType) {
    const unsigned value = (static_cast<unsigned>(code.RetModule()) << 24) +
                           (static_cast<unsigned>(errorType) << 16) +
                           static_cast<unsigned>(code.RetErrNum());
    return static_cast<int>(value);
}

} // namespace

unsigned char DefaultErrorHandler(const ErrorCode &code, int errorType, char *) {
    std::fprintf(stderr, "(ErrorType,Module,ErrNum) = (%d,%d,%d)\n", errorType, code.RetModule(),
                 code.RetErrNum());
    return 0;
}

unsigned char QuietErrorHandler(const ErrorCode &, int, char *) { return 0; }

unsigned char PTErrorHandler(const ErrorCode &code, int errorType, char *arguments) {
    EndProgressLine();
    const int messageCode = messageCodeOf(code, errorType);
    // The value and the two flags are not used by the message manager.
    if (arguments)
        pt_msg_args(messageCode, 0, 1, 1, *argumentList(arguments));
    else
        reportWithoutArguments(messageCode);
    return 1;
}

unsigned char PTExitErrorHandler(const ErrorCode &code, int errorType, char *arguments) {
    PTErrorHandler(code, errorType, arguments);
    Lmr_HardExit::Exit();
}

// ---------------------------------------------------------------------------
// Collecting and flushing

namespace {

class CollectedError : public GenericType {
public:
    CollectedError(const ErrorCode &code, int errorType) : code(code), errorType(errorType) {}
    std::vector<std::string> arguments;
    ErrorCode code;
    int errorType;
};

Property *collection = nullptr;
std::vector<std::string> keyList;

std::string decimal(int value) { return Iota(value).str(); }

std::string plainKeyOf(const ErrorCode &code, int errorType) {
    return "ESSE::" + decimal(code.RetModule()) + decimal(code.RetErrNum()) + decimal(errorType);
}

// Without separators two different errors can share a key (module 1 number
// 23 and module 12 number 3); the second one then gets this key instead,
// which no plain key can equal.
std::string separatedKeyOf(const ErrorCode &code, int errorType) {
    return "ESSE::" + decimal(code.RetModule()) + "." + decimal(code.RetErrNum()) + "." +
           decimal(errorType);
}

CollectedError *entryOf(Property *node) {
    return node ? static_cast<CollectedError *>(static_cast<GenericType *>(node->RetValue())) : nullptr;
}

bool sameError(const CollectedError *entry, const ErrorCode &code, int errorType) {
    return entry->code.RetModule() == code.RetModule() && entry->code.RetErrNum() == code.RetErrNum() &&
           entry->errorType == errorType;
}

// Finds the node of key in the collection, moving it to the front.
CollectedError *findCollected(const std::string &key) {
    if (!collection)
        return nullptr;
    GenericProp name{String(key.c_str())};
    Property *node = collection->Find(name);
    if (!node)
        return nullptr;
    collection = node;
    return entryOf(node);
}

void collect(const ErrorCode &code, int errorType, std::string text) {
    std::string key = plainKeyOf(code, errorType);
    CollectedError *entry = findCollected(key);
    if (entry && !sameError(entry, code, errorType)) {
        key = separatedKeyOf(code, errorType);
        entry = findCollected(key);
    }
    if (!entry) {
        entry = new CollectedError(code, errorType);
        GenericProp name{String(key.c_str())};
        collection = collection ? collection->Put(name, entry) : new Property(name, entry);
    }
    if (entry->arguments.empty())
        keyList.push_back(key);
    entry->arguments.push_back(std::move(text));
}

// The next text argument, "" for a null pointer or no argument list.
std::string nextText(va_list *arguments) {
    if (!arguments)
        return std::string();
    const char *text = va_arg(*arguments, const char *);
    return text ? std::string(text) : std::string();
}

constexpr std::size_t JoinLimit = 1500;

} // namespace

unsigned char CollectErrorHandler1(const ErrorCode &code, int errorType, char *arguments) {
    va_list *list = arguments ? argumentList(arguments) : nullptr;
    collect(code, errorType, nextText(list));
    return 0;
}

unsigned char CollectErrorHandler2(const ErrorCode &code, int errorType, char *arguments) {
    va_list *list = arguments ? argumentList(arguments) : nullptr;
    std::string first = nextText(list);
    std::string second = nextText(list);
    collect(code, errorType, "(" + first + "," + second + ")");
    return 0;
}

unsigned char FlushGlobalErrorList(ErrorSystem &system) {
    // The collection is taken over before any handler runs, so that a
    // handler which collects again starts a new collection instead of
    // changing this one under the loop.
    struct Taken {
        Property *list;
        ~Taken() { delete list; }
    } flushing{collection};
    std::vector<std::string> keys = std::move(keyList);
    collection = nullptr;
    keyList.clear();

    for (const std::string &key : keys) {
        GenericProp name{String(key.c_str())};
        Property *node = flushing.list ? flushing.list->Find(name) : nullptr;
        if (!node)
            __EPLD_Assert("ErrorSystem.cpp", __LINE__);
        flushing.list = node;
        CollectedError *entry = entryOf(node);
        std::string joined;
        bool first = true;
        for (const std::string &text : entry->arguments) {
            if (joined.size() >= JoinLimit) {
                joined += ", ...";
                break;
            }
            if (!first)
                joined += ", ";
            joined += text;
            first = false;
        }
        entry->arguments.clear();
        system(entry->code, entry->errorType, joined.c_str());
    }
    return 1;
}
