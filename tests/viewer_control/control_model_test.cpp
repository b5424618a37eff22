// The control's fourteen properties and fourteen methods: parsing, defaults, ignored values, getter texts
// and what reaches the view, as tables of cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/control_model.h"
#include "core/camera_description.h"

namespace ocuview {
namespace {

// Records what the model asks of the view, one line per call.
class RecordingView : public ViewActions {
  public:
    std::vector<std::string> calls;
    void StartViewer() override { calls.push_back("start"); }
    void StopViewer() override { calls.push_back("stop"); }
    void RestartViewer() override { calls.push_back("restart"); }
    void ChangeFrameRate(int rate) override { calls.push_back("rate " + std::to_string(rate)); }
    void ResizeView(ViewSize size) override {
        calls.push_back("resize " + std::to_string(static_cast<int>(size)));
    }
    void ChangeVolume(int volume) override { calls.push_back("volume " + std::to_string(volume)); }
    void ChangeMute(bool on) override { calls.push_back(on ? "mute" : "unmute"); }
    void RepaintPanel() override { calls.push_back("repaint"); }
    void FireTrigger(Trigger t) override {
        calls.push_back("trigger " + std::to_string(static_cast<int>(t)));
    }
    void ZoomAt(int x, int y) override {
        calls.push_back("zoom " + std::to_string(x) + "," + std::to_string(y));
    }
    void ZoomOff() override { calls.push_back("zoom off"); }
};

struct Fixture {
    RecordingView view;
    ControlModel model{view, "0.1.0", "Ocuview"};
    void Play() {
        model.PrmPlayStart();
        view.calls.clear();
    }
};

TEST(ControlModel, NamesAreInScriptingOrder) {
    EXPECT_EQ(kPropertyNames.front(), "SetInitialMode");
    EXPECT_EQ(kPropertyNames.back(), "ParamAutoStart");
    EXPECT_EQ(kMethodNames.front(), "PrmPlayStart");
    EXPECT_EQ(kMethodNames.back(), "PrmCalcModuleHeight");
    EXPECT_EQ(PropertyByName("ParamVolume"), Property::ParamVolume);
    EXPECT_FALSE(PropertyByName("paramvolume"));
}

// Each case writes `first` then `second` to one property and reads the property text and the effect.
struct PropertyCase {
    Property property;
    const char* first;
    const char* second;
    const char* expectedText;  // the property's text afterwards
    const char* getParam;      // a PrmGetControlParam/Color parameter that shows the effect, or ""
    const char* expectedGet;
};

TEST(ControlModel, PropertyRules) {
    const PropertyCase cases[] = {
        // Accepted values, keywords by their own length, other text clearing where the rule says so.
        {Property::ParamStreamMode, "PRM_MODE_UDPMULTICAST", "", "PRM_MODE_UDPMULTICAST",
         "PRM_PARAM_STREAMMODE", "PRM_MODE_UDPMULTICAST"},
        {Property::ParamStreamMode, "PRM_MODE_UDPUNICASTX", "", "PRM_MODE_UDPUNICASTX",
         "PRM_PARAM_STREAMMODE", "PRM_MODE_UDPUNICAST"},
        {Property::ParamStreamMode, "PRM_MODE_TCPUNICAST", "tcp", "tcp", "PRM_PARAM_STREAMMODE", "UNKNOWN"},
        {Property::ParamViewMode, "000000C1", "", "", "PRM_PARAM_VIEWMODE", ""},
        {Property::ParamViewMode, "000001ff", "", "", "PRM_PARAM_VIEWMODE", ""},
        {Property::ParamViewMode, "000001ff", "0000001", "0000001", "PRM_PARAM_VIEWMODE", ""},
        {Property::ParamViewMode, "c00100ff", "", "", "PRM_PARAM_VIEWMODE", ""},
        {Property::ParamColorCtrlBack, "ff0000", "", "ff0000", "PRM_COLOR_CTRLBACK", "FF0000"},
        {Property::ParamColorCtrlBack, "12345", "", "", "PRM_COLOR_CTRLBACK", "60B84F"},
        {Property::ParamColorPictFrame, "zz00g1", "", "zz00g1", "PRM_COLOR_PICTFRAME", "000001"},
        {Property::ParamColorDateFore, "00ff00", "1234567", "00ff00", "PRM_COLOR_DATEFORE", "00FF00"},
        {Property::ParamFrameRate, "15", "0", "15", "PRM_PARAM_FRAMERATE", "15"},
        {Property::ParamFrameRate, "31", "", "", "PRM_PARAM_FRAMERATE", ""},
        {Property::ParamFrameRate, "30", "1x", "30", "PRM_PARAM_FRAMERATE", "30"},
        {Property::ParamViewSize, "PRM_VIEWSIZE_QQVGA", "", "PRM_VIEWSIZE_QQVGA", "PRM_PARAM_VIEWSIZE",
         "PRM_VIEWSIZE_QQVGA"},
        {Property::ParamViewSize, "PRM_VIEWSIZE_VGA", "big", "big", "PRM_PARAM_VIEWSIZE",
         "PRM_VIEWSIZE_AUTO"},
        {Property::ParamVolume, "0", "101", "0", "PRM_PARAM_VOLUME", "0"},
        {Property::ParamVolume, "55", "-1", "55", "PRM_PARAM_VOLUME", "55"},
        {Property::ParamMute, "PRM_MUTE_ON", "", "PRM_MUTE_ON", "PRM_PARAM_MUTE", "PRM_MUTE_ON"},
        {Property::ParamMute, "PRM_MUTE_ON", "loud", "loud", "PRM_PARAM_MUTE", "PRM_MUTE_OFF"},
    };
    for (const PropertyCase& c : cases) {
        SCOPED_TRACE(std::string(kPropertyNames[static_cast<std::size_t>(c.property)]) + " " + c.first +
                     " / " + c.second);
        Fixture f;
        f.model.SetProperty(c.property, c.first);
        f.model.SetProperty(c.property, c.second);
        EXPECT_EQ(f.model.GetProperty(c.property), c.expectedText);
        const std::string param = c.getParam;
        const std::string got = param.rfind("PRM_COLOR_", 0) == 0 ? f.model.PrmGetControlColor(param)
                                                                  : f.model.PrmGetControlParam(param);
        if (c.property != Property::ParamViewMode) {
            EXPECT_EQ(got, c.expectedGet);
        }
        EXPECT_TRUE(f.view.calls.empty());  // property handlers only store values
    }
}

TEST(ControlModel, ViewModeDigitPairsAreLowByteFirst) {
    const struct {
        const char* text;
        std::optional<uint32_t> mask;
    } cases[] = {{"000000C1", 0xC1000000u}, {"000000c1", 0xC1000000u},
                 {"000001ff", 0xFF010000u},  // every box of the property page
                 {"0000g0C1", 0xC1000000u},  // a non-hexadecimal character counts as 0
                 {"0000001", std::nullopt}, {"000000C1X", std::nullopt},
                 {"", std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Fixture f;
        f.model.SetProperty(Property::ParamViewMode, "FFFFFFFF");
        f.model.SetProperty(Property::ParamViewMode, c.text);
        EXPECT_EQ(f.model.viewModeMask(), c.mask);
    }
    Fixture f;
    f.model.SetProperty(Property::ParamViewMode, "000001ff");
    EXPECT_EQ(f.model.PrmGetControlParam("PRM_PARAM_VIEWMODE"), "000001FF");
}

TEST(ControlModel, DefaultsAndEmptyText) {
    Fixture f;
    EXPECT_EQ(f.model.PrmGetControlColor("PRM_COLOR_CTRLBACK"), "60B84F");
    EXPECT_EQ(f.model.PrmGetControlColor("PRM_COLOR_CTRLFORE"), "FFFFFF");
    EXPECT_EQ(f.model.PrmGetControlColor("PRM_COLOR_DATEFORE"), "FFFFFF");
    EXPECT_EQ(f.model.PrmGetControlColor("PRM_COLOR_PICTFRAME"), "505050");
    EXPECT_EQ(f.model.PrmGetControlColor("PRM_COLOR_OTHER"), "");
    EXPECT_EQ(f.model.PrmGetControlParam("PRM_PARAM_STREAMMODE"), "UNKNOWN");
    EXPECT_EQ(f.model.PrmGetControlParam("PRM_PARAM_NOTHING"), "");
    for (int i = 0; i < kPropertyCount; ++i) EXPECT_EQ(f.model.GetProperty(static_cast<Property>(i)), "");
    f.model.SetProperty(Property::SetInitialMode, "MotionDetectX");
    EXPECT_TRUE(f.model.motionDetectMode());
    f.model.SetProperty(Property::SetInitialMode, "");  // empty changes nothing
    EXPECT_TRUE(f.model.motionDetectMode());
    f.model.SetProperty(Property::SetInitialMode, "Motion");
    EXPECT_FALSE(f.model.motionDetectMode());
}

TEST(ControlModel, CameraAddressAndHostField) {
    const struct {
        const char* pageUrl;
        const char* address;
        const char* port;
        const char* host;
        const char* hostField;
    } cases[] = {
        {"", "cam.example", "80", "cam.example", "cam.example"},
        {"", "10.0.0.5", "8080", "10.0.0.5", "10.0.0.5:8080"},
        {"", "", "8080", "", ""},
        {"", "cam", "http", "cam", "cam"},  // a port that is not a number is ignored
        {"http://192.168.0.9:8081/index.html", "", "", "192.168.0.9", "192.168.0.9:8081"},
        {"http://192.168.0.9/", "", "", "192.168.0.9", "192.168.0.9"},
        {"192.168.0.9:81/view", "", "", "192.168.0.9", "192.168.0.9:81"},
        {"http://192.168.0.9", "", "", "", ""},  // no "/" after the host: nothing
        {"http://192.168.0.9:8081/", "10.1.1.1", "", "10.1.1.1", "10.1.1.1:8081"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pageUrl) + " " + c.address + " " + c.port);
        Fixture f;
        f.model.SetPageUrl(c.pageUrl);
        f.model.SetProperty(Property::ParamCamAddress, c.address);
        f.model.PrmSetNetworkParam("PRM_NETWORK_PORT", c.port);
        EXPECT_EQ(f.model.cameraHost(), c.host);
        EXPECT_EQ(f.model.PrmGetNetworkParam("PRM_NETWORK_IPADDR"), c.host);
        EXPECT_EQ(f.model.hostField(), c.hostField);
    }
}

TEST(ControlModel, PlayStartStopAndAutoStart) {
    Fixture f;
    f.model.SetProperty(Property::ParamAutoStart, "PRM_AUTOSTART_ON");
    EXPECT_TRUE(f.view.calls.empty());  // before the window exists the handler only stores
    f.model.SetReady();
    f.model.PrmPlayStart();  // already playing: nothing
    EXPECT_EQ(f.view.calls, (std::vector<std::string>{"start"}));
    f.model.SetProperty(Property::ParamAutoStart, "PRM_AUTOSTART_OFF");
    EXPECT_FALSE(f.model.autoStart());
    f.model.OnStopped();
    f.model.PrmPlayStop();                              // not playing: nothing
    f.model.SetProperty(Property::ParamAutoStart, "");  // empty text is "anything but OFF"
    EXPECT_EQ(f.view.calls, (std::vector<std::string>{"start", "stop", "start"}));

    Fixture quiet;
    quiet.model.SetReady();
    EXPECT_TRUE(quiet.view.calls.empty());  // no auto-start asked for
}

// PrmSetControlParam before and while playing.
TEST(ControlModel, SetControlParam) {
    const struct {
        const char* param;
        const char* arg;
        const char* get;           // PrmGetControlParam(param) afterwards
        const char* whilePlaying;  // the view call while playing ("" none)
    } cases[] = {
        {"PRM_PARAM_STREAMMODE", "PRM_MODE_UDPMULTICAST", "PRM_MODE_UDPMULTICAST", "restart"},
        {"PRM_PARAM_STREAMMODE", "udp", "PRM_MODE_TCPUNICAST", "restart"},
        {"PRM_PARAM_VIEWMODE", "000001ff", "000001FF", "restart"},
        {"PRM_PARAM_FRAMERATE", "10", "10", "rate 10"},
        {"PRM_PARAM_FRAMERATE", "31", "", ""},
        {"PRM_PARAM_FRAMERATE", "0", "", ""},
        {"PRM_PARAM_VIEWSIZE", "PRM_VIEWSIZE_QVGA", "PRM_VIEWSIZE_QVGA", "resize 18"},
        {"PRM_PARAM_VIEWSIZE", "PRM_VIEWSIZE_HUGE", "PRM_VIEWSIZE_AUTO", ""},
        {"PRM_PARAM_VOLUME", "41", "41", "volume 41"},
        {"PRM_PARAM_VOLUME", "4 1", "100", ""},
        {"PRM_PARAM_MUTE", "PRM_MUTE_ON", "PRM_MUTE_ON", "mute"},
        {"PRM_PARAM_MUTE", "PRM_MUTE_OFF", "PRM_MUTE_OFF", "unmute"},
        {"PRM_PARAM_MUTE", "PRM_MUTE", "PRM_MUTE_OFF", ""},
        {"PRM_PARAM_OTHER", "1", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.param) + " " + c.arg);
        Fixture stopped;
        stopped.model.PrmSetControlParam(c.param, c.arg);
        EXPECT_EQ(stopped.model.PrmGetControlParam(c.param), c.get);
        EXPECT_TRUE(stopped.view.calls.empty());

        Fixture playing;
        playing.Play();
        playing.model.PrmSetControlParam(c.param, c.arg);
        const std::vector<std::string> expected =
            *c.whilePlaying ? std::vector<std::string>{c.whilePlaying} : std::vector<std::string>{};
        EXPECT_EQ(playing.view.calls, expected);
    }
}

TEST(ControlModel, StreamModeRequestAppliesOnce) {
    Fixture f;
    f.model.PrmSetControlParam("PRM_PARAM_STREAMMODE", "PRM_MODE_UDPMULTICAST");
    EXPECT_EQ(f.model.TakeStreamModeRequest(), StreamMode::UdpMulticast);
    EXPECT_EQ(f.model.TakeStreamModeRequest(), StreamMode::None);
    f.model.OnSessionMode(StreamMode::UdpUnicast);
    EXPECT_EQ(f.model.PrmGetControlParam("PRM_PARAM_STREAMMODE"), "PRM_MODE_UDPUNICAST");
}

TEST(ControlModel, ColoursTriggersAndZoomActOnlyWhilePlaying) {
    const struct {
        const char* method;
        const char* a;
        const char* b;
        const char* c;
        const char* whilePlaying;
    } cases[] = {
        {"color", "PRM_COLOR_CTRLBACK", "ff0000", "", "repaint"},
        {"color", "PRM_COLOR_CTRLBACK", "ff00", "", ""},
        {"color", "PRM_COLOR_NONE", "ff0000", "", ""},
        {"trigger", "PRM_TRIGGER_SMTP", "", "", "trigger 0"},
        {"trigger", "PRM_TRIGGER_FTP", "", "", "trigger 1"},
        {"trigger", "PRM_TRIGGER_MEMORY", "", "", "trigger 2"},
        {"trigger", "PRM_TRIGGER_ALARM", "", "", "trigger 3"},
        {"trigger", "PRM_TRIGGER_SIREN", "", "", ""},
        {"zoom", "PRM_DZOOM_ON", "320", "240", "zoom 320,240"},
        {"zoom", "PRM_DZOOM_ON", "639", "479", "zoom 639,479"},
        {"zoom", "PRM_DZOOM_ON", "700", "10", ""},
        {"zoom", "PRM_DZOOM_ON", "12a", "10", ""},
        {"zoom", "PRM_DZOOM_ON", "10", "480", ""},
        {"zoom", "PRM_DZOOM_OFF", "", "", "zoom off"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.a + " " + c.b + " " + c.c);
        for (bool playing : {false, true}) {
            Fixture f;
            if (playing) f.Play();
            const std::string method = c.method;
            if (method == "color")
                f.model.PrmSetControlColor(c.a, c.b);
            else if (method == "trigger")
                f.model.PrmExecTriggerControl(c.a);
            else
                f.model.PrmExecDZoomControl(c.a, c.b, c.c);
            const std::vector<std::string> expected = playing && *c.whilePlaying
                                                          ? std::vector<std::string>{c.whilePlaying}
                                                          : std::vector<std::string>{};
            EXPECT_EQ(f.view.calls, expected);
        }
    }
    Fixture f;
    f.model.PrmSetControlColor("PRM_COLOR_CTRLBACK", "ff0000");  // stored even when not playing
    EXPECT_EQ(f.model.colour(ColourRole::CtrlBack), (Rgb{255, 0, 0}));
    EXPECT_EQ(f.model.GetProperty(Property::ParamColorCtrlBack), "ff0000");
}

TEST(ControlModel, SizeVersionAndName) {
    const struct {
        const char* mode;
        const char* size;
        const char* width;
        const char* height;
    } cases[] = {
        {"PRM_VIEWMODE_FULL", "PRM_VIEWSIZE_VGA", "880", "600"},
        {"PRM_VIEWMODE_FULL", "PRM_VIEWSIZE_QVGA", "560", "360"},
        {"PRM_VIEWMODE_FULL", "PRM_VIEWSIZE_QQVGA", "400", "280"},
        {"PRM_VIEWMODE_LIGHT", "PRM_VIEWSIZE_VGA", "880", "600"},
        {"PRM_VIEWMODE_LIGHT", "PRM_VIEWSIZE_QVGA", "560", "360"},
        {"PRM_VIEWMODE_LIGHT", "PRM_VIEWSIZE_QQVGA", "400", "240"},
        {"PRM_VIEWMODE_VIEW", "PRM_VIEWSIZE_VGA", "700", "600"},
        {"PRM_VIEWMODE_VIEW", "PRM_VIEWSIZE_QVGA", "380", "360"},
        {"PRM_VIEWMODE_VIEW", "PRM_VIEWSIZE_QQVGA", "220", "240"},
        {"PRM_VIEWMODE_VIEWONLY", "PRM_VIEWSIZE_VGA", "640", "480"},
        {"PRM_VIEWMODE_VIEWONLY", "PRM_VIEWSIZE_QVGA", "320", "240"},
        {"PRM_VIEWMODE_VIEWONLY", "PRM_VIEWSIZE_QQVGA", "160", "120"},
        {"PRM_VIEWMODE_TINY", "PRM_VIEWSIZE_VGA", "", ""},
        {"PRM_VIEWMODE_FULL", "PRM_VIEWSIZE_AUTO", "", ""},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + c.size);
        EXPECT_EQ(ControlModel::PrmCalcModuleWidth(c.mode, c.size), c.width);
        EXPECT_EQ(ControlModel::PrmCalcModuleHeight(c.mode, c.size), c.height);
    }
    Fixture f;
    EXPECT_EQ(f.model.PrmGetVersion(), "00010000");
    EXPECT_EQ(f.model.PrmGetModuleName(), "Ocuview");
    EXPECT_EQ(FormatVersion("1.2.3.4"), "01020304");
    EXPECT_EQ(FormatVersion("1.100"), "");
    EXPECT_EQ(FormatVersion("1..2"), "");
    EXPECT_EQ(FormatVersion("1.2.3.4.5"), "");
    EXPECT_EQ(FormatVersion(""), "");
}

TEST(ControlModel, ModelsAreIndependent) {
    Fixture a, b;
    a.model.SetProperty(Property::ParamCamAddress, "10.0.0.1");
    a.model.PrmSetControlParam("PRM_PARAM_STREAMMODE", "PRM_MODE_UDPUNICAST");
    a.model.PrmSetControlColor("PRM_COLOR_DATEFORE", "000000");
    EXPECT_EQ(b.model.cameraHost(), "");
    EXPECT_EQ(b.model.streamModeRequest(), StreamMode::None);
    EXPECT_EQ(b.model.PrmGetControlColor("PRM_COLOR_DATEFORE"), "FFFFFF");
}

}  // namespace
}  // namespace ocuview

namespace ocuview {
namespace {

TEST(PropertyPageText, ViewModeAndColourForms) {
    EXPECT_EQ(FormatPageViewMode(0x1FF), "000001ff");
    EXPECT_EQ(FormatPageViewMode(0x001), "00000001");
    // Written by the page, read by the control: V's bits 0-7 are bits 24-31, bit 8 is bit 16.
    EXPECT_EQ(ViewerModeFromDigits(FormatPageViewMode(0x1FF)), 0xFF010000u);
    EXPECT_EQ(ViewerModeFromDigits(FormatPageViewMode(0x141)), 0x41010000u);
    EXPECT_EQ(PageViewModeBits(0xFF010000u), 0x1FFu);
    EXPECT_EQ(PageViewModeBits(0x41010000u), 0x141u);
    EXPECT_EQ(FormatPageColour({255, 0, 10}), "ff000a");
    EXPECT_EQ(FormatPageColour({96, 184, 79}), "60b84f");
}

}  // namespace
}  // namespace ocuview
