// The picture area: the display buffer the engine decodes into, and two off-screen 32-bit images of the
// area's size that take turns as back and front buffer.
//
// Threads: the engine's decoder thread calls CreateDisplayBuffer and ShowPicture, the main thread lays
// out, clears and paints. `lock_` (the picture area's lock) guards every buffer below; ShowPicture copies
// (or stretches) the display buffer into the back buffer under it, swaps, and asks the main thread to
// repaint. Nothing is allocated per picture: the buffers and the stretch tables change only when the
// picture or area size does.
#ifndef REELDECK_GUI_PICTURE_VIEW_H
#define REELDECK_GUI_PICTURE_VIEW_H

#include <QImage>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "gui/layout_rules.h"
#include "player/player_host.h"

namespace reeldeck::gui {

// The alarm band drawn over the bottom of the picture.
enum class AlarmBand { kNone, kSensorInput, kMotionDetection };

class PictureView : public QWidget {
    Q_OBJECT
  public:
    explicit PictureView(QWidget* parent);

    // Main thread: the area's size in logical pixels (a new pair of back buffers, cleared).
    void SetArea(Extent area);
    Extent Area() const;

    // Any thread. A display buffer for pictures of width x height (B, G, R, top-down rows, 4-byte
    // padded); 0 on success.
    int CreateDisplayBuffer(int width, int height, DisplayBuffer& out);
    // Any thread: `picture` (the display buffer) is complete; draw it into the back buffer, with the
    // alarm band the probe reports, and show it.
    void ShowPicture(const DisplayBuffer& picture);
    // Any thread: black picture, no display buffer.
    void Clear();

    // Asked once per shown picture, on the showing thread; it also expires old alarms. Set it before
    // the engine runs.
    void SetAlarmProbe(std::function<AlarmBand()> probe) { alarmProbe_ = std::move(probe); }

    // A copy of what is on screen now (the front buffer), for the still and capture paths and tests.
    QImage FrontImage() const;
    // Pictures shown since the area was created (tests wait on it).
    uint64_t ShownCount() const { return shown_.load(); }

  Q_SIGNALS:
    void doubleClicked();
    void wheelSteps(int steps);  // +1 per notch away from the user

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void StretchTablesLocked();
    void RenderLocked(const DisplayBuffer& picture, QImage& target) const;
    void DrawAlarmLocked(QImage& target, AlarmBand band) const;
    void RequestRepaint();

    mutable std::mutex lock_;  // the picture area's lock: everything from here to front_
    Extent area_{320, 240};
    QImage buffers_[2];
    int front_ = 0;
    std::vector<uint8_t> display_;  // the engine's display buffer
    DisplayBuffer displayInfo_;
    bool displayFromMainThread_ = false;
    bool hasPicture_ = false;    // a picture was shown since the last clear  // the last picture was a still,
                                 // shown by the main thread
    std::vector<int> columnOf_;  // source column for each area column (stretching)
    std::vector<int> rowOf_;     // source row for each area row

    QImage tinyFont_;  // label glyphs (read-only after construction)
    std::function<AlarmBand()> alarmProbe_;
    std::atomic<bool> repaintPending_{false};
    std::atomic<uint64_t> shown_{0};
};

}  // namespace reeldeck::gui

#endif
