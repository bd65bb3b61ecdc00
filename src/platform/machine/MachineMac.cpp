// Prints the first of the MAC addresses this PC presents to the allowlist, the one the login dialog's refusal
// names: what an administrator registers in user_mac, and what the local run stack seeds.
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
