#include "daemon/FinderFunctions.h"

namespace presto {

OSErr runFinderFunction(int /*number*/) {
    return kNoErr;
}

} // namespace presto
