#ifndef HOST_SIM_WAKE_PIPE_H
#define HOST_SIM_WAKE_PIPE_H

// The stop signal of a server's threads: a pipe that is never read, so once
// written it wakes every poll that watches fd() for good, and ends every
// pause() early.

#include <QString>

namespace sim {

class WakePipe
{
public:
    WakePipe() = default;
    ~WakePipe() { close(); }
    WakePipe(const WakePipe &) = delete;
    WakePipe &operator=(const WakePipe &) = delete;

    // False with the reason when no pipe could be made.
    bool open(QString *error);
    void wake();
    void close();
    // Readable once woken.
    int fd() const { return m_fds[0]; }
    // Sleeps ms unless woken first; false when woken.
    bool pause(int ms) const;

private:
    int m_fds[2] = {-1, -1};
};

} // namespace sim

#endif // HOST_SIM_WAKE_PIPE_H
