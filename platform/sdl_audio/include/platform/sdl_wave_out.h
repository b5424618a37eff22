// The wave output's backend for the system's sound device, through SDL2: plays at the format's own rate
// (8032 Hz too); mu-law is expanded to 16-bit linear here, and the volume is applied to each channel.
// Where no device can be opened, WaveOutOpen fails.
#ifndef PLATFORM_SDL_WAVE_OUT_H
#define PLATFORM_SDL_WAVE_OUT_H

#include "platform/wave_out.h"

namespace platform {

WaveSinkFactory SdlWaveBackend();

// Registers SdlWaveBackend() as the "sdl" backend, the default device. A program that plays sound calls
// this once at start.
void RegisterSdlWaveBackend();

}  // namespace platform

#endif
