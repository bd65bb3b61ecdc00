// Prints the MAC address this PC presents to the allowlist, as the login dialog looks it up: what an
// administrator registers in user_mac, and what the local run stack seeds.
#include "NetworkMachineIdentity.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray mac = platform::NetworkMachineIdentity().macAddress().toLatin1();
    if (mac.isEmpty())
        return 1;
    std::printf("%s\n", mac.constData());
    return 0;
}
