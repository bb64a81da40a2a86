#include "tests/sim/stand_in_node.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace rtq::sim::test {

StandInNode::StandInNode() {
    const int host = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (host < 0) return;
    char name[256];
    if (grantpt(host) != 0 || unlockpt(host) != 0 || ptsname_r(host, name, sizeof name) != 0) {
        close(host);
        return;
    }
    m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (m_slave < 0 || tcgetattr(m_slave, &t) != 0) {
        close(host);
        return;
    }
    // Binary data must pass untouched, as on a USB node.
    cfmakeraw(&t);
    tcsetattr(m_slave, TCSANOW, &t);
    // The printer opens the node through a link of its own: the pty's name
    // is given to the next pty made once this one is closed, perhaps by a
    // test running beside this one, and a server reopening it would then
    // serve another test's line.
    char folder[] = "/tmp/rtq-node-XXXXXX";
    if (!mkdtemp(folder)) {
        close(m_slave);
        close(host);
        m_slave = -1;
        return;
    }
    m_folder = folder;
    m_path = m_folder + "/node";
    if (symlink(name, m_path.c_str()) != 0) {
        close(m_slave);
        close(host);
        m_slave = -1;
        rmdir(m_folder.c_str());
        return;
    }
    m_host = host;
}

int StandInNode::Unread() const {
    int n = -1;
    if (m_slave < 0 || ioctl(m_slave, FIONREAD, &n) != 0) return -1;
    return n;
}

void StandInNode::Close() {
    // The name goes before the pty, so it never leads to a successor.
    if (!m_folder.empty()) {
        unlink(m_path.c_str());
        rmdir(m_folder.c_str());
        m_folder.clear();
    }
    if (m_slave >= 0) close(m_slave);
    if (m_host >= 0) close(m_host);
    m_slave = m_host = -1;
}

}  // namespace rtq::sim::test
