// qxrcamsim: a stand-in QXR-K7 camera on loopback, for tests, demos and anyone without a camera.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "jpeg_encoder_adapter.h"
#include "simulator.h"

#ifndef QXR_VERSION
#define QXR_VERSION "0"
#endif

namespace {

void PrintHelp(std::FILE* out) {
    std::fprintf(
        out,
        "usage: qxrcamsim [options]\n"
        "\n"
        "Serves what a QXR-K7 camera serves, on loopback unless told otherwise: CGI inquiries and commands,\n"
        "Motion JPEG (/image?speed=N), MPEG-4 (/mpeg4, /mdimage), audio (/audio), motion data\n"
        "(/mddata.cgi), RTP over UDP (mpeg4?UdpMode=...), HTTP Basic authentication, and faults on demand.\n"
        "\n"
        "options:\n"
        "  --port P               HTTP port (default 8080; 0 picks a free one)\n"
        "  --bind ADDR            listen address (default 127.0.0.1)\n"
        "  --codec jpeg|mpeg4     the codec the camera reports (default jpeg)\n"
        "  --size WxH             picture size: 640x480, 320x240 or 160x120 (default 640x480)\n"
        "  --rate N               highest Motion JPEG rate (default 30)\n"
        "  --mpeg4-rate N         MPEG-4 rate (default 30)\n"
        "  --mpeg4-file F         MPEG-4 elementary stream to loop for /mpeg4, /mdimage and RTP\n"
        "  --audio-codec C        g711_64, g726_16, g726_24, g726_32 or g726_40 (default g711_64)\n"
        "  --audio-file F         raw packed audio codes to loop (default: a tone, or G.726 silence)\n"
        "  --no-audio             report audio input off\n"
        "  --user U --password W  require HTTP Basic authentication\n"
        "  --realm R              realm offered with 401 (default \"Marlo Network Camera\")\n"
        "  --viewer-mode HEX      eight hexadecimal digits, low byte first (default 0000FFFF)\n"
        "  --window N:L,T,R,B[:on|off]  a motion-detection window\n"
        "  --video-port P         camera's RTP video port, RTCP on P+1 (default 60010; 0 any)\n"
        "  --audio-port P         camera's RTP audio port (default 60012; 0 any)\n"
        "  --multicast-address A  multicast group (default 239.0.0.7)\n"
        "  --sdp FILE             write a session description there when a UDP stream starts\n"
        "  --sr-interval MS       RTCP sender report interval (default 5000)\n"
        "  --max-connections N    open HTTP connections served at once; 503 beyond (default 64)\n"
        "  --rtcp-timeout S       end a unicast RTP session after S seconds without RTCP from its\n"
        "                         receiver (default 60); at most 8 sessions per medium and client\n"
        "  --state-history N      requests, commands and reports kept for /sim/state (default 1000)\n"
        "  --fault STREAM:KIND[=V]  inject a fault; STREAM is image, mpeg4, mdimage, audio, mddata, cgi,\n"
        "                         rtp-video, rtp-audio or all; KIND is refuse, close-after=N, stall,\n"
        "                         garbage=N, no-datalen, huge-datalen, bad-picture, status=400|503,\n"
        "                         unauthorized, loss=P, duplicate=P, reorder=P, no-sr, early-bye=S, clear\n"
        "  -h, --help             show this help\n"
        "  -V, --version          show the version\n"
        "\n"
        "While running: GET /sim/state (JSON of requests, commands, receiver reports, bytes sent),\n"
        "POST /sim/fault with a fault spec as the body, GET /sim/size?width=W&height=H; with --user\n"
        "and --password set these need the credentials too.\n");
}

}  // namespace

namespace {

int Run(int argc, char** argv) {
    camsim::Config config;
    int srInterval = 5000;
    auto need = [&](int& i) -> const char* {
        if (i + 1 >= argc) {
            std::fprintf(stderr, "qxrcamsim: %s needs a value\n", argv[i]);
            std::exit(2);
        }
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        std::string err;
        if (a == "-h" || a == "--help") {
            PrintHelp(stdout);
            return 0;
        } else if (a == "-V" || a == "--version") {
            std::printf("qxrcamsim %s (QXR-K7 camera suite)\n", QXR_VERSION);
            return 0;
        } else if (a == "--port") {
            const auto v = camsim::ParseInteger(need(i), 0, 65535);
            if (!v) err = "--port takes 0 to 65535";
            config.port = static_cast<uint16_t>(v.value_or(0));
        } else if (a == "--bind") {
            config.bindAddress = need(i);
        } else if (a == "--codec") {
            config.codec = need(i);
            if (config.codec != "jpeg" && config.codec != "mpeg4") err = "codec must be jpeg or mpeg4";
        } else if (a == "--size") {
            char tail = 0;
            if (std::sscanf(need(i), "%dx%d%c", &config.width, &config.height, &tail) != 2 ||
                !camsim::IsCameraSize(config.width, config.height))
                err = "size must be 640x480, 320x240 or 160x120";
        } else if (a == "--rate") {
            const auto v = camsim::ParseInteger(need(i), 1, 30);
            if (!v) err = "rate must be 1 to 30";
            config.jpegFrameRate = static_cast<int>(v.value_or(30));
        } else if (a == "--mpeg4-rate") {
            const auto v = camsim::ParseInteger(need(i), 1, 30);
            if (!v) err = "MPEG-4 rate must be 1 to 30";
            config.mpeg4FrameRate = static_cast<int>(v.value_or(30));
        } else if (a == "--mpeg4-file") {
            config.mpeg4File = need(i);
        } else if (a == "--audio-codec") {
            config.audioCodec = need(i);
            const std::string& c = config.audioCodec;
            if (c != "g711_64" && c != "g726_16" && c != "g726_24" && c != "g726_32" && c != "g726_40")
                err = "unknown audio codec " + c;
        } else if (a == "--audio-file") {
            config.audioFile = need(i);
        } else if (a == "--no-audio") {
            config.audioIn = false;
        } else if (a == "--user") {
            config.user = need(i);
        } else if (a == "--password") {
            config.password = need(i);
        } else if (a == "--realm") {
            config.realm = need(i);
        } else if (a == "--viewer-mode") {
            config.viewerMode = need(i);
        } else if (a == "--window") {
            err = camsim::ApplyWindowSpec(config, need(i));
        } else if (a == "--video-port" || a == "--audio-port") {
            // RTCP takes the next port up.
            const auto v = camsim::ParseInteger(need(i), 0, 65534);
            if (!v) err = a + " takes 0 to 65534";
            (a == "--video-port" ? config.ucVideoPort : config.ucAudioPort) =
                static_cast<uint16_t>(v.value_or(0));
        } else if (a == "--multicast-address") {
            config.multicastAddress = need(i);
        } else if (a == "--sdp") {
            config.sdpFile = need(i);
        } else if (a == "--sr-interval") {
            const auto v = camsim::ParseInteger(need(i), 100, 3600000);
            if (!v) err = "sender report interval must be 100 to 3600000 ms";
            srInterval = static_cast<int>(v.value_or(5000));
        } else if (a == "--max-connections") {
            const auto v = camsim::ParseInteger(need(i), 1, 10000);
            if (!v) err = "--max-connections takes 1 to 10000";
            config.maxConnections = static_cast<int>(v.value_or(64));
        } else if (a == "--rtcp-timeout") {
            const auto v = camsim::ParseInteger(need(i), 1, 86400);
            if (!v) err = "--rtcp-timeout takes 1 to 86400 seconds";
            config.rtcpTimeoutMs = static_cast<int>(v.value_or(60)) * 1000;
        } else if (a == "--state-history") {
            const auto v = camsim::ParseInteger(need(i), 1, 1000000);
            if (!v) err = "--state-history takes 1 to 1000000";
            config.stateHistory = static_cast<int>(v.value_or(1000));
        } else if (a == "--fault") {
            err = camsim::ApplyFaultSpec(config, need(i));
        } else {
            err = "unknown option " + a + "; see --help";
        }
        if (!err.empty()) {
            std::fprintf(stderr, "qxrcamsim: %s\n", err.c_str());
            return 2;
        }
    }
    if (config.user.empty() != config.password.empty()) {
        std::fprintf(stderr, "qxrcamsim: --user and --password go together\n");
        return 2;
    }
    if (config.bindAddress.rfind("127.", 0) != 0)
        std::fprintf(stderr, "qxrcamsim: listening on %s: reachable beyond this machine\n",
                     config.bindAddress.c_str());

    // Signals are taken by sigwait below, so every thread must have them blocked.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    camsim::Simulator sim(config, camsim::MakeJpegEncoder());
    sim.SetSenderReportInterval(srInterval);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "qxrcamsim: %s\n", error.c_str());
        return 1;
    }
    const camsim::Config live = sim.CurrentConfig();
    std::printf("qxrcamsim: listening on http://%s:%u/ (%s %dx%d, audio %s, RTP video %u audio %u)\n",
                live.bindAddress.c_str(), sim.port(), live.codec.c_str(), live.width, live.height,
                live.audioIn ? live.audioCodec.c_str() : "off", live.ucVideoPort, live.ucAudioPort);
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    std::printf("qxrcamsim: %s, stopping\n", received == SIGINT ? "interrupted" : "terminated");
    sim.Stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Failures are messages and exit statuses; what the library throws (threads or memory running out
    // at start) is one too, never an abort.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxrcamsim: %s\n", e.what());
        return 1;
    }
}
