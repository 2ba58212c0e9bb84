#pragma once
// The interface every provider collector implements. collect() never fails:
// problems end in a smaller report. It is entered on the caller's thread and
// moves slow file work off it itself. The hub runs one pass at a time, yet
// collectors guard their own state, as other callers may overlap calls.
//
// In every coroutine here, a future or task is made in its own statement and
// then awaited, never as a temporary inside the co_await expression: g++ 12
// destroys such temporaries with non-trivial captures or members twice (a
// double free of the context's map).

#include "Records.h"

#include <QCoroTask>
#include <QStringList>

namespace vexlor {

class AgentCollector {
public:
    virtual ~AgentCollector() = default;
    [[nodiscard]] virtual QString providerID() const = 0;
    [[nodiscard]] virtual QString displayName() const = 0;
    virtual QCoro::Task<ProviderReport> collect(CollectorContext context) = 0;

    // The files and folders whose change may alter the next report, as the
    // last finished collect() found them (a few dozen at most: the live
    // sessions' files and the folders new sessions appear in). Read on the
    // caller's thread between passes.
    [[nodiscard]] virtual QStringList watchPaths() const { return {}; }
};

} // namespace vexlor
