#include "gui/info_panel.h"

#include <QPainter>

#include "core/qxr_format.h"
#include "gui/string_text.h"

namespace reeldeck::gui {

namespace {

constexpr int kPad = 10;
constexpr int kCaptionHeight = 15;
constexpr int kValueHeight = 17;
constexpr int kEntryGap = 6;
constexpr QRgb kPanelColour = 0xFF505050;

QString OrUnknown(const std::string& text) {
    return text.empty() ? StringText(info::kUnknown) : FromUtf8(text);
}

}  // namespace

std::array<QString, InfoPanel::kEntries> InformationTexts(const RecordingInfo& info) {
    std::array<QString, InfoPanel::kEntries> texts;
    // The header fields hold at most 32 characters each.
    texts[0] = OrUnknown(info.model.substr(0, 32));
    texts[1] = OrUnknown(info.ipAddress.substr(0, 32));
    texts[2] = OrUnknown(info.serial.substr(0, 32));
    texts[3] = FromUtf8(TriggerText(info.trigger));
    texts[4] = OrUnknown(info.dateTime.substr(0, 32));
    QString movie = FromUtf8(VideoCodecText(info.videoCodec));
    if (info.videoCodec == tag::kMpeg4 || info.videoCodec == tag::kJpeg) {
        movie += QString(" ( %1 fps )").arg(info.frameRate);
    }
    texts[5] = movie;
    texts[6] = FromUtf8(AudioCodecText(info.audio, info.hasAudio));
    return texts;
}

InfoPanel::InfoPanel(QWidget* parent) : QWidget(parent) {
    static const char* const kCaptions[kEntries] = {
        "Model Name", "IP Address", "Serial No.", "Record Trigger", "Date/Time", "Movie", "Audio"};
    QFont valueFont("Arial");
    valueFont.setStyleHint(QFont::SansSerif);
    valueFont.setPixelSize(12);
    QFont captionFont = valueFont;
    captionFont.setPixelSize(10);
    captionFont.setCapitalization(QFont::AllUppercase);
    captionFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    for (int i = 0; i < kEntries; ++i) {
        auto* caption = new QLabel(kCaptions[i], this);
        caption->setFont(captionFont);
        caption->setStyleSheet("color: #b8bcc4;");
        auto* value = new QLabel(this);
        value->setFont(valueFont);
        value->setStyleSheet("color: #ffffff;");
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        captions_[static_cast<std::size_t>(i)] = caption;
        values_[static_cast<std::size_t>(i)] = value;
    }
    RecordingInfo none;
    SetInformation(none);
}

void InfoPanel::SetInformation(const RecordingInfo& info) {
    const auto texts = InformationTexts(info);
    for (int i = 0; i < kEntries; ++i) {
        QLabel* value = values_[static_cast<std::size_t>(i)];
        value->setText(texts[static_cast<std::size_t>(i)]);
        value->setToolTip(texts[static_cast<std::size_t>(i)]);
    }
}

int InfoPanel::NeededHeight() const {
    return 2 * kPad + kEntries * (kCaptionHeight + kValueHeight) + (kEntries - 1) * kEntryGap;
}

void InfoPanel::resizeEvent(QResizeEvent*) {
    int y = kPad;
    for (int i = 0; i < kEntries; ++i) {
        captions_[static_cast<std::size_t>(i)]->setGeometry(kPad, y, width() - 2 * kPad, kCaptionHeight);
        y += kCaptionHeight;
        values_[static_cast<std::size_t>(i)]->setGeometry(kPad, y, width() - 2 * kPad, kValueHeight);
        y += kValueHeight + kEntryGap;
    }
}

void InfoPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(kPanelColour));
    painter.drawRoundedRect(rect(), 6, 6);
}

}  // namespace reeldeck::gui
