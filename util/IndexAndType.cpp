// Dump of the index-and-id pair.
#include <Lmr_Util/IndexAndType.h>

void IndexAndType::Dump(std::ostream &os) const { os << index << " | " << id; }
