// The process-wide table of property names and the PropName handles into it.
//
// The table is created by the first named PropName.  It is destroyed when the
// last user is gone; users are the PropName objects and the Property nodes,
// because a node keeps a reference to its name entry after the PropName it
// was built from has died.
#include <Lmr_Util/PropName.h>

#include <cstdint>
#include <iostream>
#include <string_view>

#include "PropertyInternal.h"

namespace {

long livingPropNames = 0;  // PropName objects
long tableUsers = 0;       // PropName objects and Property nodes

const std::string emptyName;

} // namespace

StringPropTypeChMap *PropName::PropNameTable = nullptr;

const char *PropTypeDumpWord(PropType type) {
    static const char *const words[8] = {"PROPNAME",      "LONGPROP",          "NODEPROP",
                                         "INSTANCEPROP",  "BITFLAGSPROP",      "NODEARRAYPROP",
                                         "INSTANCEARRAYPROP", "GENERICPROP"};
    const int value = static_cast<int>(type);
    return value >= 0 && value < 8 ? words[value] : words[0];
}

// ---------------------------------------------------------------------------
// The name table

StringPropTypeChMap::StringPropTypeChMap() : heads{}, entryCount(0) {}

StringPropTypeChMap::~StringPropTypeChMap() {
    for (PropNameEntry *&head : heads) {
        while (head) {
            PropNameEntry *next = head->next;
            delete head;
            head = next;
        }
    }
}

unsigned StringPropTypeChMap::Hash(const char *data, std::size_t length) {
    std::uint32_t h = 0;
    for (std::size_t i = 0; i < length; ++i) {
        h += static_cast<unsigned char>(data[i]) & 0x5Fu;
        h ^= h << 7;
    }
    return h;
}

unsigned StringPropTypeChMap::Bucket(const char *data, std::size_t length) {
    return static_cast<std::uint32_t>(Hash(data, length) + 5189204u) % BucketCount;
}

PropNameEntry *StringPropTypeChMap::Find(const char *data, std::size_t length) const {
    for (PropNameEntry *e = heads[Bucket(data, length)]; e; e = e->next)
        if (e->name.size() == length && e->name.compare(0, length, data, length) == 0)
            return e;
    return nullptr;
}

PropNameEntry *StringPropTypeChMap::Insert(const char *data, std::size_t length, PropType type) {
    PropNameEntry *&head = heads[Bucket(data, length)];
    head = new PropNameEntry{std::string(data, length), type, head};
    ++entryCount;
    return head;
}

void StringPropTypeChMap::Dump(std::ostream &os) const {
    os << "\nSTRINGPROPTYPECHMAP" << " | " << BucketCount;
}

// ---------------------------------------------------------------------------
// PropName

void PropName::AddTableUser() { ++tableUsers; }

void PropName::DropTableUser() {
    if (--tableUsers == 0) {
        delete PropNameTable;
        PropNameTable = nullptr;
    }
}

PropName::PropName(const String &text, PropType type) : entry(nullptr) {
    ++livingPropNames;
    AddTableUser();
    try {
        Declare(text, type);
    } catch (...) {
        // The internal-error exit may leave an in-process run by throwing;
        // the object never existed then.
        --livingPropNames;
        DropTableUser();
        throw;
    }
}

void PropName::Declare(const String &text, PropType type) {
    if (!PropNameTable)
        PropNameTable = new StringPropTypeChMap;
    const std::string_view name = LmrUtilTextOf(text);
    entry = PropNameTable->Find(name.data(), name.size());
    if (!entry) {
        entry = PropNameTable->Insert(name.data(), name.size(), type);
    } else if (entry->type != type) {
        std::cerr << "PropName: '";
        std::cerr.write(name.data(), static_cast<std::streamsize>(name.size()));
        std::cerr << "' redeclared with different PropType\n";
        std::cerr.flush();
        __EPLD_Assert("PropName.cpp", __LINE__);
    }
}

PropName::PropName(int zero, PropType) : entry(nullptr) {
    if (zero != 0)
        __EPLD_Assert("PropName.cpp", __LINE__);
    ++livingPropNames;
    AddTableUser();
}

PropName::PropName(PropNameEntry *existing) : entry(existing) {
    ++livingPropNames;
    AddTableUser();
}

PropName::PropName(const PropName &other) : entry(other.entry) {
    ++livingPropNames;
    AddTableUser();
}

PropName &PropName::operator=(const PropName &other) {
    entry = other.entry;
    return *this;
}

PropName::~PropName() {
    --livingPropNames;
    DropTableUser();
}

const std::string &PropName::RetName() const { return entry ? entry->name : emptyName; }

PropType PropName::RetType() const { return entry ? entry->type : ClassType(); }

PropType PropName::ClassType() const { return NOPROPTYPE; }

long PropName::ObjectsAlive() { return livingPropNames; }

void PropName::Dump(std::ostream &os) const {
    os << '\n' << PropTypeDumpWord(RetType()) << " | ";
    const std::string &name = RetName();
    os.write(name.data(), static_cast<std::streamsize>(name.size()));
    os << " | ";
    if (PropNameTable) {
        PropNameTable->Dump(os);
    } else {
        // No table yet (only names without entries exist): the summary is
        // the same, the bucket count being fixed.
        os << "\nSTRINGPROPTYPECHMAP" << " | " << StringPropTypeChMap::BucketCount;
    }
}
