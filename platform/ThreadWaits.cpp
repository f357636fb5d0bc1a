#include "ThreadWaits.h"

#include <sys/resource.h>

namespace tvl {

std::uint64_t ThreadBlockingWaits()
{
#ifdef RUSAGE_THREAD
    struct rusage ru {};
    if (::getrusage(RUSAGE_THREAD, &ru) == 0)
        return static_cast<std::uint64_t>(ru.ru_nvcsw);
#endif
    return 0;
}

} // namespace tvl
