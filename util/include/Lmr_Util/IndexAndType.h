// A small pair of an index and an id, as the design tools use it to name an
// object of a given kind.
#ifndef LMR_UTIL_INDEXANDTYPE_H
#define LMR_UTIL_INDEXANDTYPE_H

#include <ostream>

class IndexAndType {
public:
    IndexAndType(short index, short id) : index(index), id(id) {}
    IndexAndType(const IndexAndType &other) = default;
    IndexAndType &operator=(const IndexAndType &other) = default;
    virtual ~IndexAndType() = default;

    short RetIndex() const { return index; }
    short RetId() const { return id; }

    bool operator==(const IndexAndType &other) const {
        return index == other.index && id == other.id;
    }
    bool operator!=(const IndexAndType &other) const { return !(*this == other); }

    // Writes index, " | ", id.
    virtual void Dump(std::ostream &os) const;

private:
    short index;
    short id;
};

#endif
