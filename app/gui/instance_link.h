// One Reeldeck per user session: the first instance listens on a local socket named after the window
// class ("QXR video player Class") and the user; a second instance connects, hands over its file (or
// only asks the first to come forward) and ends.
//
// A hand-over message: the 32-bit data word (0x1234 in the high half, the sender's argument count in
// the low half), the byte count of the path including its NUL, then the path and the NUL, all
// little-endian. A connection that closes without a message only raises the window.
#ifndef REELDECK_GUI_INSTANCE_LINK_H
#define REELDECK_GUI_INSTANCE_LINK_H

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <cstdint>

namespace reeldeck::gui {

// The socket name for this user (tests pass their own).
QString DefaultInstanceName();

class InstanceServer : public QObject {
    Q_OBJECT
  public:
    explicit InstanceServer(QObject* parent = nullptr);
    // False when another instance already listens under `name` (or the socket cannot be made).
    bool Listen(const QString& name);

  Q_SIGNALS:
    void raiseRequested();
    void handedOver(uint32_t dataWord, const QString& path);

  private:
    void Accept();
    QLocalServer server_;
};

enum class HandOverResult { kDelivered, kNoInstance };

// The second instance's side: connects to `name` and sends the data word and path (`withFile` false:
// a bare connection that only raises the first window). Waits at most `timeoutMs` in all.
HandOverResult SendHandOver(const QString& name, bool withFile, uint32_t dataWord, const QString& path,
                            int timeoutMs = 3000);

}  // namespace reeldeck::gui

#endif
