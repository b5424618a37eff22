// The start-up inquiry of the camera, the parser of its key=value answers, the commands the viewer
// sends back (triggers, motion detection), and the session mode kept per camera in the INI file.
#ifndef OCUVIEW_CORE_INQUIRY_H
#define OCUVIEW_CORE_INQUIRY_H

#include <cstdint>
#include <string>
#include <string_view>

#include "core/camera_description.h"
#include "core/viewer.h"

namespace ocuview {

struct ViewerState;

// Walks an answer "key=value&key=value..." byte by byte (up to a zero byte or the end, never beyond
// 10240 bytes) and stores every known key; unknown keys and values are skipped. -1 for an empty answer.
[[nodiscard]] int ParseInquiry(std::string_view answer, CameraDescription& camera);

// Results of InquireCamera.
enum InquiryResult : int {
    kInquiryOk = 0,
    kInquiryParse = -1,
    kInquiryRequest = -2,
    kInquiryNotAllowed = -3
};
[[nodiscard]] int InquireCamera(ViewerState& viewer);

// The request bodies of the commands.
[[nodiscard]] std::string TriggerBody(std::string_view selectedText);  // empty: nothing to send
[[nodiscard]] std::string MotionDetectionBody(const CameraDescription& camera, int window,
                                              MotionCommand command);

// The session mode of camera `serial` from the INI file: with no section at all in the file, the camera's
// section is written with "SessionMode=Tcp".
[[nodiscard]] SessionMode SessionModeFromIni(const std::string& path, const std::string& serial);
// Replaces the camera's section by the one line of the mode in use.
void SaveSessionMode(const std::string& path, const std::string& serial, SessionMode mode);

}  // namespace ocuview

#endif
