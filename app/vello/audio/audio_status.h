// The audio layer's one status: what setting up, starting or refilling VelloAudio (and decoding with
// AudioDecoder) ended in. Reeldeck's message numbers are the edge towards its main window
// (AudioMessageNumber); everything else passes the status itself.
#ifndef VELLO_AUDIO_AUDIO_STATUS_H
#define VELLO_AUDIO_AUDIO_STATUS_H

#include <string_view>

namespace vello {

// [[nodiscard]]: a status that is dropped does not compile.
enum class [[nodiscard]] AudioStatus{
    kOk,
    kInvalidCodec,     // a codec id outside the table
    kNoHeap,           // the fixed heap of wave buffers could not be made
    kNoMemory,         // wave buffers, the decoder state or the PCM buffer could not be allocated
    kLibraryError,     // the G.726 primitive refused its set-up or a packet
    kDeviceInUse,      // StartPlayback while the device is already open
    kNoDevice,         // the output device could not be opened
    kNoVolume,         // the device's volume could not be read
    kPrepareFailed,    // a buffer header could not be prepared
    kUnprepareFailed,  // a returned buffer header could not be unprepared
    kWriteFailed,      // no buffer could be written to the device
    kStopped,          // stopped: by StopPlayback, or by the host before the first packets came
};

// Reeldeck's message numbers for audio failures (its string table holds the texts).
enum AudioMessage : int {
    kMsgCannotCreateHeap = 35,
    kMsgInvalidAudioCodec = 48,
    kMsgInsufficientMemory = 68,
    kMsgLibraryError = 69,
    kMsgAudioDeviceInUse = 70,
    kMsgCannotGetVolume = 72,
    kMsgPrepareHeaderError = 73,
    kMsgUnprepareHeaderError = 74,
    kMsgWaveWriteError = 75,
    kMsgCannotCreateAudioModule = 76,
};

// The message number Reeldeck shows for a status; 0 for kOk, kNoDevice (written to the report log
// instead) and kStopped (not a failure the user is told of).
int AudioMessageNumber(AudioStatus status);

// The text of one of Reeldeck's audio message numbers ("" for another number).
std::string_view AudioMessageText(int number);

}  // namespace vello

#endif
