// The dialogs: "Enter Network Password", "Select TCP/UDP" (also from the panel, with its restart), the
// property page and saving a capture.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>

#include "core/bmp.h"
#include "widget/capture_dialog.h"
#include "widget/ocuview_widget.h"
#include "widget/password_dialog.h"
#include "widget/property_page.h"
#include "widget/transport_dialog.h"
#include "widget_support.h"

namespace ocuview {
namespace {

using ocuview_test::FullJpegFacts;
using ocuview_test::RecordingBackend;

QRadioButton* Radio(QDialog& d, const char* text) {
    for (QRadioButton* r : d.findChildren<QRadioButton*>())
        if (r->text() == text) return r;
    return nullptr;
}

TEST(Dialogs, PasswordDialog) {
    PasswordDialog d("127.0.0.1", "Marlo Network Camera");
    EXPECT_EQ(d.windowTitle(), "Enter Network Password");
    auto* realm = d.findChild<QLineEdit*>("realm");
    ASSERT_NE(realm, nullptr);
    EXPECT_TRUE(realm->isReadOnly());
    EXPECT_EQ(realm->text(), "Marlo Network Camera");
    auto* user = d.findChild<QLineEdit*>("user");
    auto* password = d.findChild<QLineEdit*>("password");
    EXPECT_EQ(user->maxLength(), 15);
    EXPECT_EQ(password->maxLength(), 15);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    user->setText("administrator-account");  // longer than 15: cut by the field
    password->setText("secret");
    EXPECT_EQ(d.user(), "administrator-a");
    EXPECT_EQ(d.password(), "secret");
}

TEST(Dialogs, TransportDialogEnabling) {
    {
        TransportDialog d(StreamMode::Tcp, true);
        EXPECT_EQ(d.windowTitle(), "Select TCP/UDP");
        EXPECT_TRUE(Radio(d, "TCP")->isChecked());
        EXPECT_FALSE(Radio(d, "Unicast")->isEnabled());
        EXPECT_FALSE(Radio(d, "Multicast")->isEnabled());
        Radio(d, "UDP")->setChecked(true);
        EXPECT_TRUE(Radio(d, "Unicast")->isEnabled());
        EXPECT_TRUE(Radio(d, "Multicast")->isEnabled());
        Radio(d, "Multicast")->setChecked(true);
        EXPECT_EQ(d.choice(), StreamMode::UdpMulticast);
    }
    {
        TransportDialog d(StreamMode::UdpUnicast, false);  // the camera has multicast off
        EXPECT_TRUE(Radio(d, "UDP")->isChecked());
        EXPECT_TRUE(Radio(d, "Unicast")->isChecked());
        EXPECT_FALSE(Radio(d, "Multicast")->isEnabled());
        EXPECT_EQ(d.choice(), StreamMode::UdpUnicast);
    }
}

// Answers the next modal dialog: picks a radio button and accepts, or cancels.
void AnswerTransportDialog(const char* radio, bool accept) {
    QTimer::singleShot(0, [radio, accept] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        if (radio) {
            Radio(*d, "UDP")->setChecked(true);
            Radio(*d, radio)->setChecked(true);
        }
        accept ? d->accept() : d->reject();
    });
}

TEST(Dialogs, TransmissionFromThePanel) {
    std::vector<std::string> calls;
    OcuviewWidget w;
    w.SetBackend(std::make_unique<RecordingBackend>(calls));
    PanelFacts facts = FullJpegFacts();
    facts.codec = ImageCodec::kMpeg4;
    facts.multicast = true;
    w.ShowCamera(facts);
    w.PrmPlayStart();
    calls.clear();

    AnswerTransportDialog("Multicast", false);  // Cancel changes nothing
    w.OpenTransmissionDialog();
    AnswerTransportDialog(nullptr, true);  // OK without a change: nothing either
    w.OpenTransmissionDialog();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(w.model().streamModeRequest(), StreamMode::None);

    const Size view = w.viewSize();
    AnswerTransportDialog("Multicast", true);
    w.OpenTransmissionDialog();
    EXPECT_EQ(calls, (std::vector<std::string>{"restart"}));
    EXPECT_EQ(w.model().streamModeRequest(), StreamMode::UdpMulticast);
    // The restart keeps the view size even when the picture comes back at another size.
    w.ShowCamera(facts);
    int stride = 0;
    const auto picture = ocuview_test::CoordinatePicture(320, 240, &stride);
    w.PresentPicture(picture.data(), 320, 240, stride);
    QApplication::processEvents();
    EXPECT_EQ(w.viewSize(), view);
}

TEST(Dialogs, PropertyPageViewModeGroup) {
    OcuviewWidget w;
    {
        PropertyPage page(w);
        EXPECT_FALSE(page.viewModeSwitch()->isChecked());
        EXPECT_FALSE(page.viewModeBox(0)->isEnabled());
        EXPECT_EQ(page.TextFor("ParamViewMode"), "");
        page.viewModeSwitch()->setChecked(true);
        EXPECT_EQ(page.TextFor("ParamViewMode"), "000001ff");  // every box
        page.viewModeBox(8)->setChecked(false);                // no transmission
        EXPECT_EQ(page.TextFor("ParamViewMode"), "000000ff");
        page.viewModeBox(0)->setChecked(false);  // no frame: the others are disabled and count as clear
        EXPECT_FALSE(page.viewModeBox(3)->isEnabled());
        EXPECT_EQ(page.TextFor("ParamViewMode"), "00000000");
        page.viewModeBox(0)->setChecked(true);
        page.Apply();
    }
    EXPECT_EQ(w.ParamViewMode(), "000000ff");
    EXPECT_EQ(w.model().viewModeMask(), 0xFF000000u);
    // Only what the user changed is written: the stream mode stays unset, so the INI file still decides.
    EXPECT_EQ(w.ParamStreamMode(), "");
    EXPECT_EQ(w.ParamAutoStart(), "");

    PropertyPage again(w);
    EXPECT_TRUE(again.viewModeSwitch()->isChecked());
    EXPECT_FALSE(again.viewModeBox(8)->isChecked());
    auto* rates = again.findChildren<QComboBox*>().at(1);
    rates->setCurrentText("10 fps");
    EXPECT_EQ(again.TextFor("ParamFrameRate"), "10");  // " fps" removed
    again.Apply();
    EXPECT_EQ(w.ParamFrameRate(), "10");
}

TEST(Dialogs, CaptureSavesJpegAndBitmap) {
    int stride = 0;
    const auto bgr = ocuview_test::CoordinatePicture(320, 240, &stride);
    const QImage picture(bgr.data(), 320, 240, stride, QImage::Format_BGR888);
    const auto dir =
        std::filesystem::temp_directory_path() / ("ocuview_capture_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    {
        auto* d = new CaptureDialog(picture);
        d->show();
        ASSERT_TRUE(d->SaveTo(QString::fromStdString((dir / "shot.bmp").string())));
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    {
        const QImage back((dir / "shot.bmp").c_str());
        ASSERT_FALSE(back.isNull());
        EXPECT_EQ(back.convertToFormat(QImage::Format_BGR888), picture);
    }
    {
        auto* d = new CaptureDialog(picture);
        d->show();
        ASSERT_TRUE(d->SaveTo(QString::fromStdString((dir / "shot.JPG").string())));
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QImage back = QImage((dir / "shot.JPG").c_str(), "JPG").convertToFormat(QImage::Format_BGR888);
        ASSERT_EQ(back.size(), picture.size());
        for (int y = 0; y < 240; y += 37)
            for (int x = 0; x < 320; x += 41) {
                EXPECT_NEAR(back.pixelColor(x, y).blue(), picture.pixelColor(x, y).blue(), 8);
                EXPECT_NEAR(back.pixelColor(x, y).green(), picture.pixelColor(x, y).green(), 8);
            }
    }
    {
        // A failed save keeps the dialog open with the error message.
        CaptureDialog d(picture);
        d.show();
        EXPECT_FALSE(d.SaveTo(QString::fromStdString((dir / "missing" / "shot.bmp").string())));
        EXPECT_TRUE(d.isVisible());
        EXPECT_NE(d.findChild<QWidget*>("saveError"), nullptr);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ocuview
