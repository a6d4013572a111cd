// Property lists: singly linked lists of (name, value) nodes, named by their
// head node.  Put and Find move the node they touch to the front, so callers
// replace their head by the result.  Values are untyped pointers, except
// under GenericProp names, where they are GenericType objects owned by their
// node.  Nodes come from a free list that grows 100 nodes at a time and never
// shrinks.
#ifndef LMR_UTIL_PROPERTY_H
#define LMR_UTIL_PROPERTY_H

#include <cstddef>
#include <ostream>
#include <type_traits>

#include <Lmr_Util/PropName.h>

// Base of the values stored under GenericProp names; the node deletes them.
class GenericType {
public:
    GenericType() = default;
    GenericType(const GenericType &) = default;
    GenericType &operator=(const GenericType &) = default;
    virtual ~GenericType();
};

class Property {
public:
    // A node with the name and value in front of next (none for a new list).
    Property(const PropName &name, void *value, Property *next = nullptr);
    // A GenericType value is stored as the address of its GenericType part.
    template <class T, std::enable_if_t<std::is_base_of_v<GenericType, T>, int> = 0>
    Property(const PropName &name, T *value, Property *next = nullptr)
        : Property(name, static_cast<void *>(static_cast<GenericType *>(value)), next) {}
    Property(const Property &) = delete;
    Property &operator=(const Property &) = delete;
    // Deletes the value when the name is a GenericProp, then destroys the rest
    // of the list: destroying a head destroys the whole list.
    virtual ~Property();

    // A line end, "PROPERTY", " | ", the name text, " | ", the value as a
    // pointer; then the same for every following node.
    virtual void Dump(std::ostream &os) const;

    // Gives the node of name the value (a new node in front when the list
    // has none) and returns it as the new head.  An owned GenericType value
    // that is replaced by another one is deleted.
    Property *Put(const PropName &name, void *value);
    template <class T, std::enable_if_t<std::is_base_of_v<GenericType, T>, int> = 0>
    Property *Put(const PropName &name, T *value) {
        return Put(name, static_cast<void *>(static_cast<GenericType *>(value)));
    }
    // The node of name moved to the front (so the new head), or none.
    Property *Find(const PropName &name);
    // The node of name, or none; nothing moves.
    const Property *Find(const PropName &name) const;

    // The type of the node's name.
    PropType RetType() const;
    PropName RetName() const;
    void *RetValue() const { return value; }
    Property *RetNext() const { return next; }

    // Living nodes, and nodes waiting on the free list.
    static long ObjectsAlive();
    static long RetNumOnFreeList();

    // Nodes of this class come from the free list; other sizes (derived
    // classes) from the general allocator.  A failed allocation ends the
    // process through the hard exit with a message.
    static void *operator new(std::size_t size);
    static void operator delete(void *memory, std::size_t size);

private:
    friend void Delete(Property *&head, const PropName &name);
    void SetValue(void *newValue);

    PropNameEntry *name;
    void *value;
    Property *next;
};

// Unlinks the node of name from the list and destroys that node alone.
void Delete(Property *&head, const PropName &name);

// For the tools' own use: a property list head (initially none) and a mark
// for graph traversals (initially 0).
extern Property *NameValueTable;
extern unsigned long TraversalMark;

#endif
