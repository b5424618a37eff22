// qxrtool audio-decode / audio-play: the camera's raw audio (G.711 mu-law bytes, or G.726 codes packed
// most significant bit first) decoded to a WAV file, or played through the audio player.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "command.h"
#include "lumacore/lumacore.h"
#include "platform/input_file.h"
#include "platform/wav_file.h"
#include "platform/wave_out.h"
#include "vello/audio/VelloAudio.h"
#include "vello/audio/audio_decoder.h"
#include "vello/audio/audio_packets.h"

namespace qxrtool {
namespace {

struct CodecChoice {
    const char* name;
    vello::AudioCoding coding;
    int codecId;  // what the players are given; 0: they do not play this coding
};

constexpr CodecChoice kCodecs[] = {
    {"g711", vello::AudioCoding::kG711Mulaw, vello::kAudioG711},
    {"g711-alaw", vello::AudioCoding::kG711Alaw, 0},
    {"g726-16", vello::AudioCoding::kG726_16, vello::kAudioG726_16},
    {"g726-24", vello::AudioCoding::kG726_24, vello::kAudioG726_24},
    {"g726-32", vello::AudioCoding::kG726_32, vello::kAudioG726_32},
    {"g726-40", vello::AudioCoding::kG726_40, vello::kAudioG726_40},
};

const CodecChoice* FindCodec(std::string_view name) {
    for (const CodecChoice& c : kCodecs)
        if (name == c.name) return &c;
    return nullptr;
}

// Raw audio beyond this is refused before reading: about nine hours of G.711.
constexpr std::size_t kMaxInputBytes = std::size_t{256} << 20;

// Parses "--codec NAME" and the positional arguments; returns false with a message on a usage error.
bool ParseArgs(int argc, char** argv, const CodecChoice** codec, std::vector<std::string>* positional,
               std::string* variant, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--codec" || a == "--variant") {
            if (i + 1 >= argc) {
                *error = std::string(a) + " needs a value";
                return false;
            }
            const char* value = argv[++i];
            if (a == "--codec") {
                *codec = FindCodec(value);
                if (*codec == nullptr) {
                    *error = std::string("unknown codec '") + value + "'";
                    return false;
                }
            } else {
                *variant = value;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            *error = "unknown option '" + std::string(a) + "'";
            return false;
        } else {
            positional->emplace_back(a);
        }
    }
    if (*codec == nullptr) {
        *error = "--codec is required";
        return false;
    }
    return true;
}

int RunDecode(int argc, char** argv);
int RunPlay(int argc, char** argv);

const Command kDecode{
    "audio-decode",
    "decode raw camera audio (G.711 mu-law or A-law, or G.726 packed most significant bit first) to a "
    "16-bit 8000 Hz mono WAV file",
    "audio-decode --codec g711|g711-alaw|g726-16|g726-24|g726-32|g726-40 IN OUT.wav", RunDecode};

const Command kPlay{"audio-play",
                    "play raw camera audio through the audio player on the default output (QXR_AUDIO_OUTPUT: "
                    "sdl, null or wav:<file>)",
                    "audio-play --codec g711|g726-16|g726-24|g726-32|g726-40 [--variant reeldeck|ocuview] IN",
                    RunPlay};

int RunDecode(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kDecode);
    const CodecChoice* codec = nullptr;
    std::vector<std::string> files;
    std::string variant, error;
    if (!ParseArgs(argc, argv, &codec, &files, &variant, &error)) return UsageError(kDecode, error);
    if (files.size() != 2) return UsageError(kDecode, "expected IN and OUT.wav");
    std::vector<uint8_t> input;
    if (platform::ReadFile(files[0], kMaxInputBytes, &input, &error) != platform::FileStatus::kOk)
        return Fail(kDecode.name, error);

    std::vector<int16_t> samples;
    if (vello::DecodeAudio(codec->coding, input, samples) != vello::AudioStatus::kOk)
        return Fail(kDecode.name, "cannot decode: the G.726 decoder failed");
    platform::WavFileWriter wav;
    if (wav.Open(files[1], 1, 8000, std::span(files).first(1)) != platform::FileStatus::kOk ||
        wav.Append(samples) != platform::FileStatus::kOk || wav.Finish() != platform::FileStatus::kOk)
        return Fail(kDecode.name, wav.Error());
    std::printf("%s: %zu samples (%.2f s) to %s\n", codec->name, samples.size(), samples.size() / 8000.0,
                files[1].c_str());
    return 0;
}

// The player's queue with flow control by count: the producer waits while four packets are queued, as
// the hosts' fixed heaps make it wait. Once the file is used up it also ends Ocuview's wait for packets.
class PacedQueue : public vello::LockedPacketQueue {
  public:
    bool Stopping() override { return finished_.load(); }
    void Finish() { finished_ = true; }

  private:
    std::atomic<bool> finished_{false};
};

int RunPlay(int argc, char** argv) {
    if (WantsHelp(argc, argv)) return PrintCommandHelp(kPlay);
    const CodecChoice* codec = nullptr;
    std::vector<std::string> files;
    std::string variantName = "reeldeck", error;
    if (!ParseArgs(argc, argv, &codec, &files, &variantName, &error)) return UsageError(kPlay, error);
    if (files.size() != 1) return UsageError(kPlay, "expected one input file");
    if (codec->codecId == 0) return UsageError(kPlay, std::string("the players do not take ") + codec->name);
    if (variantName != "reeldeck" && variantName != "ocuview") return UsageError(kPlay, "unknown variant");
    const vello::AudioPolicy& policy =
        variantName == "reeldeck" ? vello::kReeldeckAudio : vello::kOcuviewAudio;
    std::vector<uint8_t> input;
    if (platform::ReadFile(files[0], kMaxInputBytes, &input, &error) != platform::FileStatus::kOk)
        return Fail(kPlay.name, error);

    std::string reported;
    vello::AudioHooks hooks;
    hooks.notify = [&](int n) { reported += std::string(vello::AudioMessageText(n)) + "\n"; };
    hooks.errorBox = [&](std::string_view text) { reported += std::string(text) + "\n"; };
    hooks.diagnostic = [&](const char*, int, std::string_view text) { reported += std::string(text) + "\n"; };

    PacedQueue queue;
    // Packet sizes as the camera sends them: 256 mu-law bytes, or 360 G.726 codes.
    const int bits = vello::CodeBits(codec->coding);
    const std::size_t packetBytes = bits == 8 ? 256 : static_cast<std::size_t>(45 * bits);
    std::size_t at = 0;
    auto pushNext = [&] {
        const std::size_t n = std::min(packetBytes, input.size() - at);
        queue.Push(std::vector<uint8_t>(input.begin() + static_cast<std::ptrdiff_t>(at),
                                        input.begin() + static_cast<std::ptrdiff_t>(at + n)));
        at += n;
    };
    while (at < input.size() && queue.Count() < 4) pushNext();
    if (at >= input.size()) queue.Finish();

    vello::VelloAudio player(policy, codec->codecId, &queue, hooks);
    if (player.Status() != vello::AudioStatus::kOk || player.StartPlayback() != vello::AudioStatus::kOk) {
        std::fputs(reported.c_str(), stderr);
        return Fail(kPlay.name, "cannot play on the audio output");
    }
    while (at < input.size()) {
        if (queue.Count() < 4) {
            pushNext();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    queue.Finish();
    while (queue.Count() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // Let the last buffers play out before stopping.
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    player.StopPlayback();
    if (!reported.empty()) std::fputs(reported.c_str(), stderr);
    std::printf("%s: played %zu bytes (%s)\n", codec->name, input.size(), variantName.c_str());
    return 0;
}

}  // namespace

QXRTOOL_COMMAND(kDecode);
QXRTOOL_COMMAND(kPlay);

}  // namespace qxrtool
