// The single-instance hand-over between two real processes: this test is the first instance, the
// reeldeck program the second.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>

#include "gui/command_line.h"
#include "gui/engine_player.h"
#include "gui/instance_link.h"
#include "gui_test_support.h"

namespace reeldeck_gui_test {
namespace {

using reeldeck::gui::Extent;

class InstanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        name = QString("reeldeck-test-%1").arg(::getpid());
        ASSERT_TRUE(server.Listen(name));
        window.SetPlayer(reeldeck::gui::MakeEnginePlayer(window, window.Notifications()));
        QObject::connect(&server, &reeldeck::gui::InstanceServer::handedOver, &window,
                         [this](uint32_t word, const QString& path) { window.HandOver(word, path); });
        window.show();
    }
    // Runs `reeldeck args...` as the second instance; its exit code (-1 when it did not end in time).
    int RunSecond(const QStringList& args) {
        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("REELDECK_INSTANCE", name);
        second.setProcessEnvironment(env);
        second.start(QString(QXR_BINARY_DIR) + "/bin/reeldeck", args);
        if (!second.waitForStarted(5000)) return -1;
        // Keep this instance's event loop running while the second one talks to it.
        if (!WaitFor([&] { return second.state() == QProcess::NotRunning; }, 20000)) {
            second.kill();
            second.waitForFinished();
            return -1;
        }
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    }

    recording_test::ReportRecorder reports;
    recording_test::ScratchDir scratch;
    reeldeck::gui::MainWindow window;
    reeldeck::gui::InstanceServer server;
    QString name;
};

TEST_F(InstanceTest, SecondInstanceHandsOverItsFileAndEnds) {
    const std::string still = scratch / "handed.bmp";
    WriteBitmap(still, Pattern(200, 100));
    ASSERT_EQ(RunSecond({QString::fromStdString(still)}), 0);
    ASSERT_TRUE(WaitFor([&] { return window.Picture()->Area() == Extent{200, 100}; }));
    EXPECT_TRUE(reports.boxes.empty());

    ASSERT_EQ(RunSecond({QString::fromStdString(still), "other.bmp"}), 0);
    ASSERT_TRUE(WaitFor([&] { return !reports.boxes.empty(); }));
    EXPECT_EQ(reports.BoxTexts(), std::vector<std::string>{"Cannot chose two or more files."});
}

TEST_F(InstanceTest, SecondInstanceWithoutAFileOnlyRaisesTheFirst) {
    QSignalSpy raised(&server, &reeldeck::gui::InstanceServer::raiseRequested);
    QSignalSpy handed(&server, &reeldeck::gui::InstanceServer::handedOver);
    ASSERT_EQ(RunSecond({}), 0);
    ASSERT_TRUE(WaitFor([&] { return raised.count() == 1; }));
    EXPECT_EQ(handed.count(), 0);
}

TEST_F(InstanceTest, MessagesWithoutTheMarkAreIgnored) {
    QSignalSpy handed(&server, &reeldeck::gui::InstanceServer::handedOver);
    ASSERT_EQ(reeldeck::gui::SendHandOver(name, true, 0x43210002u, "/nowhere.bmp"),
              reeldeck::gui::HandOverResult::kDelivered);
    ASSERT_TRUE(WaitFor([&] { return handed.count() == 1; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(reports.boxes.empty());
    EXPECT_EQ(window.Picture()->Area(), (Extent{320, 240}));
}

// Both instances real: the first opens the sample from its command line and plays it (its decoder's
// diagnostics say so), and later takes a two-file hand-over as message 34 in its report log.
TEST(InstanceProcesses, CommandLineOpensTheSampleAndTheFirstReportsHandOvers) {
    recording_test::ScratchDir scratch;
    const QString sample = QString(QXR_BINARY_DIR) + "/share/reeldeck/sample/SAMPLE00.jpf";
    ASSERT_TRUE(QFile::exists(sample));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("REELDECK_INSTANCE", QString("reeldeck-cli-%1").arg(::getpid()));
    env.insert("QXR_DEBUG_OUTPUT", QString::fromStdString(scratch / "debug.txt"));
    env.insert("XDG_STATE_HOME", QString::fromStdString(scratch.path()));
    env.insert("QXR_AUDIO_OUTPUT", "null");
    const std::string log = scratch / "reeldeck/report.txt";

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QString(QXR_BINARY_DIR) + "/bin/reeldeck", {sample});
    ASSERT_TRUE(first.waitForStarted(5000));
    EXPECT_TRUE(WaitFor(
        [&] {
            return recording_test::ReadWholeFile(scratch / "debug.txt").find("Start MotionJpegDecoder") !=
                   std::string::npos;
        },
        30000));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QString(QXR_BINARY_DIR) + "/bin/reeldeck", {"a.bmp", "b.bmp"});
    EXPECT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(WaitFor(
        [&] {
            return recording_test::ReadWholeFile(log).find(") : Cannot chose two or more files.\n") !=
                   std::string::npos;
        },
        20000));
    first.terminate();
    if (!first.waitForFinished(10000)) {
        first.kill();
        first.waitForFinished();
    }
    QLocalServer::removeServer(env.value("REELDECK_INSTANCE"));  // the socket a terminated first leaves
}

}  // namespace
}  // namespace reeldeck_gui_test
