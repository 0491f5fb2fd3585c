#include "SerialPort.h"

namespace kordex::link {

QString PortMap::DefaultDevice(const QString& name) {
#ifdef Q_OS_WIN
    return name;
#else
    if (name.size() == 4 && name.startsWith(QLatin1String("COM")) && name[3] >= QChar('1') &&
        name[3] <= QChar('9'))
        return QStringLiteral("/dev/ttyS%1").arg(name[3].unicode() - '1');
    return name;
#endif
}

QString PortMap::DeviceFor(const QString& name) const {
    const auto it = devices_.constFind(name);
    if (it != devices_.constEnd() && !it.value().isEmpty()) return it.value();
    return DefaultDevice(name);
}

}  // namespace kordex::link
