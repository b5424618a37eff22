#include "vello/audio/audio_status.h"

namespace vello {

int AudioMessageNumber(AudioStatus status) {
    switch (status) {
        case AudioStatus::kInvalidCodec:
            return kMsgInvalidAudioCodec;
        case AudioStatus::kNoHeap:
            return kMsgCannotCreateHeap;
        case AudioStatus::kNoMemory:
            return kMsgInsufficientMemory;
        case AudioStatus::kLibraryError:
            return kMsgLibraryError;
        case AudioStatus::kDeviceInUse:
            return kMsgAudioDeviceInUse;
        case AudioStatus::kNoVolume:
            return kMsgCannotGetVolume;
        case AudioStatus::kPrepareFailed:
            return kMsgPrepareHeaderError;
        case AudioStatus::kUnprepareFailed:
            return kMsgUnprepareHeaderError;
        case AudioStatus::kWriteFailed:
            return kMsgWaveWriteError;
        case AudioStatus::kOk:
        case AudioStatus::kNoDevice:
        case AudioStatus::kStopped:
            break;
    }
    return 0;
}

std::string_view AudioMessageText(int number) {
    switch (number) {
        case kMsgCannotCreateHeap:
            return "Cannot create heap buffer.";
        case kMsgInvalidAudioCodec:
            return "Invalid audio codec.";
        case kMsgInsufficientMemory:
            return "Insufficient memory.";
        case kMsgLibraryError:
            return "Library error.";
        case kMsgAudioDeviceInUse:
            return "Audio device is in use.";
        case kMsgCannotGetVolume:
            return "Cannot get audio volume.";
        case kMsgPrepareHeaderError:
            return "waveOutPrepareHeader function error.";
        case kMsgUnprepareHeaderError:
            return "waveOutUnprepareHeader function error.";
        case kMsgWaveWriteError:
            return "waveOutWrite function error.";
        case kMsgCannotCreateAudioModule:
            return "Cannot create audio module.";
        default:
            return "";
    }
}

}  // namespace vello
