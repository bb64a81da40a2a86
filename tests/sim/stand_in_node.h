#pragma once
// A pseudo-terminal standing in for the printer side of a USB gadget: the
// printer opens the slave path as its node, the test plays the host on the
// master. The test holds a raw slave descriptor of its own, so the printer
// may close and reopen the node without hanging the line up.

#include <string>

namespace rtq::sim::test {

class StandInNode {
public:
    StandInNode();
    ~StandInNode() { Close(); }
    StandInNode(const StandInNode&) = delete;
    StandInNode& operator=(const StandInNode&) = delete;

    bool Ok() const { return m_host >= 0; }
    const std::string& Path() const { return m_path; }
    int Host() const { return m_host; }
    // Bytes the host wrote that the printer has not read yet.
    int Unread() const;
    // The host side goes away: the printer's descriptor hangs up and the
    // path disappears.
    void Close();

private:
    int m_host = -1;
    int m_slave = -1;
    std::string m_folder;
    std::string m_path;
};

}  // namespace rtq::sim::test
