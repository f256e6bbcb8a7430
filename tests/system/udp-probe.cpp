// udp-probe: a small UDP sender and listener for the system tests.
//   udp-probe send ADDRESS PORT TEXT      (broadcast allowed)
//   udp-probe listen PORT MILLISECONDS    prints "FROM <address> <text>" per datagram
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "send") == 0) {
        int s = socket(AF_INET, SOCK_DGRAM, 0);
        int on = 1;
        setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[3])));
        if (inet_pton(AF_INET, argv[2], &to.sin_addr) != 1)
            return 2;
        ssize_t n = sendto(s, argv[4], std::strlen(argv[4]), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (n < 0) {
            std::perror("sendto");
            return 1;
        }
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "listen") == 0) {
        int s = socket(AF_INET, SOCK_DGRAM, 0);
        int on = 1;
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[2])));
        at.sin_addr.s_addr = htonl(INADDR_ANY);
        if (bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
            std::perror("bind");
            return 1;
        }
        std::printf("READY\n");
        std::fflush(stdout);
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(argv[3]));
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                break;
            pollfd p{s, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            char buf[2048];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t n = recvfrom(s, buf, sizeof buf - 1, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0)
                continue;
            buf[n] = 0;
            char addr[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &from.sin_addr, addr, sizeof addr);
            std::printf("FROM %s %s\n", addr, buf);
            std::fflush(stdout);
        }
        return 0;
    }
    std::fprintf(stderr, "usage: udp-probe send ADDRESS PORT TEXT | listen PORT MILLISECONDS\n");
    return 2;
}
