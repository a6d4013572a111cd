// Property list nodes, their free list, and the list operations.
//
// Long lists are common (a million nodes must work), so nothing here
// recurses along a list: destruction and dumping walk it in a loop.
#include <Lmr_Util/Property.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include <Lmr_Zutils/pt_msg.h>

#include "PropertyInternal.h"

Property *NameValueTable = nullptr;
unsigned long TraversalMark = 0;

// Under the address sanitizer, nodes waiting on the free list are poisoned,
// so that a use of a destroyed node is reported instead of silently reading
// a recycled one.
#if defined(__SANITIZE_ADDRESS__)
#define LMR_POISON_FREE_NODES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LMR_POISON_FREE_NODES 1
#endif
#endif

#ifdef LMR_POISON_FREE_NODES
#include <sanitizer/asan_interface.h>
#define LMR_POISON_NODE(node) ASAN_POISON_MEMORY_REGION((node), sizeof(Property))
#define LMR_UNPOISON_NODE(node) ASAN_UNPOISON_MEMORY_REGION((node), sizeof(Property))
#else
#define LMR_POISON_NODE(node) ((void)(node))
#define LMR_UNPOISON_NODE(node) ((void)(node))
#endif

namespace {

constexpr int NodesPerRefill = 100;

// A node waiting on the free list.
struct FreeNode {
    FreeNode *next;
};

// Refill blocks are chained through a header so that they stay reachable;
// they are never given back.
struct alignas(alignof(std::max_align_t)) RefillBlock {
    RefillBlock *previous;
};

FreeNode *freeList = nullptr;
long freeCount = 0;
long livingNodes = 0;
RefillBlock *refillBlocks = nullptr;

constexpr std::size_t NodeStride =
    (sizeof(Property) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) *
    alignof(std::max_align_t);

void refillFreeList() {
    void *memory =
        std::malloc(sizeof(RefillBlock) + NodeStride * static_cast<std::size_t>(NodesPerRefill));
    if (!memory)
        LmrUtilOutOfMemory("Property: out of memory for property list nodes");
    RefillBlock *block = static_cast<RefillBlock *>(memory);
    block->previous = refillBlocks;
    refillBlocks = block;
    unsigned char *nodes = reinterpret_cast<unsigned char *>(block + 1);
    // Pushed in reverse so that nodes are handed out in address order.
    for (int i = NodesPerRefill - 1; i >= 0; --i) {
        FreeNode *node = reinterpret_cast<FreeNode *>(nodes + NodeStride * static_cast<std::size_t>(i));
        node->next = freeList;
        freeList = node;
        LMR_POISON_NODE(node);
    }
    freeCount += NodesPerRefill;
}

} // namespace

GenericType::~GenericType() = default;

void *Property::operator new(std::size_t size) {
    if (size != sizeof(Property)) {
        void *memory = std::malloc(size);
        if (!memory)
            LmrUtilOutOfMemory("Property: out of memory for property list nodes");
        return memory;
    }
    if (!freeList)
        refillFreeList();
    FreeNode *node = freeList;
    LMR_UNPOISON_NODE(node);
    freeList = node->next;
    --freeCount;
    return node;
}

void Property::operator delete(void *memory, std::size_t size) {
    if (!memory)
        return;
    if (size != sizeof(Property)) {
        std::free(memory);
        return;
    }
    FreeNode *node = static_cast<FreeNode *>(memory);
    node->next = freeList;
    freeList = node;
    ++freeCount;
    LMR_POISON_NODE(node);
}

long Property::ObjectsAlive() { return livingNodes; }

long Property::RetNumOnFreeList() { return freeCount; }

Property::Property(const PropName &propName, void *newValue, Property *nextNode)
    : name(propName.entry), value(newValue), next(nextNode) {
    ++livingNodes;
    PropName::AddTableUser();
}

Property::~Property() {
    if (name && name->type == GENERICPROP && value)
        delete static_cast<GenericType *>(value);
    value = nullptr;
    // Destroy the rest one node at a time, each cut off from its successor
    // first, so that the work is a loop and not a recursion.
    Property *rest = next;
    next = nullptr;
    while (rest) {
        Property *after = rest->next;
        rest->next = nullptr;
        delete rest;
        rest = after;
    }
    --livingNodes;
    PropName::DropTableUser();
}

void Property::SetValue(void *newValue) {
    if (name && name->type == GENERICPROP && value && value != newValue)
        delete static_cast<GenericType *>(value);
    value = newValue;
}

Property *Property::Put(const PropName &propName, void *newValue) {
    Property *node = Find(propName);
    if (node) {
        node->SetValue(newValue);
        return node;
    }
    return new Property(propName, newValue, this);
}

Property *Property::Find(const PropName &propName) {
    if (name == propName.entry)
        return this;
    Property *previous = this;
    for (Property *node = next; node; previous = node, node = node->next) {
        if (node->name == propName.entry) {
            previous->next = node->next;
            node->next = this;
            return node;
        }
    }
    return nullptr;
}

const Property *Property::Find(const PropName &propName) const {
    for (const Property *node = this; node; node = node->next)
        if (node->name == propName.entry)
            return node;
    return nullptr;
}

PropType Property::RetType() const { return name ? name->type : NOPROPTYPE; }

PropName Property::RetName() const { return PropName(name); }

void Property::Dump(std::ostream &os) const {
    for (const Property *node = this; node; node = node->next) {
        os << '\n' << "PROPERTY" << " | ";
        if (node->name)
            os.write(node->name->name.data(), static_cast<std::streamsize>(node->name->name.size()));
        os << " | " << static_cast<const void *>(node->value);
    }
}

void Delete(Property *&head, const PropName &propName) {
    Property **link = &head;
    while (*link) {
        Property *node = *link;
        if (node->name == propName.entry) {
            *link = node->RetNext();
            // Cut the node off so that its destructor leaves the rest alone.
            node->next = nullptr;
            delete node;
            return;
        }
        link = &node->next;
    }
}

void LmrUtilOutOfMemory(const char *what) {
    std::fputs(what, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    // Component 1 (the tool environment), type 2: an error, so that the hard
    // exit ends the run with status 2 instead of 0.
    err_maintain_statistics(pt_make_code(1, 2, 1));
    Lmr_HardExit::Exit();
}
