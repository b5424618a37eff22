// What differs between the two programs' audio players, chosen once when VelloAudio is made: Reeldeck
// plays recordings from its player's queue, Ocuview live sound from the camera. Everything not named here
// is the same for both.
#ifndef VELLO_AUDIO_AUDIO_POLICY_H
#define VELLO_AUDIO_AUDIO_POLICY_H

#include <cstdint>

namespace vello {

// How the buffer chain starts.
enum class AudioStart {
    // Every buffer goes out with 2 silent bytes, so the device hands them straight back to the refill.
    kShortSilences,
    // Wait for one packet per buffer; those packets only prime the G.726 decoder (unheard) while whole
    // silent buffers play; then queued packets are dropped down to one, which bounds the latency.
    kPrimeWithPackets,
};

// How much a refilled buffer holds.
enum class AudioFill {
    // What the packet gives (G.711 its length, G.726 2 bytes a sample); 2 silent bytes without a packet,
    // which keeps the chain turning while no data comes.
    kWhatThePacketGives,
    // Always a whole buffer (256 or 720 bytes), silence where the packet is short or missing.
    kWholeBuffers,
};

// How failures reach the host.
enum class AudioReports {
    kNumbered,      // AudioHooks::notify with Reeldeck's message number; an unopened device to its log
    kMessageBoxes,  // AudioHooks::errorBox with the text of the failure, titled "ERROR"
};

struct AudioPolicy {
    int bufferCount;      // wave buffers in the ring
    uint32_t sampleRate;  // samples per second the device plays
    AudioStart start;
    AudioFill fill;
    // Packets are taken only while the host's MayTake() allows it (the player paused or its supplier
    // stopped: silence instead).
    bool hostGatesTaking;
    AudioReports reports;
    bool reportsDecodeErrors;  // a packet the G.726 decoder refuses is reported too
    int stopWaitMs;            // StopPlayback waits this long (1 ms steps) for the queued buffers
    bool pauseBeforeReset;     // StopPlayback pauses the device before resetting it
};

// Reeldeck: 4 buffers at 8000 Hz.
inline constexpr AudioPolicy kReeldeckAudio{4,
                                            8000,
                                            AudioStart::kShortSilences,
                                            AudioFill::kWhatThePacketGives,
                                            true,
                                            AudioReports::kNumbered,
                                            false,
                                            10000,
                                            false};

// Ocuview: 3 buffers at 8032 Hz, 0.4 % faster than the camera samples, so live sound drains its queue
// rather than falling behind.
inline constexpr AudioPolicy kOcuviewAudio{3,
                                           8032,
                                           AudioStart::kPrimeWithPackets,
                                           AudioFill::kWholeBuffers,
                                           false,
                                           AudioReports::kMessageBoxes,
                                           true,
                                           1000,
                                           true};

}  // namespace vello

#endif
