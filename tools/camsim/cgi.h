// The camera's CGI commands: inquiries answered from the configuration, triggers and motion-detection
// settings that change it.
#ifndef CAMSIM_CGI_H
#define CAMSIM_CGI_H

#include <string>
#include <string_view>
#include <vector>

#include "config.h"

namespace camsim {

// Answers an inquiry body such as "inq=system&inq=viewermode": the groups' key=value pairs in the order
// asked, joined by "&"; the system group starts with "ModelName". Unknown groups add nothing.
std::string AnswerInquiry(const Config& config, std::string_view body);

// Applies a /command/motiondetection.cgi body (the per-window "mdtwin" forms and the all-windows "mdwin"
// form). Returns false when nothing in it was understood.
bool ApplyMotionDetection(Config& config, std::string_view body);

// The trigger named by a /command/main.cgi body "Trigger=<name>", or an empty string.
std::string TriggerOf(std::string_view body);

}  // namespace camsim

#endif
