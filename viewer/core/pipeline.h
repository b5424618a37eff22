// The viewer's run-time wiring: which sessions and threads run for the codec, viewer kind and session
// mode, how they are started and stopped, and the decoding and audio threads.
#ifndef OCUVIEW_CORE_PIPELINE_H
#define OCUVIEW_CORE_PIPELINE_H

namespace ocuview {

struct ViewerState;

// Starts the sessions and threads; for Motion JPEG waits until the first picture size is known, the
// viewer is stopped, or a session has ended. False when a thread could not be started.
[[nodiscard]] bool StartStreams(ViewerState& viewer);

// Stops every running thread in the fixed order, each within the stop wait, then pauses briefly.
void StopStreams(ViewerState& viewer);

// Back to the state of a fresh start: sessions, statistics, picture size, overlay text.
void ResetSessions(ViewerState& viewer);

}  // namespace ocuview

#endif
