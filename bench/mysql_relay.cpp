// mysql-relay TARGET_PORT: the tests' relay on 127.0.0.1 in front of the MySQL server at TARGET_PORT, for
// trying the real program against someone on the way (capture-login.sh --attack). Prints the port it listens
// on; then each line on its standard input, "as-it-is", "strip" (the greeting's offer of TLS) or "break" (the
// TLS handshake), changes how later connections meet the server. Ends with its input.
#include "TcpRelay.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>

using testsupport::TcpRelay;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int target = argc == 2 ? std::atoi(argv[1]) : 0;
    if (target <= 0 || target > 65535) {
        std::fprintf(stderr, "usage: mysql-relay TARGET_PORT\n");
        return 2;
    }
    // The relay works in a thread of its own: this one only reads the commands.
    TcpRelay relay{quint16(target)};
    std::printf("%u\n", unsigned(relay.port()));
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
        if (line == "as-it-is" || line == "strip" || line == "break")
            relay.setMysql(line == "strip"   ? TcpRelay::Mysql::WithoutTls
                           : line == "break" ? TcpRelay::Mysql::BrokenHandshake
                                             : TcpRelay::Mysql::AsItIs);
        else
            std::fprintf(stderr, "mysql-relay: not a command: %s\n", line.c_str());
    }
    return 0;
}
