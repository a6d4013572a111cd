// Typed property names.  Every name text lives once in a process-wide chained
// hash table that records the property type it was first declared with; a
// PropName refers to its table entry, so two names are equal exactly when
// they refer to the same entry.  The typed name classes (longProp, NodeProp,
// ...) fix the type; declaring a text again with another type is an internal
// error.  The table is created with the first named PropName and destroyed
// when no PropName object and no Property node is left.
#ifndef LMR_UTIL_PROPNAME_H
#define LMR_UTIL_PROPNAME_H

#include <cstddef>
#include <ostream>
#include <string>

class String;
class Property;

// Property types; each name class fixes one.
enum PropType : int {
    NOPROPTYPE = 0, // a name without an entry
    LONGPROP = 1,
    NODEPROP = 2,
    INSTANCEPROP = 3,
    BITFLAGSPROP = 4,
    NODEARRAYPROP = 5,
    INSTANCEARRAYPROP = 6,
    GENERICPROP = 7
};

// The dump word of a property type ("LONGPROP", ...), "PROPNAME" for 0.
const char *PropTypeDumpWord(PropType type);

// One entry of the name table: the name text (any bytes), its type and the
// next entry of its chain.
struct PropNameEntry {
    std::string name;
    PropType type;
    PropNameEntry *next;
};

// The name table: 29 chains, never resized; new entries go to the front of
// their chain.
class StringPropTypeChMap {
public:
    static constexpr unsigned BucketCount = 29;

    StringPropTypeChMap();
    ~StringPropTypeChMap();
    StringPropTypeChMap(const StringPropTypeChMap &) = delete;
    StringPropTypeChMap &operator=(const StringPropTypeChMap &) = delete;

    // h = 0; for each byte c: h += c & 0x5F, h ^= h << 7 (32 bits).
    static unsigned Hash(const char *data, std::size_t length);
    // (Hash + 5189204) mod 29.
    static unsigned Bucket(const char *data, std::size_t length);

    PropNameEntry *Find(const char *data, std::size_t length) const;
    PropNameEntry *Insert(const char *data, std::size_t length, PropType type);

    // First entry of a chain, for walking it.
    const PropNameEntry *Chain(unsigned bucket) const { return heads[bucket]; }
    std::size_t Entries() const { return entryCount; }
    unsigned Buckets() const { return BucketCount; }

    // A line end, "STRINGPROPTYPECHMAP", " | ", the bucket count.
    void Dump(std::ostream &os) const;

private:
    PropNameEntry *heads[BucketCount];
    std::size_t entryCount;
};

class PropName {
public:
    PropName(const PropName &other);
    PropName &operator=(const PropName &other);
    virtual ~PropName();

    // A line end, the dump word, " | ", the name text, " | ", and the table
    // summary.
    virtual void Dump(std::ostream &os) const;

    bool operator==(const PropName &other) const { return entry == other.entry; }
    bool operator!=(const PropName &other) const { return entry != other.entry; }
    // 1 when the name refers to an entry.
    operator int() const { return entry != nullptr; }

    // The name text; empty for a name without an entry.
    const std::string &RetName() const;
    // The type of the entry; for a name without an entry, the class's type.
    PropType RetType() const;

    // Number of living PropName objects.
    static long ObjectsAlive();

    // The process-wide name table, or none.
    static StringPropTypeChMap *PropNameTable;

protected:
    // Looks text up, adds it with type when missing; another type is an
    // internal error.
    PropName(const String &text, PropType type);
    // zero must be 0: a name without an entry.
    PropName(int zero, PropType type);
    // The type the class fixes (0 for the base class).
    virtual PropType ClassType() const;

private:
    friend class Property;
    friend void Delete(Property *&head, const PropName &name);
    explicit PropName(PropNameEntry *existing);
    void Declare(const String &text, PropType type);
    // The table lives while PropName objects or Property nodes do.
    static void AddTableUser();
    static void DropTableUser();

    PropNameEntry *entry;
};

// The typed name classes.  Each is built from a name text, or from 0 for a
// name without an entry.
#define LMR_TYPED_PROPNAME(ClassName, TypeValue)                                                   \
    class ClassName : public PropName {                                                            \
    public:                                                                                        \
        explicit ClassName(const String &text) : PropName(text, TypeValue) {}                     \
        explicit ClassName(int zero) : PropName(zero, TypeValue) {}                               \
        ClassName(const ClassName &other) = default;                                               \
        ClassName &operator=(const ClassName &other) = default;                                    \
                                                                                                   \
    protected:                                                                                     \
        PropType ClassType() const override { return TypeValue; }                                  \
    }

LMR_TYPED_PROPNAME(longProp, LONGPROP);
LMR_TYPED_PROPNAME(NodeProp, NODEPROP);
LMR_TYPED_PROPNAME(InstanceProp, INSTANCEPROP);
LMR_TYPED_PROPNAME(BitFlagsProp, BITFLAGSPROP);
LMR_TYPED_PROPNAME(NodeArrayProp, NODEARRAYPROP);
LMR_TYPED_PROPNAME(InstanceArrayProp, INSTANCEARRAYPROP);
LMR_TYPED_PROPNAME(GenericProp, GENERICPROP);

#undef LMR_TYPED_PROPNAME

#endif
