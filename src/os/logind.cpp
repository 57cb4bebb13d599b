#include "os/logind.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QString>
#include <QVariant>

namespace tess {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");

int fail(std::string* error, const QString& text) {
    if (error) *error = text.toStdString();
    return -1;
}

int call(const QDBusConnection& bus, const QString& path, const QString& interface,
         const QString& method, const QList<QVariant>& args, std::string* error) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(args);
    message.setInteractiveAuthorizationAllowed(false);
    const QDBusMessage reply = bus.call(message);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return fail(error, reply.errorName() + QStringLiteral(": ") + reply.errorMessage());
    return 0;
}

}  // namespace

int logind_shutdown(int mode, std::string* error) {
    if (mode != 0 && mode != 1 && mode != 3) return fail(error, QStringLiteral("unknown mode"));

    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return fail(error, QStringLiteral("no system bus"));

    switch (mode) {
        case 0:
            return call(bus, kManagerPath, kManager, QStringLiteral("PowerOff"), {false}, error);
        case 1:
            return call(bus, kManagerPath, kManager, QStringLiteral("Reboot"), {false}, error);
        default:
            break;
    }

    // Log off: our own session, by its id when the environment names it,
    // else the session logind assigns to this process.
    const QString session_id = qEnvironmentVariable("XDG_SESSION_ID");
    if (!session_id.isEmpty())
        return call(bus, kManagerPath, kManager, QStringLiteral("TerminateSession"), {session_id},
                    error);

    QDBusMessage message = QDBusMessage::createMethodCall(kService, kManagerPath, kManager,
                                                          QStringLiteral("GetSessionByPID"));
    message.setArguments({static_cast<uint>(::getpid())});
    message.setInteractiveAuthorizationAllowed(false);
    const QDBusReply<QDBusObjectPath> session = bus.call(message);
    if (!session.isValid())
        return fail(error,
                    session.error().name() + QStringLiteral(": ") + session.error().message());
    return call(bus, session.value().path(), kSession, QStringLiteral("Terminate"), {}, error);
}

}  // namespace tess
