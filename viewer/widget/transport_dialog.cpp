#include "transport_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace ocuview {

TransportDialog::TransportDialog(StreamMode current, bool multicastAvailable, QWidget* parent)
    : QDialog(parent),
      tcp_(new QRadioButton(QStringLiteral("TCP"))),
      udp_(new QRadioButton(QStringLiteral("UDP"))),
      unicast_(new QRadioButton(QStringLiteral("Unicast"))),
      multicast_(new QRadioButton(QStringLiteral("Multicast"))),
      multicastAvailable_(multicastAvailable) {
    setWindowTitle(QStringLiteral("Select TCP/UDP"));
    // Two groups: the transport, and the kind of UDP under it.
    auto* transport = new QButtonGroup(this);
    transport->addButton(tcp_);
    transport->addButton(udp_);
    auto* udpKind = new QButtonGroup(this);
    udpKind->addButton(unicast_);
    udpKind->addButton(multicast_);

    const bool udp = current == StreamMode::UdpUnicast || current == StreamMode::UdpMulticast;
    (udp ? udp_ : tcp_)->setChecked(true);
    (current == StreamMode::UdpMulticast && multicastAvailable ? multicast_ : unicast_)->setChecked(true);
    connect(tcp_, &QRadioButton::toggled, this, [this] { UpdateEnabled(); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tcp_);
    layout->addWidget(udp_);
    auto* under = new QVBoxLayout;
    under->setContentsMargins(24, 0, 0, 0);
    under->addWidget(unicast_);
    under->addWidget(multicast_);
    layout->addLayout(under);
    layout->addWidget(buttons);
    UpdateEnabled();
}

void TransportDialog::UpdateEnabled() {
    const bool udp = udp_->isChecked();
    unicast_->setEnabled(udp);
    multicast_->setEnabled(udp && multicastAvailable_);
}

StreamMode TransportDialog::choice() const {
    if (tcp_->isChecked()) return StreamMode::Tcp;
    return multicast_->isChecked() && multicastAvailable_ ? StreamMode::UdpMulticast : StreamMode::UdpUnicast;
}

}  // namespace ocuview
