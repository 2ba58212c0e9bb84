#include "ProcessProbe.h"

#include <cerrno>
#include <csignal>

namespace vexlor {

bool processIsAlive(pid_t pid)
{
    if (pid <= 0)
        return false;
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace vexlor
