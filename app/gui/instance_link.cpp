#include "gui/instance_link.h"

#include <unistd.h>
#include <QLocalSocket>
#include <QtEndian>

#include "gui/string_text.h"

namespace reeldeck::gui {

namespace {

constexpr int kWindowClass = 2;  // "QXR video player Class"
constexpr qsizetype kHeaderBytes = 8;
// A Linux path with its NUL; a longer claim is not one of our messages.
constexpr uint32_t kMaxPathBytes = 4096;

QByteArray EncodeHandOver(uint32_t dataWord, const QString& path) {
    QByteArray bytes = path.toUtf8();
    bytes.append('\0');
    QByteArray message(kHeaderBytes, '\0');
    qToLittleEndian<uint32_t>(dataWord, message.data());
    qToLittleEndian<uint32_t>(static_cast<uint32_t>(bytes.size()), message.data() + 4);
    return message + bytes;
}

}  // namespace

QString DefaultInstanceName() {
    QString name = StringText(kWindowClass);
    name.replace(' ', '_');
    return name + "-" + QString::number(::getuid());
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent) {
    connect(&server_, &QLocalServer::newConnection, this, &InstanceServer::Accept);
}

bool InstanceServer::Listen(const QString& name) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (server_.listen(name)) return true;
    // A socket file left by an instance that crashed: nobody answers on it, so take it over.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(500)) return false;
    QLocalServer::removeServer(name);
    return server_.listen(name);
}

void InstanceServer::Accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        auto handled = std::make_shared<bool>(false);
        auto take = [this, socket, buffer, handled] {
            buffer->append(socket->readAll());
            if (*handled || buffer->size() < kHeaderBytes) return;
            const uint32_t word = qFromLittleEndian<uint32_t>(buffer->constData());
            const uint32_t length = qFromLittleEndian<uint32_t>(buffer->constData() + 4);
            if (length == 0 || length > kMaxPathBytes) {
                *handled = true;  // not a message of ours: drop the connection
                socket->disconnectFromServer();
                return;
            }
            if (buffer->size() < kHeaderBytes + static_cast<qsizetype>(length)) return;
            *handled = true;
            const QByteArray path = buffer->mid(kHeaderBytes, static_cast<qsizetype>(length) - 1);
            Q_EMIT raiseRequested();
            Q_EMIT handedOver(word, QString::fromUtf8(path));
            socket->disconnectFromServer();
        };
        connect(socket, &QLocalSocket::readyRead, this, take);
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer, handled] {
            if (!*handled && buffer->isEmpty()) Q_EMIT raiseRequested();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0) take();
    }
}

HandOverResult SendHandOver(const QString& name, bool withFile, uint32_t dataWord, const QString& path,
                            int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return HandOverResult::kNoInstance;
    if (withFile) {
        socket.write(EncodeHandOver(dataWord, path));
        if (!socket.waitForBytesWritten(timeoutMs)) return HandOverResult::kNoInstance;
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return HandOverResult::kDelivered;
}

}  // namespace reeldeck::gui
