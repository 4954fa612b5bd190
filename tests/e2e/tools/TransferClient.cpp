// corvaline-transfer-client: a sender that says what it is told, for the end-to-end tests.
//
//   corvaline-transfer-client HOST FILES-NUMBER FILES-TOTALSIZE FILE-PATH FILE-NAME FILE-SIZE
//
// Offers one unencrypted transfer with those values to HOST's transfer port, sends the file
// header when the offer is taken and then the five bytes "evil!". Prints "decision N" and
// "answer N" as they come ("-" for a line that did not come). One thread.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/codec/PacketCodec.h"
#include "core/codec/TransferHeader.h"

namespace {

using namespace corvaline;

bool sendLine(int fd, const HeaderFields& fields) {
    const auto line = prepareHeader(PacketCodec::shared(), fields);
    return line && ::send(fd, line->data(), line->size(), MSG_NOSIGNAL) ==
                       static_cast<ssize_t>(line->size());
}

// The value of `name` in the next line, "-" when no line came.
std::string readValue(int fd, const std::string& name) {
    std::string line;
    char c = 0;
    while (!line.ends_with("\r\n") && ::recv(fd, &c, 1, 0) == 1) {
        line += c;
    }
    if (!line.ends_with("\r\n")) {
        return "-";
    }
    const ByteView bytes(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
    for (const auto& [key, value] : ParseTransferHeader(PacketCodec::shared(), bytes)) {
        if (key == name) {
            return value;
        }
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr,
                     "usage: corvaline-transfer-client HOST FILES-NUMBER FILES-TOTALSIZE "
                     "FILE-PATH FILE-NAME FILE-SIZE\n");
        return 2;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval limit{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(19880);
    if (::inet_pton(AF_INET, argv[1], &address.sin_addr) != 1 ||
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror("connect");
        return 1;
    }
    sendLine(fd, {{"CONTENT-TYPE", "FILESENDREQUEST"},
                  {"SESSID", "4711"},
                  {"SESSAES", "0"},
                  {"FROM-ID", "A31337"},
                  {"FROM-USERNAMEDISPLAY", "../../Mallory"},
                  {"TO-USER", "*"},
                  {"FILES-NUMBER", argv[2]},
                  {"FILES-TOTALSIZE", argv[3]}});
    const std::string decision = readValue(fd, "accept_files");
    std::printf("decision %s\n", decision.c_str());
    if (decision == "1") {
        sendLine(fd, {{"CONTENT-TYPE", "SENDFILESTREAM"},
                      {"FILE-PATH", argv[4]},
                      {"FILE-NAME", argv[5]},
                      {"FILE-SIZE", argv[6]},
                      {"FILE-PERMISSIONS", "420"}});
        ::send(fd, "evil!", 5, MSG_NOSIGNAL);
        std::printf("answer %s\n", readValue(fd, "accept").c_str());
    }
    ::close(fd);
    return 0;
}
