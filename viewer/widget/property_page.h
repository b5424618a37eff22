// The control's property page as a dialog: edits the fourteen properties of one control (auto start,
// address and port, stream mode, the view-mode boxes, frame rate, view size, volume, mute and three
// colours) and writes the changed ones back through the control's properties on OK.
#ifndef OCUVIEW_WIDGET_PROPERTY_PAGE_H
#define OCUVIEW_WIDGET_PROPERTY_PAGE_H

#include <QDialog>
#include <QHash>
#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QLabel;
class QGridLayout;

namespace ocuview {

class OcuviewWidget;

class PropertyPage : public QDialog {
    Q_OBJECT
  public:
    explicit PropertyPage(OcuviewWidget& control, QWidget* parent = nullptr);

    // Writes every field whose text differs from the control's property (also what OK does).
    void Apply();
    // The texts the page would write, by property name (for tests and Apply).
    [[nodiscard]] QString TextFor(const char* property) const;

    // The view-mode boxes in bit order: Frame, Date time, Volume, View size, Capture, Digital zoom,
    // Frame rate, Trigger, Transmission.
    static constexpr int kViewModeBoxes = 9;
    [[nodiscard]] QCheckBox* viewModeSwitch() const { return viewMode_; }
    [[nodiscard]] QCheckBox* viewModeBox(int bit) const { return boxes_[static_cast<std::size_t>(bit)]; }

  private:
    struct ColourRow {
        QLineEdit* text;
        QLabel* swatch;
    };
    ColourRow AddColourRow(QGridLayout* grid, int row, const QString& label, const QString& value);
    void ChooseColour(ColourRow row);
    void UpdateViewModeBoxes();

    OcuviewWidget& control_;
    QCheckBox* autoStart_;
    QLineEdit* address_;
    QLineEdit* port_;
    QComboBox* streamMode_;
    QCheckBox* viewMode_;
    std::array<QCheckBox*, kViewModeBoxes> boxes_{};
    QComboBox* frameRate_;
    QComboBox* viewSize_;
    QSpinBox* volume_;
    QCheckBox* mute_;
    ColourRow dateWord_{}, ctrlBack_{}, pictFrame_{};
    // What each field said when the page opened: only fields the user changed are written.
    QHash<QString, QString> opened_;
};

}  // namespace ocuview

#endif
