// The simulated camera's picture: a moving test scene with the camera time drawn in, as BGR rows.
#ifndef CAMSIM_SCENE_H
#define CAMSIM_SCENE_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace camsim {

// The camera's time text, 23 characters: "YYYY/MM/DD hh:mm:ss.mmm" in local time.
std::string CameraTime(std::chrono::system_clock::time_point t);

struct Picture {
    int width = 0, height = 0, stride = 0;  // stride in bytes, (width * 3 + 3) & ~3
    std::vector<uint8_t> bgr;
};

// Frame `index` of the scene at `width` x `height` with `caption` drawn in its lower left corner.
Picture RenderScene(int width, int height, uint64_t index, const std::string& caption);

}  // namespace camsim

#endif
