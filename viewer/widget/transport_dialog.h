// "Select TCP/UDP": TCP, or UDP with Unicast or Multicast. Unicast and Multicast are enabled only while
// UDP is chosen; Multicast stays disabled when the camera has multicast off.
#ifndef OCUVIEW_WIDGET_TRANSPORT_DIALOG_H
#define OCUVIEW_WIDGET_TRANSPORT_DIALOG_H

#include <QDialog>

#include "control/control_model.h"

class QRadioButton;

namespace ocuview {

class TransportDialog : public QDialog {
    Q_OBJECT
  public:
    // `current` is TCP, UDP unicast or UDP multicast.
    TransportDialog(StreamMode current, bool multicastAvailable, QWidget* parent = nullptr);
    [[nodiscard]] StreamMode choice() const;

  private:
    void UpdateEnabled();
    QRadioButton* tcp_;
    QRadioButton* udp_;
    QRadioButton* unicast_;
    QRadioButton* multicast_;
    bool multicastAvailable_;
};

}  // namespace ocuview

#endif
