#include "player_fixture.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/clock.h"
#include "series_writer/stream_split.h"
#include "vello/jpeg/jpeg_picture.h"

namespace player_test {

using reeldeck::DisplayBuffer;
namespace tag = reeldeck::tag;
namespace series = reeldeck::series;

namespace {

constexpr int64_t kStartMs = 1772366400000;  // 2026/03/01 12:00:00.000 UTC

std::vector<uint8_t> EncodeGreyJpeg(int width, int height, int grey) {
    const int step = width * 3;
    std::vector<uint8_t> pixels(static_cast<std::size_t>(step) * height, static_cast<uint8_t>(grey));
    vello::JpegEncodeParams params;
    params.quality = 90;
    return vello::EncodeJpeg({pixels.data(), width, height, 3, step, vello::kJpegColourBGR}, params).bytes;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

bool PatchFile(const std::string& path, std::size_t offset, uint32_t value) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                           static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(bytes, 4);
    return static_cast<bool>(file);
}

bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

int GreyOf(int index) {
    return 40 + 8 * (index % 25);
}

int IndexOfGrey(int grey) {
    return (grey - 40 + 4) / 8;
}

std::string CameraTimeOf(int index, uint32_t frameRate) {
    return series::CameraTimeText(kStartMs + static_cast<int64_t>(index) * 1000 / frameRate);
}

std::string MakeSeries(const std::string& directory, const SeriesOptions& o, std::string* skip) {
    std::vector<series::Frame> frames;
    if (o.codec == tag::kJpeg) {
        for (int i = 0; i < o.frames; ++i) {
            std::vector<uint8_t> image =
                EncodeGreyJpeg(o.codedWidth > 0 ? o.codedWidth : o.width,
                               o.codedHeight > 0 ? o.codedHeight : o.height, GreyOf(i));
            if (i == o.brokenImage) image[image.size() - 1] = 0;  // the EOI's second byte
            frames.push_back({std::move(image), false, false});
        }
    } else {
        if (!HaveTool("ffmpeg")) {
            if (skip != nullptr) *skip = "ffmpeg is not installed";
            return {};
        }
        // Flat grey 4:2:0 pictures, coded by FFmpeg's MPEG-4 encoder as the camera's stream stand-in.
        const std::string raw = directory + "/in.yuv", m4v = directory + "/in.m4v";
        {
            std::ofstream out(raw, std::ios::binary);
            const std::size_t luma = static_cast<std::size_t>(o.width) * o.height;
            for (int i = 0; i < o.frames; ++i) {
                // Video-range luma that converts back to GreyOf(i).
                const char level = static_cast<char>(16 + (GreyOf(i) * 219 + 127) / 255);
                const std::vector<char> y(luma, level), c(luma / 2, static_cast<char>(128));
                out.write(y.data(), static_cast<std::streamsize>(y.size()));
                out.write(c.data(), static_cast<std::streamsize>(c.size()));
            }
        }
        const std::string command =
            "ffmpeg -nostdin -loglevel error -y -f rawvideo -pix_fmt yuv420p -s " + std::to_string(o.width) +
            "x" + std::to_string(o.height) + " -r " + std::to_string(o.frameRate) + " -i " + raw +
            " -c:v mpeg4 -qscale:v 2 -g " + std::to_string(o.gop) + " -bf 0 -f m4v " + m4v;
        if (std::system(command.c_str()) != 0) return {};
        for (auto& piece : series::SplitMpeg4Stream(ReadFileBytes(m4v)))
            frames.push_back({std::move(piece), false, false});
    }
    if (o.sensorAlarmAt >= 0) frames[static_cast<std::size_t>(o.sensorAlarmAt)].sensorAlarm = true;
    if (o.motionAlarmAt >= 0) frames[static_cast<std::size_t>(o.motionAlarmAt)].motionAlarm = true;
    series::SeriesSpec spec;
    spec.directory = directory;
    spec.prefix = "REC";
    spec.fileCount = o.files;
    spec.codec = o.codec;
    spec.width = static_cast<uint32_t>(o.width);
    spec.height = static_cast<uint32_t>(o.height);
    spec.frameRate = o.frameRate;
    spec.startTimeMs = kStartMs;
    spec.firstTimeStamp = 5000;
    spec.variants.noTimeStamps = o.noTimeStamps;
    std::vector<uint8_t> audio;
    if (o.audioCodec != 0) {
        spec.audioCodec = o.audioCodec;
        spec.audioRate = o.audioRate;
        const uint32_t perSecond = series::AudioBytesPerSecond(o.audioCodec, o.audioRate);
        audio.resize(static_cast<std::size_t>(perSecond) * static_cast<std::size_t>(o.frames) / o.frameRate);
        for (std::size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<uint8_t>(i * 7);
    }
    const series::WriteResult result = series::WriteSeries(spec, frames, audio);
    if (!result.ok || result.paths.empty()) return {};
    return result.paths.front();
}

void RecordingHost::ShowPicture(const DisplayBuffer& buffer, double frameRate) {
    if (holdMs > 0) platform::SleepMs(holdMs);
    std::lock_guard<std::mutex> hold(lock_);
    pictures_.push_back({cameraTime_, buffer.pixels[0], platform::TickCountMs(), frameRate});
}

int RecordingHost::UnitForPosition(int64_t videoPosition) {
    return player_->Files().UnitForVideoPosition(videoPosition);
}

void RecordingHost::MoveSlider(int unit) {
    std::lock_guard<std::mutex> hold(lock_);
    sliderUnit_ = unit;
}

void RecordingHost::SetSliderRange(int /*first*/, int last) {
    std::lock_guard<std::mutex> hold(lock_);
    sliderLast_ = last;
}

void RecordingHost::CameraTimeChanged(std::string_view text) {
    std::lock_guard<std::mutex> hold(lock_);
    cameraTime_ = std::string(text);
}

void RecordingHost::CapturePicture(const DisplayBuffer& picture, std::string_view cameraTime) {
    std::lock_guard<std::mutex> hold(lock_);
    captures_.push_back({std::string(cameraTime), picture.pixels[0], picture.width, picture.height});
}

void RecordingHost::SetInformation(const reeldeck::RecordingInfo& info) {
    std::lock_guard<std::mutex> hold(lock_);
    info_ = info;
}

void RecordingHost::SetPictureSize(int /*width*/, int /*height*/) {}

int RecordingHost::CreateDisplayBuffer(int width, int height, DisplayBuffer& out) {
    if (failDisplayBuffer != 0) return failDisplayBuffer;
    std::lock_guard<std::mutex> hold(lock_);
    const int step = (width * 3 + 3) & ~3;
    buffer_.assign(static_cast<std::size_t>(step) * static_cast<std::size_t>(height), 0);
    out = {buffer_.data(), width, height, step};
    return 0;
}

void RecordingHost::SetButtonState(unsigned mask) {
    std::lock_guard<std::mutex> hold(lock_);
    states_.push_back(mask);
}

void RecordingHost::ClearPicture() {
    std::lock_guard<std::mutex> hold(lock_);
    ++clears_;
}

std::vector<Shown> RecordingHost::Pictures() const {
    std::lock_guard<std::mutex> hold(lock_);
    return pictures_;
}

std::vector<unsigned> RecordingHost::States() const {
    std::lock_guard<std::mutex> hold(lock_);
    return states_;
}

std::vector<Capture> RecordingHost::Captures() const {
    std::lock_guard<std::mutex> hold(lock_);
    return captures_;
}

std::vector<int> RecordingHost::Errors() const {
    std::lock_guard<std::mutex> hold(lock_);
    return errors_;
}

unsigned RecordingHost::LastState() const {
    std::lock_guard<std::mutex> hold(lock_);
    return states_.empty() ? 0u : states_.back();
}

int RecordingHost::SliderLast() const {
    std::lock_guard<std::mutex> hold(lock_);
    return sliderLast_;
}

int RecordingHost::LastSliderUnit() const {
    std::lock_guard<std::mutex> hold(lock_);
    return sliderUnit_;
}

reeldeck::RecordingInfo RecordingHost::Info() const {
    std::lock_guard<std::mutex> hold(lock_);
    return info_;
}

int RecordingHost::Clears() const {
    std::lock_guard<std::mutex> hold(lock_);
    return clears_;
}

void RecordingHost::ClearRecords() {
    std::lock_guard<std::mutex> hold(lock_);
    pictures_.clear();
    states_.clear();
    captures_.clear();
    errors_.clear();
}

bool RecordingHost::Pump(reeldeck::NotificationQueue& queue, const std::function<bool()>& done,
                         uint32_t timeoutMs) {
    const uint32_t start = platform::TickCountMs();
    while (!done()) {
        if (platform::TickCountMs() - start >= timeoutMs) return false;
        auto n = queue.WaitTake(5);
        if (!n) continue;
        if (n->code == reeldeck::PlayerNotification::kSeekRequest) {
            player_->Seek(static_cast<int>(n->wParam), static_cast<int>(n->lParam));
        } else if (n->code == reeldeck::PlayerNotification::kError) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                errors_.push_back(static_cast<int>(n->wParam));
            }
            player_->Stop();
        }
    }
    return true;
}

}  // namespace player_test
