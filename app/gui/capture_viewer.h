// The captured-image viewers: sixteen slots, each holding one captured picture composed on a framed
// background, and the small owned window that shows a slot with Save and Cancel.
//
// A capture arrives on the engine's decoder thread: Store() fills the first free slot there (under the
// slots' lock) and the main window opens the viewer later on its own thread (Show()). Closing a viewer
// frees its slot; when the last open viewer closes, the focus goes back to the main window.
#ifndef REELDECK_GUI_CAPTURE_VIEWER_H
#define REELDECK_GUI_CAPTURE_VIEWER_H

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "gui/layout_rules.h"
#include "player/player_host.h"

namespace reeldeck::gui {

class SkinButton;

inline constexpr int kCaptureSlots = 16;
inline constexpr int kSaveCommand = 40033;
inline constexpr int kCancelCommand = 40034;

// Asks the user where to save; `proposed` is the proposed file name. Empty: cancelled.
using SaveDialog = std::function<QString(QWidget* parent, const QString& proposed)>;

class CaptureViewer;

class CaptureSlots {
  public:
    explicit CaptureSlots(QWidget* owner);
    ~CaptureSlots();
    CaptureSlots(const CaptureSlots&) = delete;
    CaptureSlots& operator=(const CaptureSlots&) = delete;

    // Any thread: composes the picture into the first free slot; its number, or kCaptureSlots when all
    // sixteen hold a picture.
    int Store(const DisplayBuffer& picture, std::string_view cameraTime);
    // Main thread: opens the viewer of `slot` (a slot that holds a picture and has no window yet).
    void Show(int slot);

    int OpenViewers() const;
    CaptureViewer* Viewer(int slot) const;  // main thread; null while closed
    void SetSaveDialog(SaveDialog dialog) { saveDialog_ = std::move(dialog); }

  private:
    friend class CaptureViewer;
    struct Slot {
        bool held = false;
        QImage image;  // the composed viewer image (32-bit)
        ViewerGeometry geometry;
        Extent picture;
        std::string cameraTime;
    };
    void Closed(int slot);  // main thread, from the viewer's destruction

    QWidget* owner_;
    SaveDialog saveDialog_;
    mutable std::mutex lock_;  // guards slots_ and openCount_ (the viewer-count lock)
    std::array<Slot, kCaptureSlots> slots_;
    int openCount_ = 0;
    std::array<QPointer<CaptureViewer>, kCaptureSlots> windows_;  // main thread only
};

class CaptureViewer : public QWidget {
    Q_OBJECT
  public:
    CaptureViewer(CaptureSlots& slots, int slot, QImage image, ViewerGeometry geometry, Extent picture,
                  std::string cameraTime, QWidget* owner);
    ~CaptureViewer() override;

    // The Save command without the dialog: writes to `path` by its extension; reports 65, 66 or 67.
    void SaveTo(const QString& path);
    const QImage& Image() const { return image_; }
    SkinButton* SaveButton() const { return save_; }
    SkinButton* CancelButton() const { return cancel_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void OnCommand(int id);

    CaptureSlots& slots_;
    int slot_;
    QImage image_;
    ViewerGeometry geometry_;
    Extent picture_;
    std::string cameraTime_;
    SkinButton* save_;
    SkinButton* cancel_;
};

}  // namespace reeldeck::gui

#endif
