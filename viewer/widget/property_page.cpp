#include "property_page.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "control/keywords.h"
#include "ocuview_widget.h"

namespace ocuview {

namespace {

const char* const kStreamModes[] = {"PRM_MODE_TCPUNICAST", "PRM_MODE_UDPUNICAST", "PRM_MODE_UDPMULTICAST"};
const char* const kStreamModeLabels[] = {"TCP unicast", "UDP unicast", "UDP multicast"};
const char* const kViewSizes[] = {"PRM_VIEWSIZE_AUTO", "PRM_VIEWSIZE_VGA", "PRM_VIEWSIZE_QVGA",
                                  "PRM_VIEWSIZE_QQVGA"};
const char* const kBoxLabels[PropertyPage::kViewModeBoxes] = {"Frame",      "Date time", "Volume",
                                                              "View size",  "Capture",   "Digital zoom",
                                                              "Frame rate", "Trigger",   "Transmission"};
// Auto start comes last: switching it on starts the viewer with everything else already in place.
const char* const kWritten[] = {"ParamCamAddress",    "ParamCamPort",        "ParamStreamMode",
                                "ParamViewMode",      "ParamFrameRate",      "ParamViewSize",
                                "ParamVolume",        "ParamMute",           "ParamColorDateFore",
                                "ParamColorCtrlBack", "ParamColorPictFrame", "ParamAutoStart"};
const int kFrameRates[] = {30, 25, 20, 15, 10, 8, 6, 5, 4, 3, 2, 1};

QString Prop(const OcuviewWidget& control, const char* name) {
    return control.property(name).toString();
}

// The colour a property text stands for (the control's default when the text is not six characters).
QColor ColourOf(const QString& text, const QString& fallback) {
    const std::string digits = (text.size() == 6 ? text : fallback).toStdString();
    const Rgb rgb = ParseRgbDigits(digits);
    return QColor(rgb.r, rgb.g, rgb.b);
}

void ShowSwatch(QLabel* swatch, const QColor& colour) {
    swatch->setStyleSheet(QStringLiteral("background: %1; border: 1px solid #404040;").arg(colour.name()));
}

int IndexOfKeyword(const char* const* table, int count, const QString& text) {
    for (int i = 0; i < count; ++i)
        if (MatchesKeyword(text.toStdString(), table[i])) return i;
    return -1;
}

}  // namespace

PropertyPage::PropertyPage(OcuviewWidget& control, QWidget* parent)
    : QDialog(parent),
      control_(control),
      autoStart_(new QCheckBox(tr("Auto start"))),
      address_(new QLineEdit(Prop(control, "ParamCamAddress"))),
      port_(new QLineEdit(Prop(control, "ParamCamPort"))),
      streamMode_(new QComboBox),
      viewMode_(new QCheckBox(tr("View mode"))),
      frameRate_(new QComboBox),
      viewSize_(new QComboBox),
      volume_(new QSpinBox),
      mute_(new QCheckBox(tr("Mute"))) {
    setWindowTitle(tr("Ocuview properties"));
    autoStart_->setChecked(
        !MatchesKeyword(Prop(control, "ParamAutoStart").toStdString(), "PRM_AUTOSTART_OFF"));

    for (const char* label : kStreamModeLabels) streamMode_->addItem(tr(label));
    streamMode_->setCurrentIndex(
        std::max(0, IndexOfKeyword(kStreamModes, 3, Prop(control, "ParamStreamMode"))));

    frameRate_->addItem(QString());  // no rate asked for
    for (int rate : kFrameRates) frameRate_->addItem(QStringLiteral("%1 fps").arg(rate));
    const QString rate = Prop(control, "ParamFrameRate");
    if (!rate.isEmpty()) frameRate_->setCurrentIndex(std::max(0, frameRate_->findText(rate + " fps")));

    for (const char* size : {"AUTO", "VGA", "QVGA", "QQVGA"}) viewSize_->addItem(QString::fromLatin1(size));
    viewSize_->setCurrentIndex(std::max(0, IndexOfKeyword(kViewSizes, 4, Prop(control, "ParamViewSize"))));

    volume_->setRange(0, 100);
    volume_->setValue(control.model().volume());
    mute_->setChecked(control.model().muted());

    // View mode: the switch enables the boxes; "Frame" (the panel itself) enables the others.
    auto* viewGroup = new QGroupBox(tr("View mode"));
    auto* viewGrid = new QGridLayout(viewGroup);
    viewGrid->addWidget(viewMode_, 0, 0, 1, 3);
    for (int bit = 0; bit < kViewModeBoxes; ++bit) {
        auto* box = new QCheckBox(tr(kBoxLabels[bit]));
        boxes_[static_cast<std::size_t>(bit)] = box;
        viewGrid->addWidget(box, 1 + bit / 3, bit % 3);
        connect(box, &QCheckBox::toggled, this, [this] { UpdateViewModeBoxes(); });
    }
    const auto mask = control.model().viewModeMask();
    viewMode_->setChecked(mask.has_value());
    const uint32_t bits = mask ? PageViewModeBits(*mask) : 0x1FFu;
    for (int bit = 0; bit < kViewModeBoxes; ++bit)
        boxes_[static_cast<std::size_t>(bit)]->setChecked(bits & (1u << bit));
    connect(viewMode_, &QCheckBox::toggled, this, [this] { UpdateViewModeBoxes(); });
    UpdateViewModeBoxes();

    auto* colourGroup = new QGroupBox(tr("Color"));
    auto* colourGrid = new QGridLayout(colourGroup);
    dateWord_ =
        AddColourRow(colourGrid, 0, tr("Date word"),
                     QString::fromStdString(control.model().PrmGetControlColor("PRM_COLOR_DATEFORE")));
    ctrlBack_ =
        AddColourRow(colourGrid, 1, tr("Control back"),
                     QString::fromStdString(control.model().PrmGetControlColor("PRM_COLOR_CTRLBACK")));
    pictFrame_ =
        AddColourRow(colourGrid, 2, tr("Picture frame"),
                     QString::fromStdString(control.model().PrmGetControlColor("PRM_COLOR_PICTFRAME")));

    auto* form = new QGridLayout;
    int row = 0;
    form->addWidget(autoStart_, row++, 0, 1, 2);
    const auto addRow = [&](const QString& label, QWidget* field) {
        form->addWidget(new QLabel(label), row, 0);
        form->addWidget(field, row++, 1);
    };
    addRow(tr("Camera address"), address_);
    addRow(tr("Camera port"), port_);
    addRow(tr("Stream mode"), streamMode_);
    addRow(tr("Frame rate"), frameRate_);
    addRow(tr("View size"), viewSize_);
    addRow(tr("Volume"), volume_);
    form->addWidget(mute_, row++, 1);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        Apply();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] { Apply(); });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(viewGroup);
    layout->addWidget(colourGroup);
    layout->addWidget(buttons);
    for (const char* name : kWritten) opened_.insert(QString::fromLatin1(name), TextFor(name));
}

PropertyPage::ColourRow PropertyPage::AddColourRow(QGridLayout* grid, int row, const QString& label,
                                                   const QString& value) {
    ColourRow r{new QLineEdit(value), new QLabel};
    r.text->setMaxLength(6);
    r.swatch->setFixedSize(24, 16);
    ShowSwatch(r.swatch, ColourOf(value, value));
    auto* sample = new QPushButton(tr("Sample"));
    grid->addWidget(new QLabel(label), row, 0);
    grid->addWidget(r.text, row, 1);
    grid->addWidget(sample, row, 2);
    grid->addWidget(r.swatch, row, 3);
    connect(sample, &QPushButton::clicked, this, [this, r] { ChooseColour(r); });
    connect(r.text, &QLineEdit::textChanged, this, [r](const QString& text) {
        if (text.size() == 6) ShowSwatch(r.swatch, ColourOf(text, text));
    });
    return r;
}

void PropertyPage::ChooseColour(ColourRow row) {
    const QColor chosen = QColorDialog::getColor(ColourOf(row.text->text(), QStringLiteral("000000")), this);
    if (!chosen.isValid()) return;
    row.text->setText(QString::fromStdString(
        FormatPageColour({static_cast<uint8_t>(chosen.red()), static_cast<uint8_t>(chosen.green()),
                          static_cast<uint8_t>(chosen.blue())})));
}

void PropertyPage::UpdateViewModeBoxes() {
    const bool on = viewMode_->isChecked();
    boxes_[0]->setEnabled(on);
    for (int bit = 1; bit < kViewModeBoxes; ++bit)
        boxes_[static_cast<std::size_t>(bit)]->setEnabled(on && boxes_[0]->isChecked());
}

QString PropertyPage::TextFor(const char* property) const {
    const QString name = QString::fromLatin1(property);
    if (name == "ParamAutoStart")
        return autoStart_->isChecked() ? QStringLiteral("PRM_AUTOSTART_ON")
                                       : QStringLiteral("PRM_AUTOSTART_OFF");
    if (name == "ParamCamAddress") return address_->text();
    if (name == "ParamCamPort") return port_->text();
    if (name == "ParamStreamMode") return QString::fromLatin1(kStreamModes[streamMode_->currentIndex()]);
    if (name == "ParamViewMode") {
        if (!viewMode_->isChecked()) return {};
        uint32_t bits = 0;
        // With "Frame" clear the other boxes are disabled and count as clear.
        if (boxes_[0]->isChecked())
            for (int bit = 0; bit < kViewModeBoxes; ++bit)
                if (boxes_[static_cast<std::size_t>(bit)]->isChecked()) bits |= 1u << bit;
        return QString::fromStdString(FormatPageViewMode(bits));
    }
    if (name == "ParamFrameRate") return frameRate_->currentText().remove(QStringLiteral(" fps"));
    if (name == "ParamViewSize") return QString::fromLatin1(kViewSizes[viewSize_->currentIndex()]);
    if (name == "ParamVolume") return QString::number(volume_->value());
    if (name == "ParamMute")
        return mute_->isChecked() ? QStringLiteral("PRM_MUTE_ON") : QStringLiteral("PRM_MUTE_OFF");
    if (name == "ParamColorDateFore") return dateWord_.text->text();
    if (name == "ParamColorCtrlBack") return ctrlBack_.text->text();
    if (name == "ParamColorPictFrame") return pictFrame_.text->text();
    return Prop(control_, property);
}

void PropertyPage::Apply() {
    for (const char* name : kWritten) {
        const QString text = TextFor(name);
        QString& opened = opened_[QString::fromLatin1(name)];
        if (text == opened) continue;
        control_.setProperty(name, text);
        opened = text;
    }
}

}  // namespace ocuview
