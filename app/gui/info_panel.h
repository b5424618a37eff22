// The information panel: the recording's header data as seven caption/value pairs, white on dark grey.
#ifndef REELDECK_GUI_INFO_PANEL_H
#define REELDECK_GUI_INFO_PANEL_H

#include <QLabel>
#include <QWidget>
#include <array>

#include "player/player_host.h"

namespace reeldeck::gui {

class InfoPanel : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 200;
    static constexpr int kEntries = 7;  // Model Name, IP Address, Serial No., Record Trigger, Date/Time,
                                        // Movie, Audio

    explicit InfoPanel(QWidget* parent);
    void SetInformation(const RecordingInfo& info);
    QString Value(int entry) const { return values_[static_cast<std::size_t>(entry)]->text(); }
    int NeededHeight() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::array<QLabel*, kEntries> captions_{};
    std::array<QLabel*, kEntries> values_{};
};

// The texts the panel shows for `info`, in entry order (exposed for tests).
std::array<QString, InfoPanel::kEntries> InformationTexts(const RecordingInfo& info);

}  // namespace reeldeck::gui

#endif
