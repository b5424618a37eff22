// What the viewer tells its host besides pictures: the status texts, the overlay (camera time) text,
// message boxes, the measured frame rate and the end of playing.
#ifndef OCUVIEW_CORE_VIEWER_EVENTS_H
#define OCUVIEW_CORE_VIEWER_EVENTS_H

#include <array>
#include <string_view>

#include "core/camera_description.h"

namespace ocuview {

struct RecordingSummary;

// Status codes shown in the status label (0: none).
enum StatusCode : int {
    kStatusNone = 0,
    kStatusCannotConnect = 17,
    kStatusProtected = 18,
    kStatusBadRequest = 19,
    kStatusUnavailable = 20,
};

// The label text of a status code; code 18 is the long form from a control width of 320 on. Empty for 0
// or an unknown code.
[[nodiscard]] std::string_view StatusText(int code, int controlWidth);

// The highest level a motion meter shows; the camera's level fields run to 999999.
inline constexpr int kMotionLevelMax = 2000;

class ViewerObserver {
  public:
    virtual ~ViewerObserver() = default;

    // From the thread that calls Viewer::Tick (the control's 200 ms timer):
    // The overlay text changed: the camera time of the pictures, for the date-time label.
    virtual void OnOverlayText(std::string_view /*text*/) {}
    // The viewer ended for good (authentication given up, three errors) and stopped its streams; `code` is
    // the pending status (0 when none), `text` its label text (empty for 0).
    virtual void OnStatus(int /*code*/, std::string_view /*text*/) {}
    // The viewer restarts after a failure (the inquiry and streams run again inside the same Tick).
    virtual void OnRestart() {}

    // From the thread that calls Viewer::Start or Viewer::Tick:
    // The inquiry succeeded; the panel is built from this (kind, frame rates, triggers, viewer-mode bits).
    virtual void OnCameraDescribed(const CameraDescription& /*camera*/, ViewerKind /*kind*/) {}
    // The session mode the viewer settled on for this start (after the INI file, a request or a fallback).
    virtual void OnSessionMode(SessionMode /*mode*/) {}
    // A message box: title "ERROR" or "Error" and a fixed text ("InqCodec error!", "RTCP Socket Error!",
    // "SelectStartupModule error!"). Also from a network thread for the RTCP one.
    virtual void OnMessageBox(std::string_view /*title*/, std::string_view /*text*/) {}

    // A recording ended (Viewer::StopRecording, or the streams stopped): its files are in place. From the
    // thread that calls Viewer::StopRecording, Stop or Tick.
    virtual void OnRecordingEnded(const RecordingSummary& /*summary*/) {}

    // From the decoding threads:
    // The measured picture rate, already formatted with "%.1f", about once per second.
    virtual void OnFrameRate(std::string_view /*text*/) {}

    // From the motion-data thread (motion-detection view), once per complete record of the camera's
    // motion data: the levels of windows 1 to 4, each 0 to kMotionLevelMax. The editor shows 0 for a
    // window that is not active (it knows the active flags as the user changes them).
    virtual void OnMotionLevels(const std::array<int, 4>& /*levels*/) {}
};

}  // namespace ocuview

#endif
