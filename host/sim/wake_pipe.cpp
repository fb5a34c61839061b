#include "host/sim/wake_pipe.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "host/sim/tcp_server.h"

namespace sim {

bool WakePipe::open(QString *error)
{
    if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) == 0)
        return true;
    *error = systemError("pipe");
    return false;
}

void WakePipe::wake()
{
    const char wake = 1;
    while (::write(m_fds[1], &wake, 1) < 0 && errno == EINTR) {
    }
}

void WakePipe::close()
{
    closeFd(m_fds[0]);
    closeFd(m_fds[1]);
}

bool WakePipe::pause(int ms) const
{
    pollfd wake = {m_fds[0], POLLIN, 0};
    int ready;
    while ((ready = ::poll(&wake, 1, ms)) < 0 && errno == EINTR) {
    }
    return ready == 0;
}

} // namespace sim
