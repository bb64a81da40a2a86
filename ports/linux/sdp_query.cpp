#include "ports/linux/sdp_query.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>


namespace rtq {

namespace {

struct SessionCloser {
    void operator()(sdp_session_t* s) const { sdp_close(s); }
};
using Session = std::unique_ptr<sdp_session_t, SessionCloser>;

// The library's lists own what they hold; these free both.
void FreeRecord(void* r) { sdp_record_free(static_cast<sdp_record_t*>(r)); }
void FreeProtocolList(void* p) { sdp_list_free(static_cast<sdp_list_t*>(p), nullptr); }

struct ListFree {
    sdp_free_func_t item;
    void operator()(sdp_list_t* l) const { sdp_list_free(l, item); }
};
using List = std::unique_ptr<sdp_list_t, ListFree>;

// The connect of the session's socket, started non-blocking: wait for it
// until endMs and take its outcome.
int AwaitConnect(DeviceSyscalls& sys, int fd, int64_t endMs) {
    short revents = 0;
    const int r = PollUntil(sys, fd, POLLOUT, endMs, &revents);
    if (r < 0) return errno;
    if (r == 0) return ETIMEDOUT;
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
    return err;
}

// The RFCOMM channel of the first record that has one.
int ChannelOf(sdp_list_t* records, uint8_t* channel) {
    for (sdp_list_t* r = records; r; r = r->next) {
        sdp_list_t* protos = nullptr;
        if (sdp_get_access_protos(static_cast<sdp_record_t*>(r->data), &protos) != 0) continue;
        List owned(protos, ListFree{FreeProtocolList});
        const int port = sdp_get_proto_port(protos, RFCOMM_UUID);
        if (port >= 1 && port <= 30) {
            *channel = static_cast<uint8_t>(port);
            return 0;
        }
    }
    return EPROTONOSUPPORT;
}

}  // namespace

int QuerySerialPortChannel(DeviceSyscalls& sys, const std::array<uint8_t, 6>& address,
                           int64_t endMs, uint8_t* channel) {
    bdaddr_t any{};
    bdaddr_t target{};
    // The library keeps the address least significant byte first.
    for (size_t i = 0; i < address.size(); ++i) target.b[i] = address[address.size() - 1 - i];

    errno = 0;
    // The library refuses SDP_RETRY_IF_BUSY together with SDP_NON_BLOCKING.
    Session session(sdp_connect(&any, &target, SDP_NON_BLOCKING));
    if (!session) return errno ? errno : EHOSTUNREACH;
    const int fd = sdp_get_socket(session.get());
    if (const int err = AwaitConnect(sys, fd, endMs); err != 0) return err;
    // The request and its answer are the library's blocking calls.
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;

    uuid_t serialPort;
    sdp_uuid16_create(&serialPort, SERIAL_PORT_SVCLASS_ID);
    List search(sdp_list_append(nullptr, &serialPort), ListFree{nullptr});
    uint32_t allAttributes = 0x0000ffff;
    List attributes(sdp_list_append(nullptr, &allAttributes), ListFree{nullptr});
    if (!search || !attributes) return ENOMEM;
    sdp_list_t* found = nullptr;
    errno = 0;
    if (sdp_service_search_attr_req(session.get(), search.get(), SDP_ATTR_REQ_RANGE,
                                    attributes.get(), &found) != 0)
        return errno ? errno : EPROTO;
    List records(found, ListFree{FreeRecord});
    return ChannelOf(records.get(), channel);
}

}  // namespace rtq
