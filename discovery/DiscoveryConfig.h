// The discovery's timing constants and peers in one place, so that tests
// may shorten the times and use loopback. The program itself always runs
// with these values.
#pragma once

#include <string>

namespace marlin {

struct DiscoveryConfig {
    int collectionWindowMs = 1300;   // replies are collected this long from the timer's start
    int socketTimeoutMs = 1000;      // `Timeout` of both sockets
    int agentPort = 161;             // where the request goes
    int trapPort = 162;              // the trap listener's port
    std::string requestAddress = "255.255.255.255";
};

}  // namespace marlin
