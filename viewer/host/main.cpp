// ocuview: shows one Ocuview control, or a grid of several, each an independent control on its own
// camera, and offers them for scripting on the session D-Bus.
//
//   ocuview --camera 127.0.0.1:8080 [--camera HOST[:PORT] ...] [--set Name=Value ...] [--page-url URL]
//           [--record FILE ...]
//
// Without a display it says so and runs on Qt's offscreen platform for a few seconds, then saves a
// snapshot of the window and prints the stream figures.
#include <QApplication>
#include <QGridLayout>
#include <QMetaProperty>
#include <QScreen>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "control/control_model.h"
#include "platform/sdl_wave_out.h"
#include "widget/core_backend.h"
#include "widget/dbus_adaptor.h"
#include "widget/ocuview_widget.h"

namespace {

constexpr const char* kUsage =
    "usage: ocuview [options]\n"
    "\n"
    "Shows the live picture and sound of a QXR-K7 camera (or of qxrcamsim) in an Ocuview control.\n"
    "\n"
    "options:\n"
    "  --camera HOST[:PORT]   a camera; repeat it for a grid of independent controls\n"
    "  --set Name=Value       set a control property before it starts (every control), e.g.\n"
    "                         --set ParamStreamMode=PRM_MODE_UDPUNICAST; repeatable\n"
    "  --page-url URL         the address of the embedding page: camera host and port when no\n"
    "                         --camera or ParamCamAddress names them\n"
    "  --seconds N            quit after N seconds (default: run until the window closes; 5 without\n"
    "                         a display)\n"
    "  --snapshot FILE.png    before quitting, save a picture of the window there (default without a\n"
    "                         display: ocuview-snapshot.png)\n"
    "  --record FILE          record the live stream as received (pictures and sound, no re-encoding)\n"
    "                         into a series: FILE names its directory and prefix, e.g. out/cam00.jpf\n"
    "                         (.jpf Motion JPEG, .m4f MPEG-4, chosen by the camera's codec); the n-th\n"
    "                         --record goes to the n-th control; it ends when the program quits\n"
    "  --no-dbus              do not offer the controls on the session bus\n"
    "  -h, --help             show this help\n"
    "  -V, --version          show the version\n"
    "\n"
    "On the session D-Bus the controls are objects /org/qxrk7/Ocuview/Control0, Control1, ... with the\n"
    "interface org.qxrk7.Ocuview.Control, under the name org.qxrk7.Ocuview (or\n"
    "org.qxrk7.Ocuview.Host<pid> when that is taken); the name is printed at start. Each object also\n"
    "has org.qxrk7.Ocuview.Recording: Start(path) (empty: a new series in ~/Videos or ~), Stop(), State().\n";

struct Options {
    std::vector<std::string> cameras;
    std::vector<std::pair<std::string, std::string>> sets;
    std::string pageUrl;
    double seconds = 0;
    std::string snapshot;
    std::vector<std::string> records;
    bool dbus = true;
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "ocuview: %s\n(ocuview --help lists the options)\n", message.c_str());
    return 2;
}

// 0: parsed; 1: answered (help, version); 2: usage error.
int Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 1;
        }
        if (arg == "-V" || arg == "--version") {
            std::printf("ocuview %s\n", OCUVIEW_VERSION);
            return 1;
        }
        if (arg == "--camera") {
            if (!value(&v) || v.empty()) return UsageError("--camera needs HOST[:PORT]");
            o.cameras.push_back(v);
        } else if (arg == "--set") {
            if (!value(&v)) return UsageError("--set needs Name=Value");
            const std::size_t eq = v.find('=');
            if (eq == std::string::npos || !ocuview::PropertyByName(v.substr(0, eq)))
                return UsageError("--set " + v + ": not Name=Value with one of the control's properties");
            o.sets.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (arg == "--page-url") {
            if (!value(&o.pageUrl)) return UsageError("--page-url needs a URL");
        } else if (arg == "--seconds") {
            char* end = nullptr;
            if (!value(&v) || (o.seconds = std::strtod(v.c_str(), &end), *end != '\0') || !(o.seconds > 0))
                return UsageError("--seconds needs a positive number");
        } else if (arg == "--snapshot") {
            if (!value(&o.snapshot) || o.snapshot.empty()) return UsageError("--snapshot needs a file name");
        } else if (arg == "--record") {
            if (!value(&v) || v.empty()) return UsageError("--record needs a file name");
            o.records.push_back(v);
        } else if (arg == "--no-dbus") {
            o.dbus = false;
        } else {
            return UsageError("unknown option " + arg);
        }
    }
    return 0;
}

bool HaveDisplay() {
    if (const char* platform = std::getenv("QT_QPA_PLATFORM"); platform && *platform) return true;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
    platform::RegisterSdlWaveBackend();  // the camera's sound on the system's device
    Options options;
    if (const int parsed = Parse(argc, argv, options)) return parsed == 1 ? 0 : parsed;
    const bool headless = !HaveDisplay();
    if (headless) {
        std::printf("ocuview: no display found; running on Qt's offscreen platform for a few seconds\n");
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // A machine without a display seldom has a sound device either: play silently in real time
        // unless the caller chose an output.
        ::setenv("QXR_AUDIO_OUTPUT", "null", 0);
        if (options.seconds == 0) options.seconds = 5;
        if (options.snapshot.empty()) options.snapshot = "ocuview-snapshot.png";
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ocuview"));
    QApplication::setApplicationVersion(QStringLiteral(OCUVIEW_VERSION));

    QWidget window;
    window.setWindowTitle(QStringLiteral("Ocuview"));
    auto* grid = new QGridLayout(&window);
    grid->setSizeConstraint(QLayout::SetFixedSize);  // the window follows the controls' own sizes
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(4);
    if (options.cameras.empty()) options.cameras.emplace_back();  // the page address or properties decide
    if (options.records.size() > options.cameras.size())
        return UsageError("more --record than controls (one --record per --camera)");
    const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(options.cameras.size()))));

    std::vector<ocuview::OcuviewWidget*> widgets;
    std::vector<ocuview::CoreBackend*> backends;
    bool autoStartSet = false;
    for (std::size_t i = 0; i < options.cameras.size(); ++i) {
        auto* w = new ocuview::OcuviewWidget;
        if (!options.pageUrl.empty()) w->SetPageUrl(QString::fromStdString(options.pageUrl));
        const std::string& camera = options.cameras[i];
        if (!camera.empty()) {
            const std::size_t colon = camera.rfind(':');
            w->setProperty("ParamCamAddress", QString::fromStdString(camera.substr(0, colon)));
            if (colon != std::string::npos)
                w->setProperty("ParamCamPort", QString::fromStdString(camera.substr(colon + 1)));
        }
        for (const auto& [name, value] : options.sets) {
            w->setProperty(name.c_str(), QString::fromStdString(value));
            autoStartSet = autoStartSet || name == "ParamAutoStart";
        }
        auto backend = std::make_unique<ocuview::CoreBackend>(*w);
        backends.push_back(backend.get());
        w->SetBackend(std::move(backend));
        QObject::connect(w, &ocuview::OcuviewWidget::recordingChanged, w, [i](bool on, const QString& text) {
            std::printf("ocuview: control %zu: recording %s\n", i,
                        qPrintable(on ? QStringLiteral("into ") + text : text));
            std::fflush(stdout);
        });
        grid->addWidget(w, static_cast<int>(i) / columns, static_cast<int>(i) % columns);
        widgets.push_back(w);
    }

    if (options.dbus) {
        QString service, error;
        QStringList paths;
        if (ocuview::ExportOnSessionBus(widgets, &service, &paths, &error))
            std::printf("ocuview: D-Bus name %s, objects %s\n", qPrintable(service),
                        qPrintable(paths.join(' ')));
        else
            std::printf("ocuview: not on the D-Bus (%s)\n", qPrintable(error));
    }
    std::fflush(stdout);

    window.show();
    // ParamAutoStart, when given, decides when the controls start (on showing); otherwise they start now.
    if (!autoStartSet)
        for (auto* w : widgets) w->PrmPlayStart();
    // The control thread takes the recording after the start-up it was queued behind.
    for (std::size_t i = 0; i < options.records.size(); ++i)
        widgets[i]->StartRecording(QString::fromStdString(options.records[i]));

    if (options.seconds > 0) {
        QTimer::singleShot(static_cast<int>(options.seconds * 1000), &app, [&] {
            if (!options.snapshot.empty()) {
                const QString file = QString::fromStdString(options.snapshot);
                if (window.grab().save(file))
                    std::printf("ocuview: snapshot saved to %s\n", qPrintable(file));
                else
                    std::printf("ocuview: cannot save the snapshot to %s\n", qPrintable(file));
            }
            for (std::size_t i = 0; i < widgets.size(); ++i) {
                // The recording ends first, so that what it holds is counted against what was drawn.
                if (const auto s = backends[i]->FinishRecording()) {
                    std::string files;
                    for (const std::string& p : s->paths) files += (files.empty() ? "" : " ") + p;
                    std::printf(
                        "ocuview: control %zu: recorded %llu of %llu pictures received (%llu skipped, "
                        "%llu dropped), %llu of %llu audio bytes into %s%s%s\n",
                        i, static_cast<unsigned long long>(s->picturesWritten),
                        static_cast<unsigned long long>(s->picturesReceived),
                        static_cast<unsigned long long>(s->picturesSkipped),
                        static_cast<unsigned long long>(s->droppedItems),
                        static_cast<unsigned long long>(s->audioBytesWritten),
                        static_cast<unsigned long long>(s->audioBytesReceived),
                        files.empty() ? "nothing" : files.c_str(), s->error.empty() ? "" : "; ",
                        s->error.c_str());
                }
                const auto* w = widgets[i];
                std::printf("ocuview: control %zu: %s, %llu pictures of %dx%d, %s fps, camera time \"%s\"\n",
                            i, w->model().hostField().c_str(),
                            static_cast<unsigned long long>(backends[i]->pictures()), w->pictureSize().width,
                            w->pictureSize().height, backends[i]->measuredRate().c_str(),
                            qPrintable(w->labelText()));
            }
            std::fflush(stdout);
            QApplication::quit();
        });
    }
    const int status = QApplication::exec();
    // Stop every viewer before the widgets go.
    for (auto* w : widgets) w->SetBackend(nullptr);
    return status;
}
