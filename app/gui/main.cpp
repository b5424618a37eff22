// reeldeck: plays the camera's recordings (.m4f, .jpf) and shows JPEG and bitmap stills.
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/report.h"
#include "gui/command_line.h"
#include "gui/engine_player.h"
#include "gui/instance_link.h"
#include "gui/main_window.h"
#include "gui/string_text.h"
#include "platform/sdl_wave_out.h"

namespace {

constexpr char kUsage[] =
    "Usage: reeldeck [FILE]\n"
    "Plays a QXR-K7 camera recording (a series of .m4f or .jpf files) or shows a JPEG or bitmap still.\n"
    "\n"
    "  FILE         a recording file (any file of the series) or a .jpg/.jpe/.jpeg/.bmp picture\n"
    "  --help       show this text and end\n"
    "  --version    show the version and end\n"
    "\n"
    "A second reeldeck started with a FILE hands it to the one already running and ends; without a FILE\n"
    "it brings the running one forward.\n"
    "\n"
    "Keys: F1 information, F2 play, F3 pause, F4 stop, F5 capture, F6 or Ctrl+O open, F7 mute, F8 zoom,\n"
    "      Space play/pause, Left/Right one unit, Home/End first/last unit, F11 or double-click full "
    "screen;\n"
    "      the mouse wheel over the picture steps through the recording. Right-click for recent files.\n"
    "REELDECK_INSTANCE=NAME keeps a separate single-instance session under NAME.\n"
    "Errors are also written to $XDG_STATE_HOME/reeldeck/report.txt (else ~/.local/state/reeldeck/).\n"
    "QXR_AUDIO_OUTPUT=null plays silently; QXR_DEBUG_OUTPUT=stderr shows developer diagnostics.\n";

constexpr int kCannotChooseTwo = 34;

// Message boxes captioned "ERROR", owned by the main window, always shown on the main thread. A report
// from another thread is queued, never waited for: the main thread may be waiting for that thread to end.
void InstallMessageBoxes(QWidget* owner) {
    reeldeck::SetMessageBoxSink([owner](std::string_view text, std::string_view caption) {
        const QString body = reeldeck::gui::FromUtf8(text);
        const QString title = reeldeck::gui::FromUtf8(caption);
        auto show = [owner, body, title] { QMessageBox::critical(owner, title, body); };
        if (QThread::currentThread() == owner->thread()) {
            show();
        } else {
            QMetaObject::invokeMethod(owner, show, Qt::QueuedConnection);
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    platform::RegisterSdlWaveBackend();  // the recording's sound on the system's device
    std::vector<std::string> raw(argv, argv + argc);
    for (std::size_t i = 1; i < raw.size(); ++i) {
        if (raw[i] == "--help" || raw[i] == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (raw[i] == "--version") {
            std::printf("reeldeck %s\n", QXR_VERSION_TEXT);
            return 0;
        }
    }
    // The same quoting rules and limits whichever way the arguments came.
    const std::vector<std::string> args = reeldeck::gui::ParseCommandLine(reeldeck::gui::JoinArguments(raw));

    QApplication app(argc, argv);
    QApplication::setOrganizationName("qxr");
    QApplication::setApplicationName("reeldeck");
    QApplication::setApplicationVersion(QXR_VERSION_TEXT);
    QApplication::setDesktopFileName("reeldeck");

    // REELDECK_INSTANCE names a separate session (tests, or two players side by side on purpose).
    const QString instanceName = qEnvironmentVariableIsEmpty("REELDECK_INSTANCE")
                                     ? reeldeck::gui::DefaultInstanceName()
                                     : qEnvironmentVariable("REELDECK_INSTANCE");
    const bool withFile = args.size() >= 2;
    const QString first = withFile ? QString::fromStdString(args[1]) : QString();
    if (reeldeck::gui::SendHandOver(instanceName, withFile, reeldeck::gui::HandOverWord(args.size()), first,
                                    1000) == reeldeck::gui::HandOverResult::kDelivered) {
        return 0;
    }

    reeldeck::gui::MainWindow window;
    InstallMessageBoxes(&window);
    window.SetPlayer(reeldeck::gui::MakeEnginePlayer(window, window.Notifications()));
    reeldeck::gui::InstanceServer server;
    QObject::connect(&server, &reeldeck::gui::InstanceServer::raiseRequested, &window, [&window] {
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
    });
    QObject::connect(&server, &reeldeck::gui::InstanceServer::handedOver, &window,
                     [&window](uint32_t word, const QString& path) { window.HandOver(word, path); });
    server.Listen(instanceName);

    window.show();
    // Centred on the desktop, as the player always opened.
    if (const QScreen* screen = window.screen()) {
        window.move(screen->availableGeometry().center() - window.rect().center());
    }
    if (args.size() == 2) {
        window.OpenPath(first);
    } else if (args.size() > 2) {
        REELDECK_REPORT(kCannotChooseTwo);
    }
    const int code = QApplication::exec();
    reeldeck::SetMessageBoxSink({});
    return code;
}
