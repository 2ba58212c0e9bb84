#pragma once
// Tells whether a process exists, by sending it the null signal.

#include <functional>
#include <sys/types.h>

namespace vexlor {

// Alive when kill(pid, 0) succeeds or is refused for lack of permission (a
// process of another user). Pids of 0 or below are never alive: kill() would
// address process groups with them.
[[nodiscard]] bool processIsAlive(pid_t pid);

using ProcessProbe = std::function<bool(pid_t)>;

} // namespace vexlor
